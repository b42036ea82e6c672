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
  KIVO_NEEDS_UNIX_SHELL();
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
  EXPECT_EQ(test::shell("unzip -p kivo.pk3 scripts/Bob.bot scripts/SarRed.bot"),
            "{\nname\t\tSarRed\nfunname ^1Sar^4Red\nmodel\t\tsarge/red\n"
            "aifile  bots/default_c.c\n}\n\n"
            "{\nname\t\tBob\nmodel\t\tvisor\naifile  bots/hunter_c.c\n}\n\n");
  auto after = test::folder();
  before.erase("kivo.pk3");
  after.erase("kivo.pk3");
  EXPECT_EQ(after, before);  // no tscripts, no bot file left behind
}

TEST(WriteBots, NamesNeverLeaveTheFolderNorRunCommands) {
  KIVO_NEEDS_UNIX_SHELL();
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

TEST(WriteBots, WarnsWhenBotFileNamesOverflowTheGamesBuffer) {
  KIVO_NEEDS_UNIX_SHELL();
  // Nine-letter names take 14 bytes each: 73 of them need 1022 bytes.
  for (int bots : {73, 74}) {
    test::ScratchDir dir;
    auto s = std::make_unique<State>();
    for (int i = 0; i < bots; ++i) add(*s, "Player" + std::to_string(100 + i));
    EXPECT_EQ(run_phase(*s).find("warn: the game reads only 1024 bytes of bot "
                                 "file names; 1 of the 74 bots in 'kivo.pk3' "
                                 "will not be found\n  use fewer bots: in "
                                 "'kivo.cfg' mark players 'I' in the active "
                                 "set or move them to another set; set 9 "
                                 "refills the active set up to 80\n"),
              bots == 73 ? std::string::npos : 0);
  }
}

}  // namespace
