// The built program as a player starts it, with the host's real shell and
// tools: the help, the guide's first run, and the tools beside it on
// Windows. (Names a shell or the tools would read: tests/runs/names-for-*.)
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

}  // namespace
