// The content scan over archives built with the real zip and listed with the
// real unzip, or over played-back listings.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "archive/archive_helpers.h"

namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

TEST(ContentScan, KnightArchiveGivesModelAndTwoPlayers) {
  test::ScratchDir dir;
  test::make_pk3("knight.v2.pk3",
                 {{"models/players/knight/head.md3", "m"},
                  {"models/players/knight/head_default.skin", ""},
                  {"models/players/knight/head_red.skin", ""}});
  auto s = test::fresh_state();
  testing::internal::CaptureStdout();
  EXPECT_EQ(test::scan(*s, {"knight.v2.pk3", "knight.v2.pk3"}), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "  reading pk3 file 'knight.v2.pk3'\n"
            "  reading pk3 file 'knight.v2.pk3'\n");
  // The model once, every skin found a player.
  EXPECT_THAT(test::rows(s->model_names, kBuiltinModels, s->model_count),
              ElementsAre("knight"));
  std::string def = "KniDefaul ^5Kni^6Defaul knight default knight";
  std::string red = "KniRed ^5Kni^6Red knight red knight";
  EXPECT_THAT(test::added_players(*s),
              UnorderedElementsAre(def, red, def, red));
  EXPECT_EQ(s->roster[kStockPlayers]->st, 'i');
  EXPECT_TRUE(s->roster[kStockPlayers]->aifile.empty());
}

TEST(ContentScan, PathRulesAndCase) {
  test::ScratchDir dir;
  test::make_pk3("case.pk3", {{"Models/Players/knight/head.md3", ""},
                              {"models/players/Knight2/HEAD.MD3", ""},
                              {"models/players/sarge/head.md3", ""},
                              {"models/players/knight/Head_red.skin", ""},
                              {"models/players/knight/head_Blue.SKIN", ""},
                              {"models/players/knight/head.skin", ""},
                              {"models/players/ab/head_red.skin", ""},
                              {"models/players/tankjr/head_gold.skin", ""},
                              {"models/players/x/y/head_deep.skin", ""},
                              {"botfiles/bots/Foo_c.c", ""},
                              {"botfiles/bots/foo_i.c", ""},
                              {"botfiles/bots/foo_c.txt", ""},
                              {"botfiles/bots/foo_C.c", ""},
                              {"botfiles/Bots/baz_c.c", ""},
                              {"botfiles/bots/Zed_c.cpp", ""}});
  auto s = test::fresh_state();
  test::scan(*s, {"case.pk3"});
  EXPECT_THAT(test::rows(s->model_names, kBuiltinModels, s->model_count),
              ElementsAre("knight2"));
  EXPECT_THAT(
      test::added_players(*s),
      UnorderedElementsAre("Ab ^5Ab ab red case", "Kni ^5Kni^6 knight  case",
                           "KniBlue ^5Kni^6Blue knight blue case",
                           "TkjGold ^5Tkj^6Gold tankjr gold case"));
  EXPECT_THAT(test::rows(s->aifile_names, kBuiltinAifiles, s->aifile_count),
              UnorderedElementsAre("foo", "zed"));
  EXPECT_EQ(s->aifile_tiers[kBuiltinAifiles], 9);
}

TEST(ParsePlayerName, ClassifiesFileNames) {
  const std::tuple<const char*, char, const char*> cases[] = {
      {"head.md3", 'm', ""},
      {"HEAD_1.Md3", 'm', ""},
      {"headmd3", 'm', ""},
      {"Head.md3", 'u', ""},
      {"hEAD_red.skin", 'u', ""},
      {"head_red.skin", 's', "red"},
      {"HEAD_Red.SKIN", 's', "red"},
      {"head.skin", 's', ""},
      {"head_x.skin", 's', "x"},
      {"headskin", 's', ""},
      {"head_red.skn", 'u', ""},
      {"upper_red.skin", 'u', ""},
      {"", 'u', ""},
  };
  for (auto [file, kind, skin] : cases) {
    name_field out;
    EXPECT_EQ(parse_player_name(file, out), kind) << file;
    EXPECT_EQ(out.view(), skin) << file;
  }
  name_field out;
  EXPECT_EQ(parse_player_name(nullptr, out), 'u');
}

