// The archive phases with the real ls, zip and unzip, or played-back
// listings.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "archive/archive_helpers.h"

namespace {

namespace fs = std::filesystem;

// The archive list, sorted, each name followed by a blank.
std::string listed(State& s) {
  sy_get_pk3_list(s.pk3_list.data(), 48, kPk3Slots);
  std::vector<std::string> names;
  for (int i = 0; !s.pk3_list[i].empty(); ++i)
    names.emplace_back(s.pk3_list[i].view());
  std::sort(names.begin(), names.end());
  std::string out;
  for (const auto& name : names) out += name + " ";
  return out;
}

TEST(ArchiveList, KeepsOnlyAddOnArchivesOfTheFolder) {
  test::ScratchDir dir;
  // Names of more than 46 characters come in pieces; one of 46 is whole.
  const std::string whole = std::string(42, 'a') + ".pk3";
  for (const std::string& name : std::vector<std::string>{
           "pak0.pk3", "pak7.pk3", "zbot.pk3", "kivo.pk3", "kivo-2.pk3",
           "pak10.pk3", "paka.pk3", "PAK0.pk3", "FOO.PK3", "kivo.cfg",
           std::string(47, 'n') + "x.pk3", whole})
    test::write_file(name, "");
  fs::create_directory("x.pk3");
  auto s = test::fresh_state();
  EXPECT_EQ(listed(*s), "PAK0.pk3 " + whole + " pak10.pk3 paka.pk3 x.pk3 ");
}

constexpr char kDefinitions[] =
    "name Early\n"
    "{\n\tname\t\tDaemia/extra\n\tfunname\t^1Big "
    "Boss\n\tmodel\t\tMajor/Daemia\n"
    "\taifile\tbots/Daemia_c.c\n\tarenaLord\tbots/lord_c.c\n}\n"
    "{\nNAME\tSarge\nnames\tSarge2\nmodel\tsarge\naifile\t\"bots/"
    "sarge_c.c\"\n}\n"
    "{\nmodelX //other//skin/x\naif sarge_c.c\nfun\nname\n}\n}\n";
constexpr char kDefinitionRows[] =
    "bot Daemia|^1Big|daemia|major|daemia; bot Sarge2|||sarge|default; "
    "bot |||other|skin; bot ||||default; ";

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? "\r\n" : std::string(1, c);
  return out;
}

TEST(ContentScan, KnightArchiveWithBotFiles) {
  test::ScratchDir dir;
  test::write_file("scripts/own.bot", "{\r\nname Mine\r\n}\r\n");
  test::make_pk3("knight.v2.pk3",
                 {{"models/players/knight/head.md3", "m"},
                  {"models/players/knight/head_default.skin", ""},
                  {"models/players/knight/head_red.skin", ""},
                  {"scripts/a.bot", kDefinitions},
                  {"scripts/b.bot", crlf(kDefinitions)},
                  {"scripts/c.BOT", "{\nname Upper\n}\n"}});
  const auto before = test::folder();
  auto s = test::fresh_state();
  EXPECT_EQ(test::scan(*s, {"knight.v2.pk3"}), 1);
  EXPECT_EQ(test::added(*s),
            "model knight; KniDefaul ^5Kni^6Defaul knight default knight; "
            "KniRed ^5Kni^6Red knight red knight; " +
                std::string(kDefinitionRows) + kDefinitionRows);
  EXPECT_EQ(test::folder(), before);  // no tscripts, the player's bot as it was
  s->xai_count = kTableRows - 1;      // a full table takes no more
  gd_parse_aifile(*s, "knight.v2.pk3", "a.bot");
  EXPECT_EQ(s->xai_count, kTableRows);
}

TEST(ContentScan, FailedExtractionLeavesThePlayersFolder) {
  const std::string in_the_way_message =
      "error: 'tscripts' is in the way; the 'scripts' folder cannot be set "
      "aside, so this step is skipped\n";
  for (std::string in_the_way : {"", "tscripts/old.bot", "tscripts"}) {
    test::ScratchDir dir;
    test::write_file("scripts/own.bot", "mine");
    if (!in_the_way.empty()) test::write_file(in_the_way, "x");
    test::make_pk3("b.pk3", {{"scripts/b.bot", kDefinitions}});
    const auto before = test::folder();
    auto s = test::fresh_state();
    testing::internal::CaptureStderr();
    std::string out = test::printed([&] {
      gd_parse_aifile(*s, "b.pk3",
                      in_the_way.empty() ? "missing.bot" : "b.bot");
    });
    EXPECT_TRUE(
        (out + testing::internal::GetCapturedStderr())
            .ends_with(in_the_way.empty()
                           ? "err: cannot open 'scripts/missing.bot' for read\n"
                           : in_the_way_message));
    EXPECT_EQ(s->xai_count, 0);
    EXPECT_EQ(test::folder(), before) << in_the_way;
  }
}

