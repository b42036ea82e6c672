// kivo.cfg: the writer's text, as the next run reads it back, and the
// player's own versions of the file; the older backups that pile up beside
// it; its temporary file swapped for a link. (What the reader makes of files
// written by hand, and how their rows are carried over to the roster and the
// AI files, is in the cases, tests/runs/config-*; kivo.cfg as another user's
// link is in tests/output.)
#include "config/config.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <sstream>

#include "support/fault_host.h"
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
  // kivo.cfg as the reviewed text, read back, with a line the run could not
  // use, so that saving keeps the old file as kivo.cfg.bak.
  std::string read_with_a_lost_line() {
    const std::string text = test::host_line_ends(test::read_file(
        KIVO_SOURCE_DIR "/tests/config/golden_small_roster.cfg"));
    test::write_file(kConfigFile, text);
    test::printed([&] { gd_read_config(*s); });
    gd_apply_config(*s), gd_apply_ai_cfg(*s);
    s->cfg_unread = 1;
    return text;
  }

  test::ScratchDir dir;
  std::shared_ptr<State> s = test::fresh_state();
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

// A look at kivo.cfg that fails just before the new text would take its
// place is no edit of the player's: it is said as the failure it is.
TEST_F(ConfigWriter, AFailedLookIsNoEdit) {
  RunContext* own = s->run;
  int at = 0;
  for (test::Fault fault : {test::Fault::kNone, test::Fault::kFail}) {
    const std::string old = read_with_a_lost_line();
    test::FaultHost host(fault, at);
    RunContext on_host(host, own->guard);
    s->run = &on_host;
    bool moded = false;
    test::each_operation = [&] {
      moded = moded || test::operation == "copy_mode kivo.cfg";
      if (moded && at == 0 && test::operation == "identify kivo.cfg")
        at = host.operations + 1;
    };
    const std::string out = save();
    test::each_operation = nullptr;
    s->run = own;
    ASSERT_GT(at, 0);
    if (fault == test::Fault::kNone) continue;
    EXPECT_EQ(out,
              "error: cannot write config file 'kivo.cfg' (Input/output "
              "error); it is left as it was\n");
    EXPECT_EQ(test::read_file(kConfigFile), old);
    EXPECT_FALSE(fs::exists("kivo.cfg.tmp"));
  }
}

// The older backups that a player piles up by moving archives out and in:
// at most five besides kivo.cfg.bak. With all five taken, the oldest that
// kivorama provably wrote goes (a plain file with no other name, its text
// beginning with the flags block as written here); a file of the player's
// under such a name, a link, or a backup with another name stays, however
// old. With none of them provably ours, kivo.cfg stays as it was, with no
// "error: " line, and nothing is removed.
TEST_F(ConfigWriter, TheOldestBackupOfOursMakesRoomAndNoOtherFile) {
  for (bool any_ours : {true, false}) {
    for (const auto& e : fs::directory_iterator(".")) fs::remove_all(e.path());
    const std::string old = read_with_a_lost_line();
    const std::string older = old + "// the older backup\n";
    test::write_file("kivo.cfg.bak", older);
    // By age, in hours: the player's notes, a backup of ours with a second
    // name, the oldest of ours (.5) and the newest (.1); .4 is a link.
    const std::map<int, std::pair<std::string, int>> slots = {
        {2, {"my notes\n", 20}},
        {3, {old, 10}},
        {5, {old + "// 5\n", 5}},
        {1, {old + "// 1\n", 1}}};
    const auto now = fs::file_time_type::clock::now();
    for (const auto& [n, slot] : slots) {
      const std::string name = "kivo.cfg.bak." + std::to_string(n);
      test::write_file(name, any_ours || n == 2 ? slot.first : "mine\n");
      fs::last_write_time(name, now - std::chrono::hours(slot.second));
    }
    fs::create_hard_link("kivo.cfg.bak.3", "kept-elsewhere");
    if (test::kIsWindowsHost)
      test::write_file("kivo.cfg.bak.4", "mine\n");
    else
      fs::create_symlink("kivo.cfg.bak.1", "kivo.cfg.bak.4");
    const test::Tree before = test::folder();
    const std::string out = save();
    const test::Tree after = test::folder();
    if (!any_ours) {
      EXPECT_EQ(out,
                "warn: 'kivo.cfg' is left as it was, so that nothing of it is "
                "lost: 'kivo.cfg.bak' and 'kivo.cfg.bak.1' to 'kivo.cfg.bak.5' "
                "hold older copies, and none of those numbered can be proven "
                "to be one that kivorama made; move or remove those you no "
                "longer need and run again\n");
      EXPECT_EQ(after, before);
      EXPECT_EQ(s->run->status.errors, 0);
      continue;
    }
    EXPECT_EQ(out,
              "note: 'kivo.cfg' held lines this run could not use; the old "
              "file is kept as 'kivo.cfg.bak'\n"
              "note: 'kivo.cfg.bak.5', the oldest of the older backups, was "
              "removed to make room (at most 5 are kept)\n"
              "note: the older 'kivo.cfg.bak' is kept as 'kivo.cfg.bak.5'\n"
              "wrote 'kivo.cfg'\n");
    EXPECT_EQ(test::read_file("kivo.cfg.bak.5"), older);
    EXPECT_EQ(test::read_file("kivo.cfg.bak"), old);
    for (const char* kept : {"kivo.cfg.bak.1", "kivo.cfg.bak.2",
                             "kivo.cfg.bak.3", "kivo.cfg.bak.4"})
      EXPECT_EQ(test::at(after, kept), test::at(before, kept)) << kept;
  }
}

// kivo.cfg.tmp, which the run made, is swapped for a link to a file of
// someone else's just before it gets the old file's mode: that file keeps
// its own mode and text, and kivo.cfg stays as it was.
TEST_F(ConfigWriter, ATempFileSwappedForALinkPassesNoModeThrough) {
  if (test::kIsWindowsHost) GTEST_SKIP() << "links are POSIX here";
  const std::string old = read_with_a_lost_line();
  s->cfg_unread = 0;
  fs::permissions(kConfigFile, fs::perms(0644));
  test::write_file("victim", "theirs");
  fs::permissions("victim", fs::perms(0600));
  const test::Tree before = test::folder();
  test::FaultHost host(test::Fault::kNone, 0);
  RunContext on_host(host, s->run->guard);
  s->run = &on_host;
  test::each_operation = [] {
    if (test::operation != "copy_mode kivo.cfg") return;
    fs::remove("kivo.cfg.tmp");
    fs::create_symlink("victim", "kivo.cfg.tmp");
  };
  const std::string out = save();
  test::each_operation = nullptr;
  EXPECT_EQ(out,
            "error: cannot write config file 'kivo.cfg' (Too many levels of "
            "symbolic links); it is left as it was\n");
  const test::Tree after = test::folder();
  for (const char* path : {"victim", "kivo.cfg"})
    EXPECT_EQ(test::at(after, path), test::at(before, path)) << path;
}

}  // namespace