TEST(ContentScan, ListingLinesPiecesAndColumns) {
  test::ScratchDir dir;
  test::Playback play{"unzip -l", ""};
  // A line of more than 254 characters is read in two pieces; the first
  // loses its last character, "Z", as if it were the newline.
  std::string head = "  12  2024-01-01 10:00   models/players/knight/head_";
  play.listing = head + std::string(254 - head.size() - 6, 'r') + ".skinZ" +
                 "  0  2024-01-01 10:00   models/players/ogre/head_x1.skin\n" +
                 "Archive:  p.pk3\n"
                 "models/players/hdr/head.md3\n"
                 "  9  2024-01-01 10:00   models//players///two/head.md3\n"
                 "  9  2024-01-01 10:00   models/players/ctl/head.md3^Hx\n"
                 "  9  2024-01-01 10:00   ^Gmodels/players/g/head.md3\n"
                 "  9  2024-01-01 10:00   models/players/sp/head_a b.skin\n"
                 "  9  2024-01-01\n\n";
  auto s = test::fresh_state();
  test::scan(*s, {"p.pk3"});
  EXPECT_THAT(test::added_players(*s),
              ElementsAre("KniRrrrrr ^5Kni^6Rrrrrr knight " +
                              std::string(48, 'r') + " p",
                          "OgrX1 ^5Ogr^6X1 ogre x1 p"));
  EXPECT_THAT(test::rows(s->model_names, kBuiltinModels, s->model_count),
              ElementsAre("hdr", "two", "ctl"));
}

TEST(ContentScan, FullTablesTakeNoMoreRows) {
  test::ScratchDir dir;
  test::Playback play{
      "unzip -l",
      "  9  2024-01-01 10:00   models/players/newone/head.md3\n"
      "  9  2024-01-01 10:00   models/players/newone/head_red.skin\n"
      "  9  2024-01-01 10:00   botfiles/bots/newai_c.c\n"};
  auto s = test::fresh_state();
  s->model_count = s->aifile_count = kTableRows;
  while (add_roster_player(*s) != nullptr) {
  }
  test::scan(*s, {"p.pk3"});
  EXPECT_EQ(s->model_count + s->aifile_count + s->roster_count, 3 * kTableRows);
  EXPECT_TRUE(s->model_names[kTableRows - 1].empty());
  EXPECT_TRUE(s->aifile_names[kTableRows - 1].empty());
}

TEST(ContentScan, MissingListFileStopsTheScan) {
  test::ScratchDir dir;
  test::CommandRecorder recorder;  // unzip never writes kivo.tmp
  auto s = test::fresh_state();
  testing::internal::CaptureStdout();
  EXPECT_EQ(test::scan(*s, {"a.pk3", "b.pk3"}), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "  reading pk3 file 'a.pk3'\n"
            "  error: cannot open 'kivo.tmp' for read\n");
  EXPECT_THAT(recorder.lines(),
              ElementsAre("unzip -l a.pk3 >kivo.tmp 2>/dev/null"));
}

TEST(ShellNames, ListedNamesReachTheToolsLiterally) {
  test::ScratchDir dir;
  const std::string def = "{\nname Inj\n}\n";
  test::make_pk3("x;touch pwned;.pk3",
                 {{"models/players/inj/head_red.skin", ""},
                  {"scripts/$(touch${IFS}pwned1).bot", def},
                  {"scripts/`touch${IFS}pwned2`.bot", def},
                  {"scripts/a'b;touch${IFS}pwned3;'.bot", def},
                  {"scripts/$(touch pwned4).bot", def}});  // cut at the blank
  test::make_pk3("`touch pwned5`.pk3", {{"scripts/q.bot", def}});
  test::make_pk3("my maps.pk3", {{"models/players/gob/head_red.skin", ""}});
  test::make_pk3("-r.pk3", {{"models/players/dash/head_blue.skin", ""}});
  auto s = test::fresh_state();
  sy_get_pk3_list(s->pk3_list.data(), 48, kPk3Slots);
  testing::internal::CaptureStderr();
  gd_get_models_players_aifiles(*s);
  testing::internal::GetCapturedStderr();
  for (const auto& e : std::filesystem::recursive_directory_iterator("."))
    EXPECT_FALSE(e.path().filename().string().starts_with("pwned"));
  EXPECT_THAT(test::added_players(*s),
              UnorderedElementsAre("InjRed ^5Inj^6Red inj red x;touch pwned;",
                                   "GobRed ^5Gob^6Red gob red my maps",
                                   "DasBlue ^5Das^6Blue dash blue -r"));
  EXPECT_EQ(s->xai_count, 4);
  char out[kCommandBytes];
  shell_argument("", "it's.pk3", "", out, sizeof out);
  EXPECT_STREQ(out, "'it'\\''s.pk3'");
}

}  // namespace
