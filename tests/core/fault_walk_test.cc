// The fault walk: a realistic game folder is run once to count the
// operations a normal run asks of the host; then, for every operation k, a
// run is made to fail at k, to be interrupted at k, or to die at k, and
// after each the folder is run again normally. Every time, nothing of the
// player's may be lost or changed, kivo.cfg and kivo.pk3 must each be the
// old file or the complete new one at every instant, and after the rerun
// the folder must be exactly what a clean run leaves. The commands are the
// host's own set, run by its real shell and tools.
#include <gtest/gtest.h>

#include "support/fault_host.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;
using test::at;
using test::Fault;
using test::Tree;

// The folder walked is one as players have them after a few runs (the case
// player-folder): add-on archives, one with a bot file and an AI file of its
// own, the game's own archive, a scripts folder of the player's with a
// read-only file in it and a bot file named like that archive's, a file of
// their own, a kivo.cfg edited by hand (most players made inactive, one
// renamed, a row too short, its permission bits not those a checkout gives),
// an older backup of it and an earlier run's kivo.pk3.
void walk_every_operation(Fault fault) {
  const test::ScratchDir model;
  test::make_folder(test::kCases / "player-folder/folder");
  fs::permissions("scripts/notes.txt", fs::perms::owner_read);
  test::write_file("scripts/paladin.bot", "{\nname Mine\n}\n");
  fs::permissions("kivo.cfg", fs::perms(0640));  // a mode the run must keep
  test::write_file("kivo.cfg.bak", "an older backup\n");
  test::make_pk3("kivo.pk3", {{"scripts/Old.bot", "{}"}});
  const Tree start = test::folder(), players = test::players_part(start);
  // What a clean run leaves, and that a second clean run leaves it alike.
  const test::ScratchDir first;
  test::copy_into(model.path, first.path);
  const test::Outcome normal = test::run_main();
  ASSERT_EQ(normal.status, 0) << normal.out;
  const int n = normal.operations;
  const Tree clean = test::folder();
  ASSERT_EQ(test::run_main().status, 0);
  ASSERT_EQ(test::folder(), clean);
  ASSERT_GT(n, 20);
  ASSERT_NE(at(clean, "kivo.cfg.bak"), "");  // the edits' copy is kept
  // The player's files are whole, in scripts or, on loan, in tscripts.
  const auto whole = [&](const Tree& tree) {
    for (const auto& [path, entry] : players)
      if (at(tree, path) != entry &&
          !(path.starts_with("scripts") && at(tree, "t" + path) == entry))
        return testing::AssertionFailure() << path << " is not whole";
    return testing::AssertionSuccess();
  };

  // Under wine, where a command takes a good part of a second, every 12th
  // operation, from a different one for each fault.
  const int stride = test::kIsWindowsHost ? 12 : 1;
  int walked = 0, violations = 0;
  for (int k = stride == 1 ? 1 : 1 + 4 * static_cast<int>(fault);
       k <= n && violations < 4; k += stride, ++walked) {
    test::ScratchDir dir;
    test::copy_into(model.path, dir.path);
    // What the game and the player see before every operation until the
    // fault and after it (the run may be in its work folder meanwhile); and
    // that the run works in kivo.ztmp only once the journal names the very
    // folder it made, and writes a bot file only once it holds their texts.
    // The last journal records of kivo.cfg.tmp and kivo.ztmp.
    int torn = 0, unnamed = 0, texts = 0;
    std::string last, work;
    test::each_operation = [&] {
      const std::string& op = test::operation;
      if (op.starts_with("journal cfg ")) last = op;
      if (op.starts_with("journal work ")) work = op;
      texts += op.starts_with("journal text ");
      unnamed +=
          (op == "change_folder kivo.ztmp" && work == "journal work new\n") ||
          (op.starts_with("create ") && op.ends_with(".bot") && !texts);
      for (const char* own : {"kivo.cfg", "kivo.pk3"}) {
        const std::string now = test::entry(dir.path / own);
        torn += now != at(start, own) && now != at(clean, own);
      }
    };
    const bool failed_before = ::testing::Test::HasFailure();
    const test::Outcome o = test::run_main({}, fault, k);
    test::each_operation();
    test::each_operation = nullptr;
    const std::string where =
        "fault at " + std::to_string(k) + " (" + o.faulted + ")\n" + o.out;
    const Tree after = test::folder();
    EXPECT_EQ(torn, 0) << "kivo.cfg or kivo.pk3 neither old nor new, " << where;
    EXPECT_EQ(unnamed, 0) << where;
    // Hand edits are never lost without the copy kept, nor the older backup,
    // which stays or moves to kivo.cfg.bak.1.
    EXPECT_TRUE((at(after, "kivo.cfg") == at(start, "kivo.cfg") ||
                 at(after, "kivo.cfg.bak") == at(clean, "kivo.cfg.bak")) &&
                (at(after, "kivo.cfg.bak") == at(start, "kivo.cfg.bak") ||
                 at(after, "kivo.cfg.bak.1") == at(start, "kivo.cfg.bak")))
        << where;
    if (fault == Fault::kKill) {
      EXPECT_EQ(o.status, -1) << where;
      EXPECT_TRUE(whole(after)) << "after " << where;
    } else {
      // With no way back from the work folder, what the run made there
      // stays with its journal, for the next run (below) to remove.
      if (o.faulted != "change_folder back") {
        EXPECT_EQ(test::players_part(after), players) << where;
      }
      // A failed operation is told as itself: a look that failed is never
      // taken for "nothing there", "something there" or an edit of the
      // player's (nobody edits kivo.cfg during these runs), and no failure
      // is told as a success.
      for (const char* misread : {"(File exists)", "(No such file", "(Success)",
                                  "was changed while this run worked"})
        EXPECT_EQ(o.out.find(misread), std::string::npos) << where;
      // A file that could not be made or written is told so, with why; so
      // is a record the journal did not take (the step it announces stops),
      // and a folder that could not be listed.
      const bool listing = o.faulted.starts_with("list_folder ");
      if (fault == Fault::kFail &&
          (listing || o.faulted.starts_with("create ") ||
           o.faulted.starts_with("journal") || o.faulted == "close")) {
        EXPECT_SAYS(where, listing ? "(Input/output error)"
                                   : "(No space left on device)");
      }
      // A fault the run got over leaves what a clean run leaves; any other
      // is reported, or the run says it was interrupted (and, once kivo.pk3
      // is new, whether kivo.cfg is too).
      const bool told =
          at(after, "kivo.pk3") != at(clean, "kivo.pk3") ||
          o.out.find(at(after, "kivo.cfg") == at(clean, "kivo.cfg")
                         ? "and 'kivo.cfg' were written\n"
                         : "'kivo.cfg' is left as it was\n") != o.out.npos;
      EXPECT_TRUE(fault == Fault::kInterrupt ? o.status == 130 && told
                  : o.status == 0            ? after == clean
                                             : o.status == 1)
          << where;
      // A kivo.cfg.tmp the run made it also removes, and records so, unless
      // the fault hit that file or the journal.
      EXPECT_TRUE(o.faulted.find("kivo.cfg.tmp") != std::string::npos ||
                  o.faulted.starts_with("journal") || last.empty() ||
                  last == "journal cfg over\n")
          << where;
    }
    // After a kill the player acts: saves a file under a bot's name; when no
    // scripts folder is to be seen, makes one with a file named like the
    // archive's bot file (on ext4 the new folder and file may get the
    // numbers of what the run removed); saves a file into whatever folder
    // of the program's own was left; and every third time deletes the lock
    // file with its journal. Run again normally: nothing the player made or
    // had is lost, and but for a journal deleted, the folder ends as a
    // clean run leaves it, apart from what the player made and a leftover
    // the run could not prove its own, moved aside and named.
    std::vector<std::string> made;
    bool journal_gone = false;
    if (fault == Fault::kKill) {
      made.push_back("AnaBlue.bot");
      if (!fs::exists(fs::symlink_status("scripts")))
        made.push_back("scripts/paladin.bot");
      for (const char* own : {"scripts", "kivo.stmp", "kivo.ztmp"})
        if (fs::exists(fs::path(own) / "kivo.own"))
          made.push_back(std::string(own) + "/saved-after.txt");
      for (const std::string& m : made) test::write_file(m, "mine: " + m);
      journal_gone = k % 3 == 0 && fs::remove("kivo.lock");
    }
    const Tree acts = test::folder();
    const test::Outcome again = test::run_main();
    Tree rerun = test::folder();
    for (const std::string& m : made) {
      // Where it was saved, or moved aside with a leftover of the program's.
      std::string found = m;
      for (int n = 0; n < 10 && at(rerun, found).empty() &&
                      m.find('/') != std::string::npos;
           ++n)
        found = std::string("kivo.kept") + (n ? "." + std::to_string(n) : "") +
                m.substr(m.find('/'));
      EXPECT_EQ(at(rerun, found), at(acts, m)) << m << ", " << where;
      rerun.erase(found);
    }
    EXPECT_TRUE(whole(rerun)) << "the rerun after " << where << again.out;
    // A leftover that holds what the run cannot prove (a file a command was
    // making when the run died, or the player's) is moved aside and named.
    for (auto it = rerun.begin(); it != rerun.end();)
      if (it->first.starts_with("kivo.kept")) {
        EXPECT_SAYS(again.out, "it is moved to 'kivo.kept");
        it = rerun.erase(it);
      } else {
        ++it;
      }
    if (!journal_gone && !acts.count("scripts/paladin.bot")) {
      EXPECT_EQ(again.status, 0) << "rerun after " << where << again.out;
      EXPECT_EQ(rerun, clean) << "rerun after " << where << again.out;
    }
    if (::testing::Test::HasFailure() && !failed_before) ++violations;
  }
  std::printf("fault walk: %d of %d operations, %d with violations\n", walked,
              n, violations);
}

TEST(FaultWalk, Failed) { walk_every_operation(Fault::kFail); }
TEST(FaultWalk, Interrupted) { walk_every_operation(Fault::kInterrupt); }
// Killed on a disk that hands out a removed file's number again at once.
TEST(FaultWalk, Killed) {
#ifndef _WIN32
  if (fs::is_directory("/var/tmp")) setenv("TMPDIR", "/var/tmp", 1);
#endif
  walk_every_operation(Fault::kKill);
}

}  // namespace
