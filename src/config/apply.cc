#include "config/config.h"

void gd_apply_config(State& s) { (void)s; }

void gd_apply_ai_cfg(State& s) { (void)s; }
