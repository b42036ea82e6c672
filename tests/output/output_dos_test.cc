// The output phase's command lines of the DOS/Windows set. A recorder plays
// the commands on the scratch folder, so that the checks the phase makes
// between them see what the real commands would leave.
#include <gtest/gtest.h>

#include <cerrno>

#include "output/output_helpers.h"

namespace {

namespace fs = std::filesystem;

TEST(WriteBotsDos, CommandSequenceWithThePlayersScriptsFolder) {
  test::ScratchDir dir;
  test::write_file("scripts/mine.bot", "mine\n");
  auto s = std::make_unique<State>();
  output_test::add(*s, "Bob");
  output_test::add(*s, "50%off");  // cmd would expand the variable
  output_test::add(*s, "a b");
  test::CommandRecorder shell([](const std::string& line) {
    std::error_code ec;
    if (line == "move scripts tscripts >kivo.tmp")
      fs::rename("scripts", "tscripts", ec);
    if (line == "move tscripts scripts >kivo.tmp")
      fs::rename("tscripts", "scripts", ec);
    if (line == "mkdir scripts >kivo.tmp") fs::create_directory("scripts", ec);
    if (line == "move Bob.bot scripts >kivo.tmp")
      fs::rename("Bob.bot", "scripts/Bob.bot", ec);
    if (line == "move \"a b.bot\" scripts >kivo.tmp")
      fs::rename("a b.bot", "scripts/a b.bot", ec);
    if (line.starts_with("del "))  // a name in quotes or not
      fs::remove(line.substr(line[4] == '"' ? 5 : 4,
                             line.find(line[4] == '"' ? "\"" : " >", 5) -
                                 (line[4] == '"' ? 5 : 4)),
                 ec);
    if (line == "rmdir scripts >kivo.tmp") fs::remove("scripts", ec);
    if (line == "zip -r kivo.pk3 scripts >kivo.tmp")
      test::write_file("kivo.pk3", "PK");
  });
  EXPECT_EQ(
      output_test::run_phase(*s),
      "warn: player '50%off' skipped: its name cannot be passed safely to the "
      "shell\n"
      "|please wait while 'kivo.pk3' is being created...\nwrote 'kivo.pk3'\n");
  EXPECT_EQ(
      shell.lines,
      (std::vector<std::string>{
          "move scripts tscripts >kivo.tmp", "mkdir scripts >kivo.tmp",
          "move Bob.bot scripts >kivo.tmp",
          "move \"a b.bot\" scripts >kivo.tmp",
          "zip -r kivo.pk3 scripts >kivo.tmp", "del scripts\\Bob.bot >kivo.tmp",
          "del \"scripts\\a b.bot\" >kivo.tmp", "rmdir scripts >kivo.tmp",
          "move tscripts scripts >kivo.tmp"}));
  EXPECT_EQ(test::read_file("scripts/mine.bot"), "mine\n");
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
  output_test::add(*s, "KniRed");
  test::CommandRecorder shell([](const std::string& line) {
    std::error_code ec;
    if (line == "mkdir scripts >kivo.tmp") fs::create_directory("scripts", ec);
    if (line == "rmdir scripts >kivo.tmp") fs::remove("scripts", ec);
    if (line == "zip -r kivo.pk3 scripts >kivo.tmp")
      test::write_file("kivo.pk3", "PK");
  });
  EXPECT_TRUE(output_test::run_phase(*s).starts_with(
      "error: cannot write 'KniRed.bot'; player 'KniRed' skipped\n"));
  EXPECT_EQ(test::read_file("KniRed.bot"), "the player's own\r\n");
  for (const std::string& line : shell.lines)
    EXPECT_EQ(line.find("KniRed"), std::string::npos) << line;
}

}  // namespace
