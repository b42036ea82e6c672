// The bot files the content scan finds in real archives, and the names of a
// model folder's files. (Scans of whole folders are in the cases,
// tests/runs/archive-*.)
#include "archive/archive.h"

#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "support/fault_host.h"
#include "support/support.h"

namespace {

// The game lists scripts/*.bot of every archive, letter case aside, each
// name once; the scan keeps them with the bytes each takes in its list.
TEST(ContentScan, BotFilesAsTheGameListsThem) {
  test::ScratchDir dir;
  const std::string long60(60, 'l'), other60 = long60.substr(0, 59) + "m";
  test::make_pk3("p.pk3", {{"scripts/KniRed.bot", "9"},
                           {"scripts/my bot.bot  ", "9"},
                           {"scripts/sub/deep.bot", "9"},
                           {"scripts/", ""},
                           {"scripts/readme.txt", "9"},
                           {"models/scripts/x.bot", "9"},
                           {"scripts/" + long60 + ".bot", "9"}});
  test::make_pk3("q.pk3", {{"SCRIPTS/kniRED.BOT", "9"},
                           {"scripts/" + other60 + ".bot", "9"},
                           {"Scripts/Other.Bot", "9"},
                           {"scripts/.bot", "9"}});
  test::FaultHost host(test::Fault::kNone, 0);
  auto s = test::fresh_state();
  s->pk3_list[0].set("p.pk3");
  s->pk3_list[1].set("q.pk3");
  test::printed([&] { EXPECT_EQ(gd_get_models_players_aifiles(*s), 1); });
  std::vector<std::pair<std::string, int>> got;
  for (int i = 0; i < s->pk3_bot_count; ++i)
    got.emplace_back(s->pk3_bot_files[i].view(), s->pk3_bot_bytes[i]);
  // In each archive's order (zip keeps its members sorted here); names
  // longer than 48 characters are kept cut, each with its own count.
  EXPECT_EQ(got, (std::vector<std::pair<std::string, int>>{
                     {"KniRed.bot", 11},
                     {long60.substr(0, 48), 65},
                     {"my bot.bot", 11},
                     {"Other.Bot", 10},
                     {".bot", 5},
                     {long60.substr(0, 48), 65}}));
}

TEST(ContentScan, FileNamesInAModelFolder) {
  const struct {
    const char* file;
    char kind;  // 'm' a model, 's' a skin, 'u' neither
    const char* skin;
  } cases[] = {{"head.md3", 'm', ""},         {"HEAD_1.Md3", 'm', ""},
               {"Head.md3", 'u', ""},         {"head_red.skin", 's', "red"},
               {"HEAD_Red.SKIN", 's', "red"}, {"head.skin", 's', ""},
               {"hEAD_red.skin", 'u', ""},    {"head_red.skn", 'u', ""},
               {"upper_red.skin", 'u', ""}};
  for (const auto& c : cases) {
    name_field skin;
    EXPECT_EQ(parse_player_name(c.file, skin), c.kind) << c.file;
    EXPECT_EQ(skin.view(), c.skin) << c.file;
  }
}

}  // namespace