// Member paths of a played-back listing and what each adds.
TEST(ContentScan, PathRules) {
  const std::string r197(197, 'r');
  const std::pair<std::string, std::string> cases[] = {
      {"models/players/Knight2/HEAD.MD3", "model knight2; "},
      {"models//players///two/head.md3", "model two; "},
      {"Models/Players/knight/head.md3", ""},
      {"models/players/sarge/head.md3", ""},  // known already
      {"models/players/knight/head_Blue.SKIN",
       "KniBlue ^5Kni^6Blue knight blue p; "},
      {"models/players/knight/head.skin", "Kni ^5Kni^6 knight  p; "},
      {"models/players/ab/head_red.skin", "Ab ^5Ab ab red p; "},
      {"models/players/tankjr/head_gold.skin",
       "TkjGold ^5Tkj^6Gold tankjr gold p; "},
      {"models/players/x/y/head_deep.skin", ""},
      {"botfiles/bots/Foo_c.c", "ai foo 9; "},
      {"botfiles/bots/Zed_c.cpp", "ai zed 9; "},
      {"botfiles/bots/foo_C.c", ""},
      {"botfiles/bots/foo_c.txt", ""},
      {"botfiles/Bots/baz_c.c", ""},
      // A line of more than 254 characters is read in two pieces; the first
      // loses its last character, "Z", as if it were the newline.
      {"models/players/knight/head_" + r197 +
           ".skinZ  0  2024-01-01 10:00   models/players/ogre/head_x1.skin",
       "KniRrrrrr ^5Kni^6Rrrrrr knight " + r197.substr(0, 48) +
           " p; OgrX1 ^5Ogr^6X1 ogre x1 p; "},
  };
  test::ScratchDir dir;
  for (const auto& [path, want] : cases) {
    test::Playback play{"unzip -l", "  9  2024-01-01 10:00   " + path + "\n"};
    auto s = test::fresh_state();
    test::scan(*s, {"p.pk3"});
    EXPECT_EQ(test::added(*s), want) << path;
  }
  // File names in a model folder: their class, and a skin file's skin.
  std::istringstream names(
      "head.md3:m HEAD_1.Md3:m Head.md3:u head_red.skin:sred "
      "HEAD_Red.SKIN:sred "
      "head.skin:s hEAD_red.skin:u head_red.skn:u upper_red.skin:u");
  for (std::string c; names >> c;) {
    name_field skin;
    char kind = parse_player_name(c.substr(0, c.find(':')).c_str(), skin);
    EXPECT_EQ(kind + std::string(skin.view()), c.substr(c.find(':') + 1));
  }
}

TEST(ContentScan, FullTablesTakeNoMoreRows) {
  test::ScratchDir dir;
  auto s = test::fresh_state();
  {
    // Other files take no slot; the last slot stays empty to end the list.
    test::Playback play{"ls -p", ""};
    for (int i = 0; i < 2000; ++i) play.listing += "shot.tga\n";
    for (int i = 1; i <= 1537; ++i)
      play.listing += "a" + std::to_string(10000 + i) + ".pk3\n";
    EXPECT_EQ(test::printed([&] { listed(*s); }),
              "warn: the archive list is full; 'a11536.pk3' and later "
              "archives are not read\n");
    EXPECT_EQ(s->pk3_list[1534].view(), "a11535.pk3");
    EXPECT_TRUE(s->pk3_list[1535].empty());
  }
  test::Playback play{
      "unzip -l",
      "  9  2024-01-01 10:00   models/players/newone/head.md3\n"
      "  9  2024-01-01 10:00   models/players/newone/head_red.skin\n"
      "  9  2024-01-01 10:00   botfiles/bots/newai_c.c\n"};
  s->model_count = s->aifile_count = kTableRows;
  while (add_roster_player(*s) != nullptr) {
  }
  test::scan(*s, {"p.pk3"});
  EXPECT_EQ(s->model_count + s->aifile_count + s->roster_count, 3 * kTableRows);
  EXPECT_TRUE(s->model_names[kTableRows - 1].empty());
}

TEST(ContentScan, ArchiveAndMemberNamesRunNothing) {
  test::ScratchDir dir;
  const std::string def = "{\nname Inj\n}\n";
  test::make_pk3("x;touch pwned;.pk3",
                 {{"models/players/inj/head_red.skin", ""},
                  {"scripts/$(touch${IFS}pwned1).bot", def},
                  {"scripts/`touch${IFS}pwned2`.bot", def},
                  {"scripts/a'b;touch${IFS}pwned3;'.bot", def}});
  test::make_pk3("my maps.pk3", {{"models/players/gob/head_red.skin", ""}});
  test::make_pk3("-r.pk3", {{"models/players/dash/head_blue.skin", ""}});
  auto s = test::fresh_state();
  listed(*s);
  gd_get_models_players_aifiles(*s);
  for (const auto& e : fs::recursive_directory_iterator("."))
    EXPECT_FALSE(e.path().filename().string().starts_with("pwned"));
  EXPECT_EQ(
      test::added(*s),
      "DasBlue ^5Das^6Blue dash blue -r; GobRed ^5Gob^6Red gob red my maps; "
      "InjRed ^5Inj^6Red inj red x;touch pwned;; bot Inj||||default; "
      "bot Inj||||default; bot Inj||||default; ");
}

TEST(ContentScan, ArchivesThatListNoMembersAreReported) {
  test::ScratchDir dir;
  test::write_file("junk.pk3", "not a zip at all");
  test::write_file("empty.pk3", "");
  auto s = test::fresh_state();
  testing::internal::CaptureStdout();
  test::scan(*s, {"junk.pk3", "empty.pk3"});
  {
    // A missing unzip leaves the list file empty.
    test::Playback play{"unzip -l", ""};
    test::scan(*s, {"knight.pk3"});
  }
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "  reading pk3 file 'junk.pk3'\n"
            "warn: archive 'junk.pk3' lists no members: it is empty or not a "
            "zip archive\n"
            "  reading pk3 file 'empty.pk3'\n"
            "warn: archive 'empty.pk3' lists no members: it is empty or not a "
            "zip archive\n"
            "  reading pk3 file 'knight.pk3'\n"
            "warn: archive 'knight.pk3' gave no listing; is the 'unzip' "
            "program installed?\n");
  EXPECT_EQ(s->roster_count, kStockPlayers);
}

}  // namespace
