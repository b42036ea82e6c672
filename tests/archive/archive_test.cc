// The archive phases: the archive list, the content scan and the bot file
// reader, on listings the fake host plays.
#include "archive/archive.h"

#include <gtest/gtest.h>

#include <set>

#include "catalogue/catalogue.h"
#include "support/fake_host.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;
using Rows = std::vector<std::string>;

// What the scan added to the catalogue: models, players ("name funname
// model skin pk3file"), AI files with their tier, and bot definitions
// ("name|funname|aifile|model|skin").
Rows added(const State& s) {
  Rows out;
  for (int i = kBuiltinModels; i < s.model_count; ++i)
    out.push_back("model " + std::string(s.model_names[i].view()));
  for (int i = kStockPlayers; i < s.roster_count; ++i) {
    const Player& p = *s.roster[i];
    out.push_back(std::string(p.name.view()) + " " + p.funname.c_str() + " " +
                  p.model.c_str() + " " + p.player.c_str() + " " +
                  p.pk3file.c_str());
  }
  for (int i = kBuiltinAifiles; i < s.aifile_count; ++i)
    out.push_back("ai " + std::string(s.aifile_names[i].view()) + " " +
                  std::to_string(s.aifile_tiers[i]));
  for (int i = 0; i < s.xai_count; ++i)
    out.push_back("bot " + std::string(s.xai_name[i].view()) + "|" +
                  s.xai_funname[i].c_str() + "|" + s.xai_aifile[i].c_str() +
                  "|" + s.xai_model[i].c_str() + "|" + s.xai_player[i].c_str());
  return out;
}

// Lists the folder and scans what it lists, on the fake host.
Rows scan_folder(int want = 1) {
  test::FakeHost host;
  auto s = test::fresh_state();
  test::printed([&] {
    sy_get_pk3_list(s->pk3_list.data(), static_cast<int>(kNameChars),
                    kPk3Slots);
    EXPECT_EQ(gd_get_models_players_aifiles(*s), want);
  });
  return added(*s);
}

TEST(ArchiveList, KeepsOnlyAddOnArchivesOfTheFolder) {
  test::ScratchDir dir;
  // A name of 48 characters is kept whole; a longer one is skipped, and no
  // piece of it passes for a name (its tail "x.pk3" is no archive here).
  const std::string whole = std::string(44, 'a') + ".pk3";
  for (const std::string& name :
       Rows{"pak0.pk3", "pak7.pk3", "zbot.pk3", "kivo.pk3", "kivo-2.pk3",
            "pak10.pk3", "paka.pk3", "PAK0.pk3", "FOO.PK3", "kivo.cfg",
            std::string(47, 'n') + "x.pk3", whole})
    test::write_file(name, "");
  fs::create_directory("x.pk3");
  test::FakeHost host;
  auto s = test::fresh_state();
  test::printed([&] {
    sy_get_pk3_list(s->pk3_list.data(), static_cast<int>(kNameChars),
                    kPk3Slots);
  });
  std::set<std::string> names;
  for (int i = 0; !s->pk3_list[i].empty(); ++i)
    names.emplace(s->pk3_list[i].view());
  EXPECT_EQ(names, (std::set<std::string>{"PAK0.pk3", whole, "pak10.pk3",
                                          "paka.pk3"}));
}

// Bot files of an archive, with LF and with CR LF line ends; the player's
// own scripts folder is lent and given back as it was.
TEST(ContentScan, ModelsSkinsAndBotFilesOfAnArchive) {
  test::ScratchDir dir;
  const std::string defs =
      "name Early\n"
      "{\n\tname\t\tDaemia/extra\n\tfunname\t^1Big Boss\n"
      "\tmodel\t\tMajor/Daemia\n\taifile\tbots/Daemia_c.c\n"
      "\tarenaLord\tbots/lord_c.c\n}\n"
      "{\nNAME\tSarge\nnames\tSarge2\nmodel\tsarge\n"
      "aifile\t\"bots/sarge_c.c\"\n}\n"
      "{\nmodelX //other//skin/x\naif sarge_c.c\nfun\nname\n}\n}\n";
  std::string crlf;
  for (char c : defs) crlf += c == '\n' ? "\r\n" : std::string(1, c);
  test::write_fake_pk3("knight.v2.pk3",
                       {{"models/players/knight/head.md3", "m"},
                        {"models/players/knight/head_default.skin", ""},
                        {"models/players/knight/head_red.skin", ""},
                        {"scripts/a.bot", defs},
                        {"scripts/b.bot", crlf},
                        {"scripts/c.BOT", "{\nname Upper\n}\n"}});
  test::write_file("scripts/own.bot", "{\r\nname Mine\r\n}\r\n");
  const test::Tree before = test::folder();
  const Rows bots = {"bot Daemia|^1Big|daemia|major|daemia",
                     "bot Sarge2|||sarge|default", "bot |||other|skin",
                     "bot ||||default"};
  Rows want = {"model knight", "KniDefaul ^5Kni^6Defaul knight default knight",
               "KniRed ^5Kni^6Red knight red knight"};
  want.insert(want.end(), bots.begin(), bots.end());
  want.insert(want.end(), bots.begin(), bots.end());
  EXPECT_EQ(scan_folder(), want);
  EXPECT_EQ(test::folder(), before);
}

TEST(ContentScan, PathRules) {
  // A line of more than 254 characters is read in two pieces; the first
  // loses its last character, "Z", as if it were the newline.
  const std::string r199(199, 'r');
  const struct {
    std::string path;
    Rows adds;
  } cases[] = {
      {"models/players/Knight2/HEAD.MD3", {"model knight2"}},
      {"models//players///two/head.md3", {"model two"}},
      {"Models/Players/knight/head.md3", {}},
      {"models/players/sarge/head.md3", {}},  // known already
      {"models/players/knight/head_Blue.SKIN",
       {"KniBlue ^5Kni^6Blue knight blue p"}},
      {"models/players/knight/head.skin", {"Kni ^5Kni^6 knight  p"}},
      {"models/players/x/y/head_deep.skin", {}},
      {"botfiles/bots/Foo_c.c", {"ai foo 9"}},
      {"botfiles/bots/Zed_c.cpp", {"ai zed 9"}},
      {"botfiles/bots/foo_C.c", {}},
      {"botfiles/bots/Sarge_c.c", {}},    // the game's own: learned once
      {"botfiles/bots/Default_c.c", {}},  // the placeholder is no AI file
      {"botfiles/bots/foo_c.txt", {}},
      {"botfiles/Bots/baz_c.c", {}},
      {"models/players/knight/head_" + r199 +
           ".skinZ 0 2024-01-01 10:00   models/players/ogre/head_x1.skin",
       {"KniRrrrrr ^5Kni^6Rrrrrr knight " + r199.substr(0, 48) + " p",
        "OgrX1 ^5Ogr^6X1 ogre x1 p"}},
  };
  for (const auto& c : cases) {
    test::ScratchDir dir;
    test::write_fake_listing("p.pk3", "9  2024-01-01 10:00   " + c.path + "\n");
    EXPECT_EQ(scan_folder(), c.adds) << c.path;
  }
  // An AI file that two archives carry, or one archive twice, gets one row.
  test::ScratchDir dir;
  const std::string foo = "9  2024-01-01 10:00   botfiles/bots/foo_c.c\n";
  test::write_fake_listing("p.pk3", foo + foo);
  test::write_fake_pk3("q.pk3", {{"botfiles/bots/foo_c.c", ""}});
  EXPECT_EQ(scan_folder(), Rows{"ai foo 9"});
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
