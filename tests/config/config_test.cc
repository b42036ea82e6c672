// kivo.cfg: the writer's text, read back by the next run. (What the reader
// makes of files written by hand, and how their rows are carried over to
// the roster and the AI files, is in the recorded runs, tests/runs/config-*.)
#include "config/config.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/fault_host.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;

// The roster and AI files of the reviewed kivo.cfg text.
std::unique_ptr<State> small_roster() {
  auto s = test::fresh_state();
  s->roster_count = 0;
  for (const char* row :
       {"zed ^1z^2ed default 0 a sarge default pak0",
        "Abe ^5Abe^6Long_funname_x bitterman_long 9 i abelongmodelname skin "
        "addon-with-a-very-long-name",
        "Zoe default visor 3 X zoe red zoe", "Abe ^1A crash 0 A abe blue abe",
        "abe default default 0 I abe green abe",
        "NameThatIsLong ^3N xaero 1 a xaero default pak0"})
    test::add(*s, row);
  s->aifile_count = 0;
  std::istringstream tiers(
      "crash 0 hunter 6 mymod_ai 9 sarge 0 oddball 12 b 9 xaero 6 "
      "verylongaifilename 3 neg -1");
  for (std::string name; tiers >> name >> s->aifile_tiers[s->aifile_count];)
    append_name(s->aifile_names, s->aifile_count, name);
  return s;
}

// What the writer makes of it; the next run reads it back whole, writes it
// again alike, and needs no copy of the old file.
TEST(ConfigWriter, SmallRosterMatchesReviewedTextAndReadsBack) {
  test::ScratchDir dir;
  test::FaultHost host(test::Fault::kNone, 0);
  auto s = small_roster();
  s->tier_hi = 7, s->tier_lo = 2, s->use_blue = 1, s->use_defa = 0;
  s->use_pak0 = 0, s->use_red = 1, s->ai_reset = 0, s->ai_override = 1;
  // kivo.cfg is written in text mode: the host's line ends.
  const std::string golden = test::host_line_ends(
      test::read_file(KIVO_SOURCE_DIR "/tests/config/golden_small_roster.cfg"));
  for (int run = 0; run < 2; ++run) {  // the writer's marks do not stay set
    fs::remove(kConfigFile);           // a run that read none writes one afresh
    EXPECT_EQ(test::printed([&] { EXPECT_EQ(gd_save_config(*s), 1); }),
              "wrote 'kivo.cfg'\n");
    EXPECT_EQ(test::read_file(kConfigFile), golden);
  }
  auto next = small_roster();
  next->use_blue = next->use_red = next->ai_reset = 0;
  for (int i = 0; i < next->roster_count; ++i) {
    Player& p = *next->roster[i];
    if (p.st == 'X') continue;  // rows of status X are not applied
    p.name.set("P" + std::to_string(i)), p.funname.set("f"), p.set = 8;
    p.aifile.set("crash"), p.st = 'i';
  }
  for (int& tier : next->aifile_tiers)
    if (tier >= 0 && tier <= 9) tier = 4;  // the others are not written
  test::printed([&] { gd_read_config(*next); });
  gd_apply_config(*next);
  gd_apply_ai_cfg(*next);
  EXPECT_EQ(test::printed([&] { gd_save_config(*next); }),
            "wrote 'kivo.cfg'\n");
  EXPECT_EQ(test::read_file(kConfigFile), golden);
  EXPECT_FALSE(fs::exists("kivo.cfg.bak"));
}

// An editor that saves kivo.cfg while a run works wins: the run's text is
// not written over the player's, whether the editor wrote the file in place
// or replaced it; and nothing the run made is left behind.
TEST(ConfigWriter, AFileSavedDuringTheRunIsNeverOverwritten) {
  for (bool in_place : {true, false}) {
    test::ScratchDir dir;
    test::FaultHost host(test::Fault::kNone, 0);
    auto s = small_roster();
    test::printed([&] { EXPECT_EQ(gd_save_config(*s), 1); });
    test::printed([&] { gd_read_config(*s); });
    const std::string edited = test::read_file(kConfigFile) + "// mine\n";
    if (!in_place) fs::remove(kConfigFile);
    test::write_file(kConfigFile, edited);
    EXPECT_EQ(test::printed([&] { EXPECT_EQ(gd_save_config(*s), 0); }),
              "error: 'kivo.cfg' was changed while this run worked; your "
              "version is kept and this run's is not written: run kivorama "
              "again\n");
    EXPECT_EQ(test::read_file(kConfigFile), edited);
    EXPECT_FALSE(fs::exists("kivo.cfg.tmp"));
  }
}

// A kivo.cfg that is a link stays a link: the file it names gets the text.
// A backup that holds other rows than the one about to be made is kept.
TEST(ConfigWriter, LinksStayAndOlderBackupsAreKept) {
#ifdef _WIN32
  GTEST_SKIP() << "links are POSIX";
#endif
  test::ScratchDir dir;
  test::FaultHost host(test::Fault::kNone, 0);
  test::write_file("elsewhere/real.cfg", "");
  fs::create_symlink("elsewhere/real.cfg", kConfigFile);
  test::write_file("kivo.cfg.bak", "an older backup\n");
  auto s = small_roster();
  test::printed([&] { gd_read_config(*s); });
  s->cfg_unread = 1;  // the run asks for a backup of what it read
  EXPECT_EQ(test::printed([&] { gd_save_config(*s); }),
            "note: 'kivo.cfg' held lines this run could not use; the old "
            "file is kept as 'kivo.cfg.bak'\n"
            "note: the older 'kivo.cfg.bak' is kept as 'kivo.cfg.bak.1'\n"
            "wrote 'kivo.cfg'\n");
  EXPECT_TRUE(fs::is_symlink(kConfigFile));
  EXPECT_NE(test::read_file("elsewhere/real.cfg").find("$ flags"),
            std::string::npos);
  EXPECT_EQ(test::read_file("kivo.cfg.bak.1"), "an older backup\n");
  EXPECT_EQ(test::read_file("kivo.cfg.bak"), "");
  EXPECT_FALSE(fs::exists("elsewhere/real.cfg.tmp"));
}

}  // namespace
