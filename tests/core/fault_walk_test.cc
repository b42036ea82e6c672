// The fault walk: a realistic game folder is run once to count the
// operations a normal run asks of the host; then, for every operation k, a
// run is made to fail at k, to be interrupted at k, or to die at k, and
// after each the folder is run again normally. Every time, nothing of the
// player's may be lost or changed, kivo.cfg and kivo.pk3 must each be the
// old file or the complete new one, and after the rerun the folder must be
// exactly what a clean run leaves. The commands are the host's own set, run
// by its real shell and tools.
#include <gtest/gtest.h>

#include <string>

#include "support/fault_host.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;
using test::at;
using test::Fault;
using test::Tree;

// A folder as players have them (the recorded run "player-folder"): add-on
// archives, one with a bot file and an AI file of its own, the game's own
// archive, a scripts folder of the player's with a read-only file in it, a
// file of their own, and a kivo.cfg edited by hand: most players made
// inactive (so the run writes few bots), one renamed, a row too short.
void make_folder() {
  test::make_folder(test::kCases / "player-folder/folder");
  fs::permissions("scripts/notes.txt", fs::perms::owner_read);
  // An earlier run's archive, which the game loads until the new one is in.
  test::make_pk3("kivo.pk3", {{"scripts/", ""}, {"scripts/Old.bot", "{}"}});
}

// What a player does after a run was killed, before running it again:
// saves a file under a bot's name and, when no scripts folder is to be
// seen, makes one. Returns whether scripts was made.
bool player_acts() {
  test::write_file("AnaBlue.bot", "my own AnaBlue\n");
  if (fs::exists(fs::symlink_status("scripts"))) return false;
  test::write_file("scripts/made-after.txt", "made after the kill\n");
  return true;
}

void walk_every_operation(Fault fault) {
  // What a clean run leaves, and that a second clean run leaves it alike.
  Tree start, clean;
  int n = 0;
  {
    test::ScratchDir dir;
    make_folder();
    start = test::folder();
    test::Outcome o = test::run_main();
    ASSERT_EQ(o.status, 0) << o.out;
    n = o.operations;
    clean = test::folder();
    ASSERT_EQ(test::run_main().status, 0);
    ASSERT_EQ(test::folder(), clean);
  }
  ASSERT_GT(n, 20);
  ASSERT_NE(at(clean, "kivo.cfg.bak"), "");  // the edits' copy is kept
  const Tree players = test::players_part(start);

  // Each walk begins from a copy of one folder.
  test::ScratchDir model;
  make_folder();
  int violations = 0;
  // Under wine, where a command takes a good part of a second, every 12th
  // operation, from a different one for each fault.
  const int stride = test::kIsWindowsHost ? 12 : 1;
  int walked = 0;
  for (int k = stride == 1 ? 1 : 1 + 4 * static_cast<int>(fault);
       k <= n && violations < 4; k += stride, ++walked) {
    test::ScratchDir dir;
    for (const auto& e : fs::directory_iterator(model.path))
      fs::copy(e.path(), e.path().filename(), fs::copy_options::recursive);
    // What the game and the player see at every instant until the fault and
    // after it: kivo.cfg and kivo.pk3 each the old file or the complete new.
    int torn = 0;
    test::each_operation = [&] {  // the run may be in its work folder
      for (const char* own : {"kivo.cfg", "kivo.pk3"})
        torn += test::entry(dir.path / own) != at(start, own) &&
                test::entry(dir.path / own) != at(clean, own);
    };
    const bool failed_before = ::testing::Test::HasFailure();
    test::Outcome o = test::run_main({}, fault, k);
    test::each_operation();
    test::each_operation = nullptr;
    const std::string where =
        "fault at " + std::to_string(k) + " (" + o.faulted + ")\n" + o.out;
    const Tree after = test::folder();
    EXPECT_EQ(torn, 0) << "kivo.cfg or kivo.pk3 was neither old nor new, "
                       << where;
    // Hand edits are never lost without the copy kept.
    if (at(after, "kivo.cfg") != at(start, "kivo.cfg")) {
      EXPECT_EQ(at(after, "kivo.cfg.bak"), at(clean, "kivo.cfg.bak")) << where;
    }
    if (fault == Fault::kKill) {
      EXPECT_EQ(o.status, -1) << where;
      // The player's files are whole, in scripts or, on loan, in tscripts.
      for (const auto& [path, entry] : players) {
        std::string lent = path.starts_with("scripts") ? "t" + path : path;
        EXPECT_TRUE(at(after, path) == entry || at(after, lent) == entry)
            << path << " after " << where;
      }
    } else {
      EXPECT_EQ(test::players_part(after), players) << where;
      // A fault the run got over leaves what a clean run leaves; any other
      // is reported, or the run says it was interrupted.
      if (fault == Fault::kInterrupt)
        EXPECT_EQ(o.status, 130) << where;
      else if (o.status == 0)
        EXPECT_EQ(after, clean) << where;
      else
        EXPECT_EQ(o.status, 1) << where;
    }
    // Run again normally: the folder ends as a clean run leaves it, but
    // for what the player made meanwhile, which is never touched.
    const bool acted = fault == Fault::kKill;
    const bool made_scripts = acted && player_acts();
    const Tree acts = test::folder();
    test::Outcome again = test::run_main();
    Tree rerun = test::folder();
    if (acted) {
      EXPECT_EQ(at(rerun, "AnaBlue.bot"), at(acts, "AnaBlue.bot")) << where;
      rerun.erase("AnaBlue.bot");
    }
    if (made_scripts) {
      EXPECT_EQ(at(rerun, "scripts/made-after.txt"),
                at(acts, "scripts/made-after.txt"))
          << "rerun after " << where << again.out;
    } else {
      EXPECT_EQ(again.status, 0) << "rerun after " << where << again.out;
      EXPECT_EQ(rerun, clean) << "rerun after " << where << again.out;
    }
    if (::testing::Test::HasFailure() && !failed_before) ++violations;
  }
  std::printf("fault walk: %d of %d operations, %d with violations%s\n", walked,
              n, violations,
              fault == Fault::kKill ? " (the player acting after each)" : "");
}

// The three faults, one test each.
class FaultWalk : public testing::TestWithParam<Fault> {};

std::string fault_name(const testing::TestParamInfo<Fault>& info) {
  return info.param == Fault::kFail        ? "Failed"
         : info.param == Fault::kInterrupt ? "Interrupted"
                                           : "Killed";
}

TEST_P(FaultWalk, EveryOperation) { walk_every_operation(GetParam()); }
INSTANTIATE_TEST_SUITE_P(HostCommands, FaultWalk,
                         testing::Values(Fault::kFail, Fault::kInterrupt,
                                         Fault::kKill),
                         fault_name);

}  // namespace
