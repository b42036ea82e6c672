#include "archive/archive.h"

void gd_parse_aifile(State& s, std::string_view archive,
                     std::string_view bot_file) {
  (void)s;
  (void)archive;
  (void)bot_file;
}
