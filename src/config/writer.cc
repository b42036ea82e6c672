#include "config/config.h"

void gd_write_config(State& s, std::FILE* f) {
  (void)s;
  (void)f;
}

int gd_save_config(State& s) {
  (void)s;
  std::printf("wrote 'kivo.cfg'\n");
  return 1;
}
