// The names of a model folder's files. (Scans of whole folders are in the
// cases, tests/runs/archive-*; the bot files of archives as the game lists
// them in tests/roster.)
#include "archive/archive.h"

#include <gtest/gtest.h>

#include "support/support.h"

namespace {

// A model file is head*.md3 and a skin head_<skin>.skin, "head" in lower or
// upper case, the endings in any; the skin's name is lower-cased.
TEST(ContentScan, FileNamesInAModelFolder) {
  const char* const cases[][3] = {
      {"HEAD_1.Md3", "m", ""},       {"head_red.skin", "s", "red"},
      {"HEAD_Red.SKIN", "s", "red"}, {"head.skin", "s", ""},
      {"head_red.skn", "u", ""},     {"Head_red.skin", "u", ""}};
  for (const auto& [file, kind, skin] : cases) {
    name_field got;
    EXPECT_EQ(parse_player_name(file, got), kind[0]) << file;
    EXPECT_EQ(got.view(), skin) << file;
  }
}

}  // namespace
