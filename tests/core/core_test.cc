// The random generator and the name field. (What the options do is in the
// recorded runs, tests/runs/options-*.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "support/fault_host.h"
#include "support/support.h"

namespace {

TEST(Core, RandomSequenceOfTheGenerator) {
  State s;
  rng_seed(s, 1);
  for (int want : {41, 18467, 6334, 26500, 19169, 15724})
    EXPECT_EQ(rng_draw(s), want);
  rng_seed(s, 0xFFFFFFFFu);  // the state wraps modulo 2^32
  EXPECT_EQ(rng_draw(s), 35);
}

TEST(Core, NameFieldKeeps48Characters) {
  name_field f;
  EXPECT_EQ(f.set(std::string(48, 'b')), 1);
  EXPECT_EQ(f.set(std::string(49, 'c')), 0);
  EXPECT_EQ(f.view(), std::string(48, 'c'));
  f.set("short");
  EXPECT_EQ(f.view(), "short");  // nothing of the longer text stays
}

// A file that must be new is never opened when anything is there: a
// player's own file named like a bot, or a link (msvcrt's "wx" is not
// exclusive, so this is the host's own).
TEST(Host, CreateNeverOpensWhatIsThere) {
  test::ScratchDir dir;
  test::write_file("KniRed.bot", "the player's own\r\n");
  errno = 0;
  EXPECT_EQ(real_host().create("KniRed.bot"), nullptr);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(test::read_file("KniRed.bot"), "the player's own\r\n");
}

// The names of a folder's entries, whatever they are; the entries are not
// looked into, so a link to nowhere is named like any file.
TEST(Host, ListFolderNamesEveryEntry) {
  test::ScratchDir dir;
  test::write_file("scripts/Mine.BOT", "{\n}\n");
  test::write_file("scripts/sub/deep.bot", "");
  test::write_file("plain.txt", "");
  std::vector<std::string> names = {"left over"};
  std::vector<std::string> want = {"Mine.BOT", "sub"};
  if (!test::kIsWindowsHost) {
    std::filesystem::create_symlink("nowhere", "scripts/dead.bot");
    want.insert(want.begin() + 1, "dead.bot");
  }
  EXPECT_EQ(real_host().list_folder("scripts", names), 0);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, want);
  EXPECT_EQ(real_host().list_folder("none", names), ENOENT);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(real_host().list_folder("plain.txt", names), ENOTDIR);
}

}  // namespace
