#include "roster/roster.h"

void gd_supplimental_ai_mapping(State& s) { (void)s; }
