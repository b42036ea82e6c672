// The built program as a player starts it, with the host's real shell and
// tools: the help, the guide's first run, names a shell or the tools would
// read, and the tools beside it on Windows.
#include <gtest/gtest.h>

#include "support/support.h"

namespace {

namespace fs = std::filesystem;

// The help prints both texts and touches no file. Then the guide's
// transcript of a first run, from "$ kivorama" to its last line, is what
// the program prints, started by its name, in the folder the guide
// describes (the sample game folder).
TEST(Program, TheHelpAndTheGuidesFirstRun) {
  test::ScratchDir dir;
  int status = -1;
  // The help goes to a text-mode stream: the host's line ends.
  EXPECT_EQ(test::run_program({"-s", "2", "+h", "+r", "3"}, &status),
            test::host_line_ends(test::read_file(
                KIVO_SOURCE_DIR "/tests/core/help_expected.txt")));
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(fs::is_empty(dir.path));

  if (test::kIsWindowsHost) return;  // the guide's transcript is sh's
  test::make_folder(KIVO_SOURCE_DIR "/sample/baseq3");
  const std::string said =
      test::shell("LC_ALL=C PATH=\"$(dirname '" KIVORAMA_EXE
                  "')\":$PATH kivorama 2>&1 | sed 's/ *$//'");
  // The guide's lines from "$ kivorama" to "for help, ...", unindented.
  EXPECT_EQ(
      "$ kivorama\n" + said,
      test::shell("sed -n '/^    [$] kivorama$/,/^    for help/{s/^    //;p;}' "
                  "'" KIVO_SOURCE_DIR "/kivorama_doc.txt'"));
}

#ifdef _WIN32
// A Windows player starts the program by its full path from the game folder
// (here, not the program's folder) and keeps the tools beside it only: a
// stand-in zip there must make the kivo.pk3 that the run looks for.
TEST(Program, FindsToolsBesideItself) {
  test::ScratchDir dir;
  test::write_file("bin/zip.bat", "@echo PK>kivo.pk3\r\n");
  fs::copy_file(KIVORAMA_EXE, "bin/kivorama.exe");
  const std::string out =
      test::shell("\"" + (dir.path / "bin/kivorama.exe").string() + "\" 2>&1");
  EXPECT_SAYS(out, "wrote 'kivo.pk3'");
}
#endif

// Archive, member and bot names that a shell would read as commands,
// patterns or options reach the real tools as names, or are refused:
// nothing runs, nothing lands outside the folder, and chmod leaves a link
// in scripts alone.
TEST(Program, WhatTheShellAndToolsWouldReadIsOnlyNames) {
  if (test::kIsWindowsHost) GTEST_SKIP() << "the names are sh's";
  test::ScratchDir dir;
  test::shell(
      "echo mine >secret; chmod 400 secret; "
      "mkdir -p game/scripts; ln -s ../../secret game/scripts/link");
  fs::current_path("game");
  const test::Members knight = {
      {"models/players/knight/head.md3", "m"},
      {"models/players/knight/head_red.skin", "s"},
      {"scripts/k.bot", "{\nname $(touch${IFS}pwned)\nmodel knight/red\n}\n"}};
  // Archives, each with a bot of its own.
  const std::string names[] = {
      "a b",           "it's",  "semi;touch pwned;", "$(touch pwned)", "-rf",
      "`touch pwned`", "\"dq\""};
  for (const std::string& name : names) test::make_pk3(name + ".pk3", knight);
  test::make_pk3("new\nline.pk3", knight);
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
  // Nothing landed outside the folder and no command ran; the link and its
  // target are as they were; kivo.pk3 holds its folders, not junked paths.
  EXPECT_EQ(test::shell("ls -A ..; stat -c %a ../secret; ls -d pwned k.bot "
                        "2>/dev/null; find scripts -type l; "
                        "unzip -Z1 kivo.pk3 | head -1"),
            "game\nsecret\n400\nscripts/link\nscripts/\n");
  const std::string cfg = test::read_file("kivo.cfg");
  for (const std::string& name : names)  // each archive's bot, by its name
    EXPECT_SAYS(cfg, " knight    red          " + name) << name;
  EXPECT_SAYS(out, "warn: bot file '*.bot' skipped");
  EXPECT_SAYS(cfg, "\nX;tRed ");
}

}  // namespace
