// A bot file that an archive carries: every definition in it is read into
// the bot definition table, several files in a row as a scan would.
#include <cstdio>

#include "archive/archive.h"
#include "support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_scratch_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  fuzz::write_input("fuzz.bot", data, size);
  auto s = fuzz::fresh_state();
  // Twice, so an unclosed definition of one file meets the next file.
  for (int round = 0; round < 2; ++round) {
    std::FILE* f = std::fopen("fuzz.bot", "r");
    if (f == nullptr) std::abort();
    gd_read_bot_defs(*s, f);
    std::fclose(f);
  }
  return 0;
}
