// kivo.cfg: the writer's text, as the next run reads it back, and the
// player's own versions of the file. (What the reader makes of files written
// by hand, and how their rows are carried over to the roster and the AI
// files, is in the cases, tests/runs/config-*.)
#include "config/config.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/support.h"

namespace {

namespace fs = std::filesystem;

// In an empty folder, the roster and AI files of the reviewed kivo.cfg text,
// golden_small_roster.cfg, but with the flags of a fresh run and names, fun
// names, AI files, sets, statuses and tiers of their own, which reading that
// text replaces, but not those of status X, which an archive defines. (Tiers
// out of 0 to 9 are in tests/runs/config-tier-rows.)
struct ConfigWriter : testing::Test {
  ConfigWriter() {
    s->roster_count = s->aifile_count = 0;
    for (const char* row :
         {"P1 f crash 8 i sarge default pak0",
          "P2 f crash 8 i abelongmodelname skin addon-with-a-very-long-name",
          "Zoe default visor 3 X zoe red zoe", "P4 f crash 8 i abe blue abe",
          "P5 f crash 8 i abe green abe", "P6 f crash 8 i xaero default pak0"})
      test::add(*s, row);
    std::istringstream tiers(
        "crash 4 hunter 4 mymod_ai 4 sarge 4 b 4 xaero 4 verylongaifilename 4");
    for (std::string name; tiers >> name >> s->aifile_tiers[s->aifile_count];)
      append_name(s->aifile_names, s->aifile_count, name);
  }
  std::string save() {
    return test::printed([&] { gd_save_config(*s); });
  }

  test::ScratchDir dir;
  std::unique_ptr<State> s = test::fresh_state();
};

// Read back, applied and written again, the text comes out the same, and
// needs no copy of the old file (which would be noted). An editor that then
// saves kivo.cfg while a run works wins: the run's text is not written over
// the player's, whether the editor wrote the file in place or replaced it;
// and nothing the run made is left behind. (The whole error line is in
// tests/process, Processes.RunsStoppedOverrunOrTwoAtOnce.)
TEST_F(ConfigWriter, TheReviewedTextReadsBackWholeAndEditsDuringARunWin) {
  // kivo.cfg is written in text mode: the host's line ends.
  const std::string golden = test::host_line_ends(
      test::read_file(KIVO_SOURCE_DIR "/tests/config/golden_small_roster.cfg"));
  test::write_file(kConfigFile, golden);
  test::printed([&] { gd_read_config(*s); });
  gd_apply_config(*s), gd_apply_ai_cfg(*s);
  EXPECT_EQ(save(), "wrote 'kivo.cfg'\n");
  EXPECT_EQ(test::read_file(kConfigFile), golden);
  for (bool in_place : {true, false}) {
    test::printed([&] { gd_read_config(*s); });
    const std::string edited = test::read_file(kConfigFile) + "// mine\n";
    if (!in_place) fs::remove(kConfigFile);
    test::write_file(kConfigFile, edited);
    EXPECT_TRUE(save().starts_with("error: 'kivo.cfg' was changed"));
    EXPECT_EQ(test::read_file(kConfigFile), edited);
    EXPECT_FALSE(fs::exists("kivo.cfg.tmp"));
  }
}

}  // namespace
