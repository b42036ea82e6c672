// kivo.cfg: the writer's text, as the next run reads it back, and the
// player's own versions of the file; the older backups that pile up beside
// it. (What the reader makes of files written by hand, and how their rows
// are carried over to the roster and the AI files, is in the cases,
// tests/runs/config-*; kivo.cfg as another user's link, and its temporary
// file swapped for a link, are in tests/output.)
#include "config/config.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
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
  // kivo.cfg as the reviewed text (written in text mode: the host's line
  // ends), read back and applied.
  std::string read_golden() {
    const std::string text = test::host_line_ends(test::read_file(
        KIVO_SOURCE_DIR "/tests/config/golden_small_roster.cfg"));
    test::write_file(kConfigFile, text);
    test::printed([&] { gd_read_config(*s); });
    gd_apply_config(*s), gd_apply_ai_cfg(*s);
    return text;
  }

  test::ScratchDir dir;
  std::shared_ptr<State> s = test::fresh_state();
};

// Read back, applied and written again, the text comes out the same, and
// needs no copy of the old file (which would be noted). (An editor that
// saves kivo.cfg while a run works wins:
// tests/runs/config-edited-in-place-while-the-run-works.)
TEST_F(ConfigWriter, TheReviewedTextReadsBackWhole) {
  const std::string golden = read_golden();
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(test::printed([&] { gd_save_config(*s); }), "wrote 'kivo.cfg'\n");
    EXPECT_EQ(test::read_file(kConfigFile), golden);
    test::printed([&] { gd_read_config(*s); });
  }
}

// The older backups that a player piles up by moving archives out and in:
// at most five besides kivo.cfg.bak. With all five taken, the oldest that
// kivorama provably wrote goes (a plain file with no other name, its text
// beginning with the flags block as written here, whatever values the
// player gave the flags); a file of the player's under such a name, a link,
// or a backup with another name stays, however old. (With none of them
// provably ours, kivo.cfg stays as it was:
// tests/runs/config-backups-all-the-players-own.)
TEST_F(ConfigWriter, TheOldestBackupOfOursMakesRoomAndNoOtherFile) {
  const std::string old = read_golden();
  s->cfg_unread = 1;  // a line the run could not use: the old file is kept
  test::write_file("kivo.cfg.bak", old + "// the older backup\n");
  // .5 as the player left kivo.cfg before a run kept it: a minus sign typed
  // before a flag's value.
  std::string edited = old + "// 5\n";
  edited.replace(edited.find("use_blue      1 "), 16, "use_blue      -1 ");
  // By age, in hours: the player's notes (our text, but notes where ours has
  // a blank line), a backup of ours with a second name, the oldest of ours
  // (.5, edited) and the newest (.1); .4 is a link.
  const std::map<int, std::pair<std::string, int>> slots = {
      {2, {std::string(old).insert(old.find("\n\n") + 1, "my notes"), 20}},
      {3, {old, 10}},
      {5, {edited, 5}},
      {1, {old + "// 1\n", 1}}};
  const auto now = fs::file_time_type::clock::now();
  for (const auto& [n, slot] : slots) {
    const std::string name = "kivo.cfg.bak." + std::to_string(n);
    test::write_file(name, slot.first);
    fs::last_write_time(name, now - std::chrono::hours(slot.second));
  }
  fs::create_hard_link("kivo.cfg.bak.3", "kept-elsewhere");
  if (test::kIsWindowsHost)
    test::write_file("kivo.cfg.bak.4", "mine\n");
  else
    fs::create_symlink("kivo.cfg.bak.1", "kivo.cfg.bak.4");
  const test::Tree before = test::folder();
  EXPECT_EQ(test::printed([&] { gd_save_config(*s); }),
            "note: 'kivo.cfg' held lines this run could not use; the old "
            "file is kept as 'kivo.cfg.bak'\n"
            "note: 'kivo.cfg.bak.5', the oldest of the older backups, was "
            "removed to make room (at most 5 are kept)\n"
            "note: the older 'kivo.cfg.bak' is kept as 'kivo.cfg.bak.5'\n"
            "wrote 'kivo.cfg'\n");
  EXPECT_EQ(test::read_file("kivo.cfg.bak.5"), old + "// the older backup\n");
  EXPECT_EQ(test::read_file("kivo.cfg.bak"), old);
  for (const char* kept :
       {"kivo.cfg.bak.1", "kivo.cfg.bak.2", "kivo.cfg.bak.3", "kivo.cfg.bak.4"})
    EXPECT_EQ(test::at(test::folder(), kept), test::at(before, kept)) << kept;
}

}  // namespace
