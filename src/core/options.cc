#include "core/core.h"

int gd_help_requested(int argc, char** argv) {
  (void)argc;
  (void)argv;
  return 0;
}

void gd_show_help(int argc, char** argv) {
  (void)argc;
  (void)argv;
}

void gd_parse_options(State& s, int argc, char** argv) {
  (void)s;
  (void)argc;
  (void)argv;
}
