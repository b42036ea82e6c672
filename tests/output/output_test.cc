// The output phase with the real Unix tools; kivo.pk3 is read back with
// unzip.
#include <gtest/gtest.h>

#include "output/output_helpers.h"

namespace {

namespace fs = std::filesystem;
using output_test::add;
using output_test::run_phase;

const char kWrote[] =
    "please wait while 'kivo.pk3' is being created...\nwrote 'kivo.pk3'\n";

// Member names of kivo.pk3, sorted, one a line.
std::string members() {
  return test::shell("unzip -Z1 kivo.pk3 | LC_ALL=C sort");
}

// Only the active players of the active set are packed; the player's own
// scripts folder stays as it was and is not packed; an old kivo.pk3 goes.
TEST(WriteBots, ActivePlayersOfTheActiveSet) {
  test::ScratchDir dir;
  test::write_file("scripts/mine.bot", "my own bot\n");
  test::make_pk3("kivo.pk3", {{"scripts/Old.bot", "old"}});
  auto before = test::folder();
  auto s = test::fresh_state();
  s->use_set = 3;
  s->roster[38]->st = 'a', s->roster[38]->set = 3;  // SarRed
  add(*s, "Bob", 'a', 3);
  for (char st : std::string("AiIuX")) add(*s, std::string("P") + st, st, 3);
  s->roster[64]->funname.set("");  // no key without a value
  add(*s, "Other", 'a', 0);
  add(*s, "Overflow", 'a', 9);
  EXPECT_TRUE(run_phase(*s).ends_with(kWrote));
  EXPECT_EQ(members(),
            "scripts/\nscripts/Bob.bot\nscripts/PA.bot\nscripts/SarRed.bot\n");
  EXPECT_EQ(
      test::shell("unzip -p kivo.pk3 scripts/Bob.bot && unzip -p kivo.pk3 "
                  "scripts/PA.bot"),
      "{\nname\t\tBob\nmodel\t\tvisor\naifile  bots/hunter_c.c\n}\n\n"
      "{\nname\t\tPA\nmodel\t\tvisor\naifile  bots/hunter_c.c\n}\n\n");
  EXPECT_EQ(test::shell("unzip -p kivo.pk3 scripts/SarRed.bot"),
            "{\nname\t\tSarRed\nfunname ^1Sar^4Red\nmodel\t\tsarge/red\n"
            "aifile  bots/default_c.c\n}\n\n");
  auto after = test::folder();
  before.erase("kivo.pk3");
  after.erase("kivo.pk3");
  EXPECT_EQ(after, before);  // no tscripts, no bot file left behind
}

TEST(WriteBots, NamesNeverLeaveTheFolderNorRunCommands) {
  test::ScratchDir dir;
  fs::create_directories("game/Bob.bot");  // a folder where a file would go
  fs::current_path("game");
  auto s = std::make_unique<State>();
  std::string want, packed = "scripts/\n";
  for (const char* name : {"../escaped", "a/b", "a\\b", ".", "..", ""}) {
    add(*s, name);
    want += std::string("warn: player '") + name +
            "' skipped: its name cannot be a file name in this folder\n";
  }
  add(*s, "Bob");
  want += "error: cannot write 'Bob.bot'; player 'Bob' skipped\n|";
  for (const char* name : {"$(touch pwned)", "-dash", "`touch pwned`", "a b",
                           "a;touch pwned", "it's"}) {
    add(*s, name);
    packed += std::string("scripts/") + name + ".bot\n";
  }
  EXPECT_EQ(run_phase(*s), want + kWrote);
  EXPECT_EQ(members(), packed);
  fs::current_path(dir.path);
  auto after = test::folder();
  EXPECT_EQ(after.size(), 4u);  // game, game/Bob.bot, game/kivo.pk3 only
  EXPECT_EQ(after.count("game/kivo.pk3"), 1u);
}

TEST(WriteBots, FailuresAreNeverReportedAsWritten) {
  const std::pair<std::string, std::string> cases[] = {
      {"bin/", "error: 'kivo.pk3' was not created; is the 'zip' program "},
      {"kivo.pk3/inside", "error: the old 'kivo.pk3' could not be deleted, "},
      {"tscripts/left.bot",
       "error: 'tscripts' is in the way; the 'scripts' "
       "folder cannot be set aside, so this step is "
       "skipped\nerror: 'kivo.pk3' was not written\n"}};
  const std::string path = std::getenv("PATH");
  for (const auto& [what, message] : cases) {
    test::ScratchDir dir;
    test::write_file("scripts/mine.bot", "my own bot\n");
    test::write_file(what, "");
    if (what.starts_with("tscripts")) test::write_file("kivo.pk3", "old");
    if (what == "bin/") {  // a PATH with the usual tools but not zip
      for (const char* tool : {"mv", "rm", "mkdir", "rmdir", "chmod"})
        fs::create_symlink(fs::path("/usr/bin") / tool, fs::path("bin") / tool);
      setenv("PATH", (dir.path / "bin").c_str(), 1);
    }
    const auto before = test::folder();
    auto s = std::make_unique<State>();
    add(*s, "Bob");
    std::string printed = run_phase(*s);
    setenv("PATH", path.c_str(), 1);
    EXPECT_TRUE(printed.starts_with(message)) << printed;
    EXPECT_EQ(printed.find("wrote"), std::string::npos) << what;
    EXPECT_EQ(test::folder(), before) << what;
  }
}

TEST(WriteBots, WarnsWhenBotFileNamesOverflowTheGamesBuffer) {
  // Nine-letter names take 14 bytes each: 73 of them need 1022 bytes.
  for (int bots : {73, 74}) {
    test::ScratchDir dir;
    auto s = std::make_unique<State>();
    for (int i = 0; i < bots; ++i) add(*s, "Player" + std::to_string(100 + i));
    EXPECT_EQ(run_phase(*s).find("warn: the game reads only 1024 bytes of bot "
                                 "file names; 1 of the 74 bots in 'kivo.pk3' "
                                 "will not be found\n  use fewer bots"),
              bots == 73 ? std::string::npos : 0);
  }
}

// A file or link of the player's named like a bot is never replaced or
// written through.
TEST(WriteBots, APlayersFileOrLinkNamedLikeABotIsLeftAlone) {
  test::ScratchDir dir;
  fs::create_directory("game");
  fs::current_path("game");
  test::write_file("Bob.bot", "the player's own\n");
  test::write_file("../outside", "not the program's\n");
  fs::create_symlink("../outside", "Eve.bot");
  auto s = std::make_unique<State>();
  for (const char* name : {"Bob", "Eve", "Joe"}) add(*s, name);
  EXPECT_EQ(run_phase(*s),
            "error: cannot write 'Bob.bot'; player 'Bob' skipped\n"
            "error: cannot write 'Eve.bot'; player 'Eve' skipped\n|" +
                std::string(kWrote));
  EXPECT_EQ(members(), "scripts/\nscripts/Joe.bot\n");
  EXPECT_EQ(test::read_file("Bob.bot"), "the player's own\n");
  EXPECT_EQ(test::read_file("../outside"), "not the program's\n");
  EXPECT_TRUE(fs::is_symlink("Eve.bot"));
}

}  // namespace
