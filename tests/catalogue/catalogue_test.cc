#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "support/support.h"

namespace {

struct StockPlayer {
  const char* name;
  const char* funname;
  const char* model;
  const char* skin;
};

// The 63 stock players in roster order.
constexpr StockPlayer kStock[] = {
    {"XaeRed", "^1Xae^4Red", "xaero", "red"},
    {"XaeBlue", "^1Xae^4Blue", "xaero", "blue"},
    {"OrbRed", "^1Orb^4Red", "orbb", "red"},
    {"OrbBlue", "^1Orb^4Blue", "orbb", "blue"},
    {"SlaRed", "^1Sla^4Red", "slash", "red"},
    {"SlaBlue", "^1Sla^4Blue", "slash", "blue"},
    {"SorRed", "^1Sor^4Red", "sorlag", "red"},
    {"SorBlue", "^1Sor^4Blue", "sorlag", "blue"},
    {"MajRed", "^1Maj^4Red", "major", "red"},
    {"MajBlue", "^1Maj^4Blue", "major", "blue"},
    {"UriRed", "^1Uri^4Red", "uriel", "red"},
    {"UriBlue", "^1Uri^4Blue", "uriel", "blue"},
    {"RanRed", "^1Ran^4Red", "ranger", "red"},
    {"RanBlue", "^1Ran^4Blue", "ranger", "blue"},
    {"KeeRed", "^1Kee^4Red", "keel", "red"},
    {"KeeBlue", "^1Kee^4Blue", "keel", "blue"},
    {"BitRed", "^1Bit^4Red", "bitterman", "red"},
    {"BitBlue", "^1Bit^4Blue", "bitterman", "blue"},
    {"VisRed", "^1Vis^4Red", "visor", "red"},
    {"VisBlue", "^1Vis^4Blue", "visor", "blue"},
    {"AnaRed", "^1Ana^4Red", "anarki", "red"},
    {"AnaBlue", "^1Ana^4Blue", "anarki", "blue"},
    {"TkjRed", "^1Tkj^4Red", "tankjr", "red"},
    {"TkjBlue", "^1Tkj^4Blue", "tankjr", "blue"},
    {"RazRed", "^1Raz^4Red", "razor", "red"},
    {"RazBlue", "^1Raz^4Blue", "razor", "blue"},
    {"BikRed", "^1Bik^4Red", "biker", "red"},
    {"BikBlue", "^1Bik^4Blue", "biker", "blue"},
    {"LucRed", "^1Luc^4Red", "lucy", "red"},
    {"LucBlue", "^1Luc^4Blue", "lucy", "blue"},
    {"KleRed", "^1Kle^4Red", "klesk", "red"},
    {"KleBlue", "^1Kle^4Blue", "klesk", "blue"},
    {"DooRed", "^1Doo^4Red", "doom", "red"},
    {"DooBlue", "^1Doo^4Blue", "doom", "blue"},
    {"MynRed", "^1Myn^4Red", "mynx", "red"},
    {"MynBlue", "^1Myn^4Blue", "mynx", "blue"},
    {"HunRed", "^1Hun^4Red", "hunter", "red"},
    {"HunBlue", "^1Hun^4Blue", "hunter", "blue"},
    {"SarRed", "^1Sar^4Red", "sarge", "red"},
    {"SarBlue", "^1Sar^4Blue", "sarge", "blue"},
    {"GruRed", "^1Gru^4Red", "grunt", "red"},
    {"GruBlue", "^1Gru^4Blue", "grunt", "blue"},
    {"BonRed", "^1Bon^4Red", "bones", "red"},
    {"BonBlue", "^1Bon^4Blue", "bones", "blue"},
    {"CraRed", "^1Cra^4Red", "crash", "red"},
    {"CraBlue", "^1Cra^4Blue", "crash", "blue"},
    {"BikStrogg", "^3Bik^1Strogg", "biker", "stroggo"},
    {"BikSlamme", "^3Bik^1Slamme", "biker", "slammer"},
    {"HunHarpy", "^3Hun^1Harpy", "hunter", "harpy"},
    {"VexDefaul", "^3Vex^1Defaul", "vexlor", "default"},
    {"BraDefaul", "^3Bra^1Defaul", "brantok", "default"},
    {"QuiDefaul", "^3Qui^1Defaul", "quillix", "default"},
    {"MorDefaul", "^3Mor^1Defaul", "morvane", "default"},
    {"ZepDefaul", "^3Zep^1Defaul", "zephrix", "default"},
    {"TalDefaul", "^3Tal^1Defaul", "talgrim", "default"},
    {"BonBones", "^3Bon^1Bones", "bones", "bones"},
    {"KleFlisk", "^3Kle^1Flisk", "klesk", "flisk"},
    {"RazId", "^3Raz^1Id", "razor", "id"},
    {"SarKrusad", "^3Sar^1Krusad", "sarge", "krusade"},
    {"SarRoderi", "^3Sar^1Roderi", "sarge", "roderic"},
    {"SlaGrrl", "^3Sla^1Grrl", "slash", "grrl"},
    {"SlaYuriko", "^3Sla^1Yuriko", "slash", "yuriko"},
    {"UriZael", "^3Uri^1Zael", "uriel", "zael"},
};

TEST(Catalogue, StockPlayersInRosterOrder) {
  auto s = test::fresh_state();
  ASSERT_EQ(s->roster_count, 63);
  for (int i = 0; i < 63; ++i) {
    const Player& p = *s->roster[i];
    EXPECT_EQ(p.name.view(), kStock[i].name) << "row " << i + 1;
    EXPECT_EQ(p.funname.view(), kStock[i].funname) << "row " << i + 1;
    EXPECT_EQ(p.model.view(), kStock[i].model) << "row " << i + 1;
    EXPECT_EQ(p.player.view(), kStock[i].skin) << "row " << i + 1;
    EXPECT_EQ(p.aifile.view(), "default");
    EXPECT_EQ(p.pk3file.view(), "pak0");
    EXPECT_EQ(p.set, 0);
    EXPECT_EQ(p.st, 'i');
  }
  EXPECT_EQ(s->roster[63], nullptr);
}

TEST(Catalogue, ModelsAndDesignerModels) {
  auto s = test::fresh_state();
  const char* stock[] = {"xaero",  "orbb",   "slash", "sorlag",    "major",
                         "uriel",  "ranger", "keel",  "bitterman", "visor",
                         "anarki", "tankjr", "razor", "biker",     "lucy",
                         "klesk",  "doom",   "mynx",  "hunter",    "sarge",
                         "grunt",  "bones",  "crash"};
  ASSERT_EQ(s->model_count, 29);
  std::set<std::string> seen;
  for (int i = 0; i < 29; ++i) {
    std::string model(s->model_names[i].view());
    if (i < 23) {
      EXPECT_EQ(model, stock[i]);
    }
    EXPECT_TRUE(seen.insert(model).second) << model;
  }
  for (int i = 23; i < 29; ++i) {
    std::string model(s->model_names[i].view());
    EXPECT_GE(model.size(), 3u);
    for (char c : model) EXPECT_TRUE(c >= 'a' && c <= 'z') << model;
    // Each designer model has one extra player with its default skin.
    EXPECT_EQ(s->roster[49 + i - 23]->model.view(), model);
  }
}

TEST(Catalogue, AiFilesAndTiers) {
  auto s = test::fresh_state();
  const std::pair<const char*, int> expected[] = {
      {"xaero", 6},     {"orbb", 1},    {"slash", 2},  {"sorlag", 5},
      {"daemia", 2},    {"uriel", 5},   {"wrack", 1},  {"keel", 5},
      {"bitterman", 2}, {"gorre", 3},   {"anarki", 6}, {"tankjr", 3},
      {"patriot", 4},   {"cadavre", 5}, {"angel", 4},  {"klesk", 3},
      {"phobos", 4},    {"mynx", 1},    {"visor", 4},  {"lucy", 4},
      {"hunter", 6},    {"razor", 3},   {"major", 5},  {"biker", 3},
      {"sarge", 1},     {"stripe", 4},  {"grunt", 2},  {"ranger", 3},
      {"doom", 5},      {"hossman", 2}, {"bones", 4},  {"crash", 0}};
  ASSERT_EQ(s->aifile_count, 32);
  for (int i = 0; i < 32; ++i) {
    EXPECT_EQ(s->aifile_names[i].view(), expected[i].first);
    EXPECT_EQ(s->aifile_tiers[i], expected[i].second) << expected[i].first;
  }
}

constexpr char kLongSkin[] =
    "ssssssssssssssssssssssssssssssssssssssssssssssssssssssssssss";

TEST(NamingRule, ArchivePlayersAndAbbreviations) {
  struct Case {
    const char* model;
    const char* skin;
    const char* name;
    const char* funname;
  };
  const Case cases[] = {
      {"sarge", "red", "SarRed", "^5Sar^6Red"},
      {"knight", "default", "KniDefaul", "^5Kni^6Defaul"},
      {"knight", "", "Kni", "^5Kni^6"},
      {"bender", "default", "BndDefaul", "^5Bnd^6Defaul"},
      {"raziel", "default", "RzlDefaul", "^5Rzl^6Defaul"},
      {"alien3", "default", "Al3Defaul", "^5Al3^6Defaul"},
      {"animech", "default", "AncDefaul", "^5Anc^6Defaul"},
      {"Tankjr", "red", "TanRed", "^5Tan^6Red"},  // other case: no abbreviation
      {"ab", "red", "Ab", "^5Ab"},                // short model: no skin
      {"a", "red", "A", "^5A"},
      {"tankjr", "1x", "Tkj1x", "^5Tkj^61x"},  // only letters change case
      {"xyz", kLongSkin, "XyzSsssss", "^5Xyz^6Ssssss"},
  };
  for (const auto& c : cases) {
    Player p;
    gd_name_player(p, c.model, c.skin, kArchiveColours);
    EXPECT_EQ(p.name.view(), c.name) << c.model << "/" << c.skin;
    EXPECT_EQ(p.funname.view(), c.funname) << c.model << "/" << c.skin;
    EXPECT_EQ(p.model.view(), c.model);
  }
}

}  // namespace
