// The random generator, and the host's file operations that runs rely on.
// (What the options do is in the cases, tests/runs/options-*.)
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <set>

#include "support/support.h"

namespace {

// The draws of the classic C library generator, the same on every host, so
// that a seed gives the same AI files everywhere.
TEST(Core, RandomSequenceOfTheGenerator) {
  auto s = test::fresh_state(1);
  for (int want : {41, 18467, 6334, 26500, 19169, 15724})
    EXPECT_EQ(rng_draw(*s), want);
}

// A file that must be new is never opened when anything is there, such as a
// player's own file named like a bot (msvcrt's "wx" is not exclusive, so
// this is the host's own). A folder's entries are named whatever they are,
// without looking into them, so a link to nowhere is named like any file; a
// folder that is not there, or is a file, is told apart; and a folder is
// never copied as though it were a file.
TEST(Host, CreateNeverOpensWhatIsThereAndListsEveryEntry) {
  test::ScratchDir dir;
  test::write_file("scripts/KniRed.bot", "the player's own\r\n");
  std::set<std::string> want = {"KniRed.bot"};
  if (!test::kIsWindowsHost) {
    std::filesystem::create_symlink("nowhere", "scripts/dead.bot");
    want.insert("dead.bot");
  }
  std::FILE* f = nullptr;
  EXPECT_EQ(test::real_host().create("scripts/KniRed.bot", f), EEXIST);
  EXPECT_EQ(f, nullptr);
  EXPECT_EQ(test::read_file("scripts/KniRed.bot"), "the player's own\r\n");
  std::vector<std::string> names;
  EXPECT_EQ(test::real_host().list_folder("scripts", names), 0);
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), want);
  EXPECT_EQ(test::real_host().list_folder("none", names), ENOENT);
  EXPECT_EQ(test::real_host().list_folder("scripts/KniRed.bot", names),
            ENOTDIR);
  EXPECT_NE(test::real_host().copy_file("scripts", "copy"), 0);
}

}  // namespace
