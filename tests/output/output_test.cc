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
