// The output phase's command lines of the DOS/Windows set, played by the
// fake host, so that the checks the phase makes between them see what the
// real commands would leave.
#include <gtest/gtest.h>

#include <cerrno>

#include "output/output.h"
#include "support/fake_host.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;

void add(State& s, const std::string& name) {
  test::add(s, "x default hunter 0 a visor default k").name.set(name);
}

TEST(WriteBotsDos, CommandSequenceWithThePlayersScriptsFolder) {
  test::ScratchDir dir;
  test::write_file("scripts/mine.bot", "mine\n");
  auto s = std::make_unique<State>();
  add(*s, "Bob");
  add(*s, "50%off");  // cmd would expand the variable
  add(*s, "a b");
  test::FakeHost host;
  EXPECT_EQ(
      test::printed([&] { gd_write_descrete_players(*s); }),
      "please wait while 'kivo.pk3' is being created...\n"
      "warn: player '50%off' skipped: its name cannot be passed safely to the "
      "shell\nwrote 'kivo.pk3'\n");
  EXPECT_EQ(
      host.lines,
      (std::vector<std::string>{
          "move scripts tscripts >kivo.tmp", "mkdir scripts >kivo.tmp",
          "move Bob.bot scripts >kivo.tmp",
          "move \"a b.bot\" scripts >kivo.tmp",
          "zip -r kivo.pk3 scripts >kivo.tmp", "del scripts\\Bob.bot >kivo.tmp",
          "del \"scripts\\a b.bot\" >kivo.tmp", "rmdir scripts >kivo.tmp",
          "move tscripts scripts >kivo.tmp"}));
  EXPECT_EQ(test::read_file("scripts/mine.bot"), "mine\n");
  EXPECT_EQ(test::read_fake_pk3("kivo.pk3").count("scripts/a b.bot"), 1u);
  EXPECT_FALSE(fs::exists("50%off.bot"));
}

// A player's own file named like a bot the run writes stays as it was and
// does not reach kivo.pk3, on Windows as elsewhere; creating a file that
// must be new never opens one that is there.
TEST(WriteBotsDos, PlayersOwnBotFileIsNeitherReplacedNorMoved) {
  test::ScratchDir dir;
  test::write_file("KniRed.bot", "the player's own\r\n");
  errno = 0;
  EXPECT_EQ(real_host().create("KniRed.bot"), nullptr);
  EXPECT_EQ(errno, EEXIST);
  auto s = std::make_unique<State>();
  add(*s, "KniRed");
  test::FakeHost host;
  EXPECT_NE(test::printed([&] { gd_write_descrete_players(*s); })
                .find("error: cannot write 'KniRed.bot'; player 'KniRed' "
                      "skipped\n"),
            std::string::npos);
  EXPECT_EQ(test::read_file("KniRed.bot"), "the player's own\r\n");
  for (const std::string& line : host.lines)
    EXPECT_EQ(line.find("KniRed"), std::string::npos) << line;
}

}  // namespace
