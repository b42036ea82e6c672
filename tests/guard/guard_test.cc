// The guard against what another user, an earlier version or chance left in
// the folder: a lock file that is a link or has other names, journals that
// name the player's files or hold junk. After each, every file of the
// player's (scripts, a tscripts of theirs, files under reserved names and
// bot names, kivo.cfg's hand edits, files outside) is as it was.
#include "guard/guard.h"

#include <gtest/gtest.h>

#include <map>

#include "guard/journal.h"
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
    for (const char* ours : {"game/kivo.lock", "game/kivo.tmp"}) t.erase(ours);
    return t;
  }
};

// Each file of tests/guard/journals is a kivo.lock that an earlier version,
// another user or the player left; and one whose line has 10 MB, and
// kivo.lock as a link, as another name of a file outside, or as a pipe. A
// journal that is not wholly of the program's grammar (a torn last line aside),
// and a lock file that is no plain file of one name, is refused (the journals
// "refused-*", and one of more than 64 KiB) and left as it was, never
// opened or written; a journal that is, is acted on only as far as the
// folder proves it, which here is not at all.
TEST(Guard, HostileLockFilesTouchNothingOfThePlayers) {
  std::map<std::string, std::string> journals = {
      {"refused-line-of-10-MB",
       kHead + "own new\n" + std::string(10 << 20, 'x') + "\n"}};
  if (!test::kIsWindowsHost)
    journals["refused-link"] = journals["refused-other-names"] =
        journals["refused-fifo"] = "";
  for (const auto& e : fs::directory_iterator(fs::path(KIVO_SOURCE_DIR) /
                                              "tests/guard/journals"))
    journals[e.path().filename().string()] = test::read_file(e.path());
  EXPECT_EQ(journals.size(), test::kIsWindowsHost ? 28u : 31u);
  for (const auto& [name, journal] : journals) {
    PlayersFolder game;
    const test::Tree before = game.players();
    if (name == "refused-link")
      fs::create_symlink("../outside/secret.bot", "kivo.lock");
    else if (name == "refused-other-names")
      fs::create_hard_link("../outside/secret.bot", "kivo.lock");
    else if (name == "refused-fifo")
      test::shell("mkfifo kivo.lock");
    else
      test::write_file("kivo.lock", journal);
    const std::string lock = test::entry("kivo.lock");
    const test::Outcome o = test::run_main();
    const std::string what = name + "\n" + o.out;
    const bool refused = name.starts_with("refused-");
    EXPECT_EQ(o.status, 1) << what;
    EXPECT_EQ(game.players(), before) << what;
    const std::string why = name == "refused-link"          ? "is a link"
                            : name == "refused-other-names" ? "has other names"
                            : name == "refused-fifo"        ? "is no plain file"
                                                     : "holds something else";
    EXPECT_SAYS(
        o.out,
        refused ? "error: 'kivo.lock' is not a lock file of kivorama (it " + why
                : "error: 'kivo.ztmp' is in the way")
        << what;
    EXPECT_EQ(refused, test::entry("kivo.lock") == lock) << what;
    EXPECT_EQ(o.out.find("repaired"), std::string::npos) << what;
  }
}

// A journal of the program's own is still acted on: the repair is not
// simply switched off. It moves back only the very folder it set aside (a
// tscripts of the player's, made after, stays where it is), and removes a
// work folder only when all in it is what the journal recorded: its token,
// the folder "scripts" by identity, kivo.pk3 by its version as the run
// records it (identity, size, time), the bot file by a digest of its text
// ("ours"). A file the player saved into it after the run died moves aside
// with the folder, and nothing of the program's goes with it.
TEST(Guard, AJournalOfOursIsRepairedAndNothingElse) {
  for (bool recorded : {true, false}) {
    PlayersFolder game;
    for (const char* taken : {"kivo.ztmp", "tscripts"}) fs::remove_all(taken);
    fs::rename("scripts", "tscripts");
    test::write_file("kivo.ztmp/kivo.own", "0123456789abcdef");
    test::write_file("kivo.ztmp/scripts/Bot.bot", "ours");
    test::write_file("kivo.ztmp/kivo.pk3", "ours");
    if (!recorded) test::write_file("kivo.ztmp/scripts/mine.txt", "mine");
    const std::string mine = test::entry("kivo.ztmp/scripts/mine.txt");
    auto id = [](const char* path) {
      Identity id;
      EXPECT_EQ(test::real_host().identify(path, false, id), 0) << path;
      return id;
    };
    test::write_file("kivo.lock",
                     kHead + "aside " +
                         identity_text(id(recorded ? "tscripts" : "Mine.bot")) +
                         "\nwork new\nwork " + identity_text(id("kivo.ztmp")) +
                         "\nmade 73637269707473 " +
                         version_text(id("kivo.ztmp/scripts")) +
                         "\nmade 6b69766f2e706b33 " +
                         version_text(id("kivo.ztmp/kivo.pk3")) +
                         "\ntext 426f742e626f74 db860fb4521d319e\n");
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
    EXPECT_EQ(test::entry("kivo.kept/scripts/mine.txt"), mine);
    EXPECT_FALSE(fs::exists("kivo.kept/scripts/Bot.bot"));
    EXPECT_EQ(o.out.find("warn: 'kivo.ztmp', a folder of kivorama's own left "
                         "by a run that was stopped, holds files that "
                         "kivorama cannot prove it made: it is moved to "
                         "'kivo.kept' with them") != std::string::npos,
              !recorded)
        << o.out;
  }
}

}  // namespace
