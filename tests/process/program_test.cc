// The built program as a player starts it, with the host's real shell and
// tools: the help, the tools beside it on Windows, names the shell would
// read, and the guide's first run on the sample folder.
#include <gtest/gtest.h>

#include <sstream>

#include "support/support.h"

namespace {

namespace fs = std::filesystem;
const fs::path kSource = KIVO_SOURCE_DIR;

TEST(Program, HelpPrintsBothTextsAndTouchesNoFile) {
  test::ScratchDir dir;
  int status = -1;
  // The help goes to a text-mode stream: the host's line ends.
  EXPECT_EQ(test::run_program({"-s", "2", "+h", "+r", "3"}, &status),
            test::host_line_ends(
                test::read_file(kSource / "tests/core/help_expected.txt")));
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(fs::is_empty(dir.path));
}

// A Windows player starts the program by its full path from the game folder
// and keeps the tools beside it only: a stand-in zip there must make the
// kivo.pk3 that the run looks for. Elsewhere PATH is left as it is.
TEST(Program, FindsToolsBesideItself) {
#ifdef _WIN32
  test::ScratchDir dir;
  const fs::path bin = dir.path / "bin";
  fs::create_directories(bin);
  fs::create_directories("game");
  fs::copy_file(test::program_path(), bin / "kivorama.exe");
  test::write_file(bin / "zip.bat", "@echo PK>kivo.pk3\r\n");
  fs::current_path("game");
  const std::string out =
      test::shell("\"" + (bin / "kivorama.exe").string() + "\" 2>&1");
  EXPECT_NE(out.find("wrote 'kivo.pk3'"), std::string::npos) << out;
  EXPECT_EQ(out.find("was not created"), std::string::npos) << out;
#else
  const char* path = std::getenv("PATH");
  const std::string before = path != nullptr ? path : "";
  EXPECT_EQ(sy_put_own_folder_on_path(), 1);
  path = std::getenv("PATH");
  EXPECT_EQ(path != nullptr ? path : "", before);
#endif
}

// Archive, member and bot names that a shell would read as commands,
// patterns or options reach the real tools as names, or are refused; the
// real chmod does not follow a link of the player's scripts folder.
TEST(Program, NamesTheShellWouldReadRunNoCommands) {
  KIVO_NEEDS_UNIX_SHELL();
  test::ScratchDir dir;
  const fs::path secret = dir.path / "secret";
  test::write_file(secret, "private");
  fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_directories("game/scripts");
  fs::create_symlink(secret, "game/scripts/link");
  fs::current_path("game");
  const test::Members knight = {
      {"models/players/knight/head.md3", "m"},
      {"models/players/knight/head_red.skin", "s"},
      {"scripts/k.bot", "{\nname $(touch${IFS}pwned)\nmodel knight/red\n}\n"}};
  const std::vector<std::string> names = {"a b.pk3",
                                          "it's.pk3",
                                          "semi;touch pwned;.pk3",
                                          "$(touch pwned).pk3",
                                          "`touch pwned`.pk3",
                                          "new\nline.pk3",
                                          "\"dq\".pk3",
                                          "-rf.pk3",
                                          std::string(251, 'L') + ".pk3"};
  test::make_pk3(names[0], knight);
  for (std::size_t i = 1; i < names.size(); ++i)
    fs::copy_file(names[0], names[i]);
  test::Members m = {
      {"models/players/x;touch${IFS}pwned;/head.md3", "m"},
      {"models/players/x;touch${IFS}pwned;/head_red.skin", "s"},
      {"models/players/$(touch pwned)/head_`touch pwned`.skin", "s"},
      {"botfiles/bots/$(touch${IFS}pwned)_c.c", "c"}};
  for (const std::string name : {"$(touch${IFS}pwned)", "`touch${IFS}pwned`",
                                 "a'b;touch${IFS}pwned;'", "*", "-rf"})
    m["scripts/" + name + ".bot"] = "{\nname Inj\nmodel knight/red\n}\n";
  test::make_pk3("members.pk3", m);
  int status = -1;
  const std::string out = test::run_program({}, &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_TRUE(out.ends_with("\nfor help, '" + test::program_path() + " -h'\n"))
      << out;
  EXPECT_EQ(fs::status(secret).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(fs::is_symlink("scripts/link"));
  for (const char* says :
       {"  reading pk3 file 'a b.pk3'\n",
        "  reading pk3 file '$(touch pwned).pk3'\n",
        "warn: bot file '*.bot' skipped: its name cannot be passed safely to "
        "the shell\n"})
    EXPECT_NE(out.find(says), std::string::npos) << says << out;
  EXPECT_EQ(out.find("warn: archive 'a b.pk3'"), std::string::npos) << out;
  EXPECT_FALSE(fs::exists("pwned"));
  const std::string cfg = test::read_file("kivo.cfg");
  for (const char* from : {" a b ", " it's ", " -rf ", " \"dq\" "})
    EXPECT_NE(cfg.find(from), std::string::npos) << from;
  EXPECT_NE(cfg.find("\nX;tRed "), std::string::npos);
  EXPECT_NE(
      test::shell("unzip -Z1 kivo.pk3").find("scripts/$(touch${IFS}pwned).bot"),
      std::string::npos);
}

// The lines of the guide's first run, from "$ kivorama" to the closing
// line, without their indent.
std::vector<std::string> guide_first_run() {
  std::istringstream in(test::read_file(kSource / "kivorama_doc.txt"));
  std::vector<std::string> lines;
  bool on = false;
  for (std::string line; std::getline(in, line);) {
    if (!on) {
      on = line == "    $ kivorama";
      continue;
    }
    lines.push_back(line.size() > 4 ? line.substr(4) : "");
    if (lines.back().starts_with("for help,")) break;
  }
  return lines;
}

TEST(Program, TheGuidesFirstRunIsWhatTheProgramPrints) {
  KIVO_NEEDS_UNIX_SHELL();
  test::ScratchDir dir;
  // The sample folder as sample/run makes it: each tree *.pk3 zipped, the
  // loose scripts folder copied.
  for (const auto& e : fs::directory_iterator(kSource / "sample/baseq3")) {
    const std::string name = e.path().filename().string();
    if (name.ends_with(".pk3"))
      test::shell("cd '" + e.path().string() + "' && zip -q -r '" +
                  (dir.path / name).string() + "' .");
  }
  fs::copy(kSource / "sample/baseq3/scripts", "scripts");
  const std::string bin = fs::path(KIVORAMA_EXE).parent_path().string();
  std::istringstream out(
      test::shell("LC_ALL=C PATH='" + bin + "':\"$PATH\" kivorama 2>&1"));
  std::vector<std::string> lines;
  for (std::string line; std::getline(out, line);)
    lines.push_back(line.erase(line.find_last_not_of(' ') + 1));
  EXPECT_EQ(lines, guide_first_run());
}

// The player's shell may carry options for unzip and zip; none reaches the
// tools the program runs: the archives' bot files are read where they
// belong, and nothing is extracted outside the folder.
TEST(Program, ThePlayersToolOptionsNeverReachTheTools) {
  KIVO_NEEDS_UNIX_SHELL();
  test::ScratchDir dir;
  fs::create_directories("game");
  fs::current_path("game");
  test::make_pk3("paladin.pk3",
                 {{"models/players/paladin/head.md3", "m"},
                  {"models/players/paladin/head_default.skin", "s"},
                  {"scripts/paladin.bot", "{\nname Sir\nmodel paladin\n}\n"}});
  int status = 0;
  const std::string out = test::run_program(
      {}, &status, "UNZIP='-d ..' UNZIPOPT=-j ZIP=-j ZIPOPT='-b /'");
  EXPECT_EQ(status, 0) << out;
  EXPECT_FALSE(fs::exists("../scripts"));
  EXPECT_FALSE(fs::exists("paladin.bot"));
  EXPECT_NE(test::read_file("kivo.cfg").find("\nSir "), std::string::npos)
      << out;
  EXPECT_EQ(test::shell("unzip -Z1 kivo.pk3 | head -1"), "scripts/\n");
}

}  // namespace
