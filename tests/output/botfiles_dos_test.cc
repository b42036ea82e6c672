// The output phase's command lines of the DOS/Windows set. A recorder takes
// the commands and plays their part on the scratch folder, so that the checks
// the phase makes between them see what the real commands would leave.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/phase_run.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;
using output_test::add;
using output_test::Printed;
using output_test::run_phase;
using ::testing::HasSubstr;
using Lines = std::vector<std::string>;

std::string unquote(std::string arg) {
  if (arg.size() >= 2 && arg.front() == '"')
    return arg.substr(1, arg.size() - 2);
  return arg;
}

bool starts(const std::string& line, const std::string& head) {
  return line.rfind(head, 0) == 0;
}

// The argument between `head` and `tail` of a recorded line.
std::string between(const std::string& line, const std::string& head,
                    const std::string& tail) {
  return unquote(
      line.substr(head.size(), line.size() - head.size() - tail.size()));
}

// Plays the commands of the DOS/Windows set; `zip_works` false leaves the
// packing undone, as a missing zip would.
test::CommandRecorder::Responder dos_shell(bool zip_works = true) {
  return [zip_works](const std::string& line) {
    std::error_code ec;
    const std::string redirect = " >kivo.tmp";
    if (line == "del kivo.pk3") {
      fs::remove("kivo.pk3", ec);
    } else if (line == "move scripts tscripts >kivo.tmp") {
      fs::rename("scripts", "tscripts", ec);
    } else if (line == "move tscripts scripts >kivo.tmp") {
      fs::rename("tscripts", "scripts", ec);
    } else if (line == "mkdir scripts >kivo.tmp") {
      fs::create_directory("scripts", ec);
    } else if (line == "rmdir scripts >kivo.tmp") {
      fs::remove("scripts", ec);  // only an empty folder goes
    } else if (line == "zip -r kivo.pk3 scripts >kivo.tmp") {
      if (zip_works) test::write_file("kivo.pk3", "PK");
    } else if (starts(line, "move ")) {
      std::string file = between(line, "move ", " scripts" + redirect);
      fs::rename(file, fs::path("scripts") / file, ec);
    } else if (starts(line, "del ")) {
      std::string path = between(line, "del ", redirect);
      fs::remove(fs::path("scripts") / path.substr(sizeof "scripts\\" - 1), ec);
    }
  };
}

TEST(WriteBotsDos, CommandSequenceWithThePlayersScriptsFolder) {
  test::ScratchDir dir;
  test::write_file("scripts/mine.bot", "mine\n");
  auto s = std::make_unique<State>();
  add(*s, "Bob");
  add(*s, "Sam");
  test::CommandRecorder shell(dos_shell());
  Printed p = run_phase(*s);
  EXPECT_EQ(shell.lines(), (Lines{
                               "del kivo.pk3",
                               "move scripts tscripts >kivo.tmp",
                               "mkdir scripts >kivo.tmp",
                               "move Bob.bot scripts >kivo.tmp",
                               "move Sam.bot scripts >kivo.tmp",
                               "zip -r kivo.pk3 scripts >kivo.tmp",
                               "del scripts\\Bob.bot >kivo.tmp",
                               "del scripts\\Sam.bot >kivo.tmp",
                               "rmdir scripts >kivo.tmp",
                               "move tscripts scripts >kivo.tmp",
                           }));
  EXPECT_EQ(p.out, "");
  EXPECT_EQ(p.err,
            "please wait while 'kivo.pk3' is being created...\n"
            "wrote 'kivo.pk3'\n");
  EXPECT_EQ(test::read_file("scripts/mine.bot"), "mine\n");
  EXPECT_FALSE(fs::exists("tscripts"));
}

TEST(WriteBotsDos, QuotedAndRefusedNames) {
  test::ScratchDir dir;
  auto s = std::make_unique<State>();
  add(*s, "a b");
  add(*s, "50%off");   // cmd would expand the variable
  add(*s, "say\"hi");  // would close the quotes
  test::CommandRecorder shell(dos_shell());
  Printed p = run_phase(*s);
  EXPECT_EQ(shell.lines(), (Lines{
                               "del kivo.pk3",
                               "mkdir scripts >kivo.tmp",
                               "move \"a b.bot\" scripts >kivo.tmp",
                               "zip -r kivo.pk3 scripts >kivo.tmp",
                               "del \"scripts\\a b.bot\" >kivo.tmp",
                               "rmdir scripts >kivo.tmp",
                           }));
  EXPECT_EQ(p.out,
            "warn: player '50%off' skipped: its name cannot be passed safely "
            "to the shell\n"
            "warn: player 'say\"hi' skipped: its name cannot be passed safely "
            "to the shell\n");
  EXPECT_FALSE(fs::exists("50%off.bot"));
  EXPECT_FALSE(fs::exists("say\"hi.bot"));
}

TEST(WriteBotsDos, NeverFillsOrPacksAFolderItDidNotMake) {
  struct Case {
    const char* what;
    bool tscripts_in_the_way;
    bool mkdir_works;
    Lines lines;
    const char* error;
  } cases[] = {
      {"tscripts in the way",
       true,
       true,
       {},  // the old kivo.pk3 stays
       "error: 'kivo.pk3' was not written\n"},
      {"mkdir failed",
       false,
       false,
       {"del kivo.pk3", "move scripts tscripts >kivo.tmp",
        "mkdir scripts >kivo.tmp", "move tscripts scripts >kivo.tmp"},
       "error: the folder 'scripts' could not be made, so 'kivo.pk3' was "
       "not written\n"},
  };
  for (const Case& c : cases) {
    test::ScratchDir dir;
    test::write_file("scripts/mine.bot", "mine\n");
    if (c.tscripts_in_the_way) test::write_file("tscripts/left.bot", "left\n");
    auto s = std::make_unique<State>();
    add(*s, "Bob");
    auto play = dos_shell();
    test::CommandRecorder shell([&](const std::string& line) {
      if (!c.mkdir_works && line == "mkdir scripts >kivo.tmp") return;
      play(line);
    });
    Printed p = run_phase(*s);
    EXPECT_EQ(shell.lines(), c.lines) << c.what;
    EXPECT_THAT(p.out, HasSubstr(c.error)) << c.what;
    EXPECT_THAT(p.err, ::testing::Not(HasSubstr("wrote"))) << c.what;
    EXPECT_EQ(test::read_file("scripts/mine.bot"), "mine\n") << c.what;
    EXPECT_FALSE(fs::exists("Bob.bot")) << c.what;
  }
}

}  // namespace
