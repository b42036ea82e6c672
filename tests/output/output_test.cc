// The output phase: bot files of the active set packed into kivo.pk3 by the
// real zip.
#include "output/output.h"

#include <gtest/gtest.h>

#include "support/fault_host.h"
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
  run_status() = RunStatus{};  // no failure of an earlier test counts
  test::FaultHost host(test::Fault::kNone, 0);
  return test::printed([&] { gd_write_descrete_players(s); });
}

// The bot files are written and packed in the program's own folder: a file
// of the player's under a bot's name is neither read, replaced nor removed,
// and the bot still reaches kivo.pk3; the work folder is gone afterwards.
TEST(WriteBots, PlayersFilesUnderBotNamesStayAndTheBotIsPacked) {
  test::ScratchDir dir;
  auto s = std::make_unique<State>();
  add(*s, "Mine0");
  add(*s, "Other", 'I');
  test::write_file("Mine0.bot", "the player's own\n");
  EXPECT_EQ(run_phase(*s), kWait + kWrote);
  EXPECT_EQ(test::read_file("Mine0.bot"), "the player's own\n");
  const test::Members packed = test::members("kivo.pk3");
  EXPECT_EQ(packed.size(), 2u);  // the folder and the one bot
  EXPECT_NE(packed.at("scripts/Mine0.bot")
                .find(test::host_line_ends("name\t\tMine0\n")),
            std::string::npos);
  EXPECT_FALSE(fs::exists("kivo.ztmp"));
  EXPECT_FALSE(fs::exists("scripts"));
}

}  // namespace
