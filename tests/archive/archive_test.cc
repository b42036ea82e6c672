// The content scan on listings no real archive gives, and the names of a
// model folder's files. (Scans of whole archives are in the recorded runs,
// tests/runs/archive-*.)
#include "archive/archive.h"

#include <gtest/gtest.h>

#include "catalogue/catalogue.h"
#include "support/fake_host.h"
#include "support/support.h"

namespace {

// The players the scan of `listing` added: "name model skin".
std::vector<std::string> players_of(const std::string& listing) {
  test::ScratchDir dir;
  test::write_fake_listing("p.pk3", listing);
  test::FakeHost host;
  auto s = test::fresh_state();
  s->pk3_list[0].set("p.pk3");
  test::printed([&] { EXPECT_EQ(gd_get_models_players_aifiles(*s), 1); });
  std::vector<std::string> out;
  for (int i = kStockPlayers; i < s->roster_count; ++i)
    out.push_back(std::string(s->roster[i]->name.view()) + " " +
                  s->roster[i]->model.c_str() + " " +
                  s->roster[i]->player.c_str());
  return out;
}

TEST(ContentScan, ListingLinesNoArchiveHolds) {
  const std::string row = "9  2024-01-01 10:00   ";
  // Runs of '/' count as one.
  EXPECT_EQ(players_of(row + "models//players///two/head.md3\n" + row +
                       "models/players/two//head_x.skin\n"),
            (std::vector<std::string>{"TwoX two x"}));
  // A line of more than 254 characters is read in two pieces; the first
  // loses its last character, "Z", as if it were the newline, and the skin
  // name is cut to 48 characters.
  const std::string r199(199, 'r');
  EXPECT_EQ(players_of(row + "models/players/knight/head_" + r199 +
                       ".skinZ 0 2024-01-01 10:00   "
                       "models/players/ogre/head_x1.skin\n"),
            (std::vector<std::string>{"KniRrrrrr knight " + r199.substr(0, 48),
                                      "OgrX1 ogre x1"}));
}

// The game lists scripts/*.bot of every archive, letter case aside, each
// name once; the scan keeps them with the bytes each takes in its list.
TEST(ContentScan, BotFilesAsTheGameListsThem) {
  test::ScratchDir dir;
  const std::string row = "9  2024-01-01 10:00   ";
  const std::string long60(60, 'l'), other60 = long60.substr(0, 59) + "m";
  test::write_fake_listing(
      "p.pk3", row + "scripts/KniRed.bot\n" + row + "scripts/my bot.bot  \n" +
                   row + "scripts/sub/deep.bot\n" + row + "scripts/\n" + row +
                   "scripts/readme.txt\n" + row + "models/scripts/x.bot\n" +
                   row + "scripts/" + long60 + ".bot\n" +
                   "scripts/unsized.bot\n");
  test::write_fake_listing("q.pk3", row + "SCRIPTS/kniRED.BOT\n" + row +
                                        "scripts/" + other60 + ".bot\n" + row +
                                        "Scripts/Other.Bot\n" + row +
                                        "scripts/.bot\n");
  test::FakeHost host;
  auto s = test::fresh_state();
  s->pk3_list[0].set("p.pk3");
  s->pk3_list[1].set("q.pk3");
  test::printed([&] { EXPECT_EQ(gd_get_models_players_aifiles(*s), 1); });
  std::vector<std::pair<std::string, int>> got;
  for (int i = 0; i < s->pk3_bot_count; ++i)
    got.emplace_back(s->pk3_bot_files[i].view(), s->pk3_bot_bytes[i]);
  // Names longer than 48 characters are kept cut, each with its own count.
  EXPECT_EQ(
      got, (std::vector<std::pair<std::string, int>>{{"KniRed.bot", 11},
                                                     {"my bot.bot", 11},
                                                     {long60.substr(0, 48), 65},
                                                     {long60.substr(0, 48), 65},
                                                     {"Other.Bot", 10},
                                                     {".bot", 5}}));
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
