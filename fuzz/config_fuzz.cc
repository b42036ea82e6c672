// kivo.cfg as the player may have edited it: the whole file goes through the
// reader, then through every phase that uses what it said, and is written
// out again.
#include <cstdio>

#include "config/config.h"
#include "roster/roster.h"
#include "support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::enter_scratch_folder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  fuzz::write_input(kConfigFile, data, size);
  auto s = fuzz::fresh_state();
  gd_read_config(*s);
  gd_apply_config(*s);
  gd_apply_ai_cfg(*s);
  gd_apply_xai(*s);
  gd_classify_players(*s);
  gd_validate_players_and_aifiles(*s);
  gd_supplimental_ai_mapping(*s);
  gd_clip_active_set(*s);
  gd_clip_sets(*s);
  s->ai_reset = 0;
  gd_save_config(*s);
  return 0;
}
