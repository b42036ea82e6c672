// The archive phases with the real ls, zip and unzip, or played-back
// listings.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "archive/archive_helpers.h"

namespace {

namespace fs = std::filesystem;

TEST(ArchiveList, KeepsOnlyAddOnArchivesOfTheFolder) {
  KIVO_NEEDS_UNIX_SHELL();
  test::ScratchDir dir;
  // A name of 48 characters is kept whole; a longer one is skipped, and no
  // piece of it passes for a name (its tail "x.pk3" is no archive here).
  const std::string whole = std::string(44, 'a') + ".pk3";
  for (const std::string& name : std::vector<std::string>{
           "pak0.pk3", "pak7.pk3", "zbot.pk3", "kivo.pk3", "kivo-2.pk3",
           "pak10.pk3", "paka.pk3", "PAK0.pk3", "FOO.PK3", "kivo.cfg",
           std::string(47, 'n') + "x.pk3", whole})
    test::write_file(name, "");
  fs::create_directory("x.pk3");
  auto s = test::fresh_state();
  sy_get_pk3_list(s->pk3_list.data(), 48, kPk3Slots);
  std::set<std::string> names;
  for (int i = 0; !s->pk3_list[i].empty(); ++i)
    names.emplace(s->pk3_list[i].view());
  EXPECT_EQ(names, (std::set<std::string>{"PAK0.pk3", whole, "pak10.pk3",
                                          "paka.pk3"}));
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

TEST(ContentScan, KnightArchiveWithBotFiles) {
  KIVO_NEEDS_UNIX_SHELL();
  test::ScratchDir dir;
  test::write_file("scripts/own.bot", "{\r\nname Mine\r\n}\r\n");
  test::make_pk3("knight.v2.pk3",
                 {{"models/players/knight/head.md3", "m"},
                  {"models/players/knight/head_default.skin", ""},
                  {"models/players/knight/head_red.skin", ""},
                  {"scripts/a.bot", kDefinitions},
                  {"scripts/b.bot",
                   std::regex_replace(kDefinitions, std::regex("\n"), "\r\n")},
                  {"scripts/c.BOT", "{\nname Upper\n}\n"}});
  const auto before = test::folder();
  auto s = test::fresh_state();
  EXPECT_EQ(test::scan(*s, {"knight.v2.pk3"}), 1);
  EXPECT_EQ(test::added(*s),
            "model knight; KniDefaul ^5Kni^6Defaul knight default knight; "
            "KniRed ^5Kni^6Red knight red knight; " +
                std::string(kDefinitionRows) + kDefinitionRows);
  EXPECT_EQ(test::folder(), before);  // no tscripts, the player's bot as it was
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
      {"models/players/x/y/head_deep.skin", ""},
      {"botfiles/bots/Foo_c.c", "ai foo 9; "},
      {"botfiles/bots/Zed_c.cpp", "ai zed 9; "},
      {"botfiles/bots/foo_C.c", ""},
      {"botfiles/bots/Sarge_c.c", ""},    // the game's own: learned once
      {"botfiles/bots/Default_c.c", ""},  // the placeholder is no AI file
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
  // An AI file that two archives carry, or one archive twice, gets one row.
  test::Playback twice{"unzip -l",
                       "  9  2024-01-01 10:00   botfiles/bots/"
                       "foo_c.c\n  9  2024-01-01 10:00   "
                       "botfiles/bots/foo_c.c\n"};
  auto s = test::fresh_state();
  test::scan(*s, {"p.pk3", "q.pk3"});
  EXPECT_EQ(test::added(*s), "ai foo 9; ");
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

}  // namespace
