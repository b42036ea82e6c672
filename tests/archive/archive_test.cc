// The bot files the content scan finds in real archives, and the names of a
// model folder's files. (Scans of whole folders are in the cases,
// tests/runs/archive-*.)
#include "archive/archive.h"

#include <gtest/gtest.h>

#include "support/support.h"

namespace {

// The game lists scripts/*.bot of every archive, not of folders within,
// letter case aside, each name once; the scan keeps them with the bytes each
// takes in its list, in each archive's order (zip keeps its members sorted
// here). Names longer than 48 characters are kept cut, each with its own
// count: they are other names.
TEST(ContentScan, BotFilesAsTheGameListsThem) {
  test::ScratchDir dir;
  const std::string l60(60, 'l'), l48(48, 'l');
  test::Members p = {{"scripts/", ""}, {"scripts/" + l60 + ".bot", "9"}},
                q = {{"scripts/" + l60.substr(1) + "m.bot", "9"}};
  for (const char* member :
       {"scripts/KniRed.bot", "scripts/my bot.bot  ", "scripts/sub/deep.bot",
        "scripts/readme.txt", "models/scripts/x.bot"})
    p[member] = "9";
  for (const char* member :
       {"SCRIPTS/kniRED.BOT", "Scripts/Other.Bot", "scripts/.bot"})
    q[member] = "9";
  test::make_pk3("p.pk3", p), test::make_pk3("q.pk3", q);
  auto s = test::fresh_state();
  s->pk3_list[0].set("p.pk3"), s->pk3_list[1].set("q.pk3");
  test::printed([&] { EXPECT_EQ(gd_get_models_players_aifiles(*s), 1); });
  std::string got;
  for (int i = 0; i < s->pk3_bot_count; ++i)
    got += std::string(s->pk3_bot_files[i].view()) + " " +
           std::to_string(s->pk3_bot_bytes[i]) + ", ";
  EXPECT_EQ(got, "KniRed.bot 11, " + l48 +
                     " 65, my bot.bot 11, Other.Bot 10, .bot 5, " + l48 +
                     " 65, ");
}

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
