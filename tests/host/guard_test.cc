// The guard against what another user, an earlier version or chance left in
// the folder: a lock file that is a link or has other names, journals that
// name the player's files or hold junk. After each, every file of the
// player's (scripts, a tscripts of theirs, files under reserved names and
// bot names, kivo.cfg's hand edits, files outside) is as it was.
#include <gtest/gtest.h>

#include "support/fault_host.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;

const std::string kHead = "kivorama 1 0123456789abcdef\n";

// A game folder "game" whose player has made everything the program
// reserves for itself (the case taken-every-reserved-name), and a file
// outside the folder.
struct PlayersFolder : test::ScratchDir {
  PlayersFolder() {
    test::write_file("outside/secret.bot", "outside\n");
    fs::create_directories("game");
    fs::current_path("game");
    test::make_folder(test::kCases / "taken-every-reserved-name/folder");
    fs::permissions("scripts/frozen.txt", fs::perms::owner_read);
  }
  // Everything, outside the game folder too, but the lock and list files.
  test::Tree players() {
    test::Tree t = test::folder(path);
    t.erase("game/kivo.lock");
    t.erase("game/kivo.tmp");
    return t;
  }
};

// Each file of tests/host/journals is a kivo.lock that an earlier version,
// another user or the player left; and one whose line has 10 MB.
TEST(Guard, HostileJournalsTouchNothingOfThePlayers) {
  std::vector<std::string> journals = {kHead + "own new\n" +
                                       std::string(10 << 20, 'x') + "\n"};
  for (const auto& e : fs::directory_iterator(fs::path(KIVO_SOURCE_DIR) /
                                              "tests/host/journals"))
    journals.push_back(test::read_file(e.path()));
  EXPECT_GT(journals.size(), 10u);
  for (const std::string& journal : journals) {
    PlayersFolder game;
    const test::Tree before = game.players();
    test::write_file("kivo.lock", journal);
    const test::Outcome o = test::run_main();
    const std::string what = journal.substr(0, 80) + "\n" + o.out;
    EXPECT_EQ(game.players(), before) << what;
    // Either the journal is refused as no lock file of ours, or it is not
    // acted on and the run refuses the names in its way.
    const bool ours = journal.starts_with("kivorama ");
    EXPECT_SAYS(o.out, ours ? "error: 'kivo.ztmp' is in the way"
                            : "error: 'kivo.lock' is not a lock file of "
                              "kivorama (it holds something else)")
        << what;
    EXPECT_TRUE(ours || test::read_file("kivo.lock") == journal) << what;
    EXPECT_EQ(o.out.find("repaired"), std::string::npos) << what;
  }
}

// A journal of the program's own is still acted on: the repair is not
// simply switched off. It moves back only the very folder it set aside: a
// tscripts of the player's, made after, stays where it is.
TEST(Guard, AJournalOfOursIsRepairedAndNothingElse) {
  for (bool recorded : {true, false}) {
    PlayersFolder game;
    fs::remove_all("kivo.ztmp");
    fs::remove_all("tscripts");
    fs::rename("scripts", "tscripts");
    Identity aside, work;
    ASSERT_EQ(
        real_host().identify(recorded ? "tscripts" : "Mine.bot", false, aside),
        0);
    test::write_file("kivo.ztmp/kivo.own", "0123456789abcdef");
    ASSERT_EQ(real_host().identify("kivo.ztmp", false, work), 0);
    test::write_file("kivo.ztmp/scripts/Bot.bot", "ours");
    test::write_file("kivo.lock", kHead + "aside " + identity_text(aside) +
                                      "\nwork new\nwork " +
                                      identity_text(work) + "\n");
    const test::Outcome o = test::run_main();
    EXPECT_EQ(
        o.out.find("note: an earlier run was stopped before it ended; "
                   "repaired: your 'scripts' folder is back from "
                   "'tscripts', 1 leftover removed\n") != std::string::npos,
        recorded)
        << o.out;
    EXPECT_EQ(
        test::read_file(recorded ? "scripts/own.bot" : "tscripts/own.bot"),
        "{\nname Mine\n}\n");
    EXPECT_FALSE(fs::exists("kivo.ztmp"));
  }
}

// kivo.lock as a link, or as another name of a file: never opened, never
// written, left where it is.
TEST(Guard, ALockFileThatIsALinkOrHasOtherNamesIsRefused) {
  if (test::kIsWindowsHost) GTEST_SKIP() << "links are POSIX here";
  for (bool hard : {false, true}) {
    PlayersFolder game;
    fs::remove_all("kivo.ztmp");
    fs::remove("kivo.cfg.tmp");
    const test::Tree before = game.players();
    if (hard)
      fs::create_hard_link("../outside/secret.bot", "kivo.lock");
    else
      fs::create_symlink("../outside/secret.bot", "kivo.lock");
    const test::Outcome o = test::run_main();
    EXPECT_EQ(o.status, 1) << o.out;
    EXPECT_SAYS(o.out, std::string("error: 'kivo.lock' is not a lock file of "
                                   "kivorama (it ") +
                           (hard ? "has other names)" : "is a link)"));
    EXPECT_EQ(game.players(), before);
    EXPECT_EQ(hard, fs::is_regular_file(fs::symlink_status("kivo.lock")));
  }
}

}  // namespace
