// The output phase: bot files of the active set packed into kivo.pk3, on
// the fake host.
#include "output/output.h"

#include <gtest/gtest.h>

#include "support/fake_host.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;

const std::string kWait = "please wait while 'kivo.pk3' is being created...\n";
const std::string kWrote = "wrote 'kivo.pk3'\n";

// Appends a visor player with the AI file hunter, named `name` as it stands.
void add(State& s, const std::string& name, char st = 'a', int set = 0) {
  test::add(s, "x default hunter " + std::to_string(set) + " " + st +
                   " visor default k")
      .name.set(name);
}

std::string run_phase(State& s) {
  test::FakeHost host;
  return test::printed([&] { gd_write_descrete_players(s); });
}

// The member names of kivo.pk3.
std::vector<std::string> members() {
  std::vector<std::string> names;
  for (const auto& [name, text] : test::read_fake_pk3("kivo.pk3"))
    names.push_back(name);
  return names;
}

// Only the active players of the active set are packed; the player's own
// scripts folder stays as it was and is not packed; an old kivo.pk3 goes.
TEST(WriteBots, ActivePlayersOfTheActiveSet) {
  test::ScratchDir dir;
  test::write_file("scripts/mine.bot", "my own bot\n");
  test::write_fake_pk3("kivo.pk3", {{"scripts/Old.bot", "old"}});
  test::Tree before = test::folder();
  auto s = test::fresh_state();
  s->use_set = 3;
  s->roster[38]->st = 'a', s->roster[38]->set = 3;  // SarRed
  add(*s, "Bob", 'a', 3);
  for (char st : std::string("AiIuX")) add(*s, std::string("P") + st, st, 3);
  s->roster[64]->funname.set("");  // no key without a value
  add(*s, "Other", 'a', 0);
  add(*s, "Overflow", 'a', 9);
  EXPECT_EQ(run_phase(*s), kWait + kWrote);
  EXPECT_EQ(members(),
            (std::vector<std::string>{"scripts/", "scripts/Bob.bot",
                                      "scripts/PA.bot", "scripts/SarRed.bot"}));
  auto pk3 = test::read_fake_pk3("kivo.pk3");
  EXPECT_EQ(pk3["scripts/SarRed.bot"],
            test::host_line_ends("{\nname\t\tSarRed\nfunname ^1Sar^4Red\n"
                                 "model\t\tsarge/red\naifile  "
                                 "bots/default_c.c\n}\n\n"));
  EXPECT_EQ(pk3["scripts/Bob.bot"],
            test::host_line_ends("{\nname\t\tBob\nmodel\t\tvisor\naifile  "
                                 "bots/hunter_c.c\n}\n\n"));
  test::Tree after = test::folder();
  before.erase("kivo.pk3"), after.erase("kivo.pk3");
  EXPECT_EQ(after, before);  // no tscripts, no bot file left behind
}

TEST(WriteBots, NamesThatCannotBeFileNamesHereAreSkipped) {
  test::ScratchDir dir;
  fs::create_directories("Bob.bot");  // a folder where a file would go
  auto s = std::make_unique<State>();
  std::string want;
  for (const char* name : {"../escaped", "a/b", "a\\b", ".", "..", ""}) {
    add(*s, name);
    want += std::string("warn: player '") + name +
            "' skipped: its name cannot be a file name in this folder\n";
  }
  add(*s, "Bob");
  add(*s, "it's a;b");
  want += "error: cannot write 'Bob.bot'; player 'Bob' skipped\n";
  EXPECT_EQ(run_phase(*s), kWait + want + kWrote);
  EXPECT_EQ(members(),
            (std::vector<std::string>{"scripts/", "scripts/it's a;b.bot"}));
  EXPECT_EQ(test::folder().size(), 2u);  // Bob.bot and kivo.pk3
}

TEST(WriteBots, WarnsWhenBotFileNamesOverflowTheGamesBuffer) {
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
              bots == 73 ? std::string::npos : kWait.size());
  }
}

}  // namespace
