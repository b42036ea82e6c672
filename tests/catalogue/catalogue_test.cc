// The built-in catalogue and the naming rule for players of archives.
#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include <set>

#include "support/support.h"

namespace {

// The stock players are consistent with the tables they come with: unique
// names, known models, stock start values; every tier is one of 0 to 9.
TEST(Catalogue, StockPlayersUseTheBuiltInTables) {
  auto s = test::fresh_state();
  ASSERT_EQ(s->roster_count, kStockPlayers);
  std::set<std::string> names, models;
  for (int i = 0; i < s->model_count; ++i)
    models.emplace(s->model_names[i].view());
  for (int i = 0; i < kStockPlayers; ++i) {
    const Player& p = *s->roster[i];
    names.emplace(p.name.view());
    EXPECT_TRUE(models.count(std::string(p.model.view()))) << p.name.view();
    EXPECT_EQ(p.aifile.view(), "default") << p.name.view();
    EXPECT_EQ(p.pk3file.view(), "pak0") << p.name.view();
    EXPECT_EQ(p.set, 0) << p.name.view();
    EXPECT_EQ(p.st, 'i') << p.name.view();
  }
  EXPECT_EQ(names.size(), static_cast<std::size_t>(kStockPlayers));
  bool known_default = false;
  for (int i = 0; i < s->aifile_count; ++i) {
    EXPECT_GE(s->aifile_tiers[i], 0) << s->aifile_names[i].view();
    EXPECT_LE(s->aifile_tiers[i], 9) << s->aifile_names[i].view();
    known_default = known_default || s->aifile_names[i] == s->default_aifile;
  }
  EXPECT_TRUE(known_default) << s->default_aifile.view();
}

TEST(Catalogue, NamingRuleForArchivePlayers) {
  const struct {
    const char *model, *skin, *name, *funname;
  } cases[] = {
      {"sarge", "red", "SarRed", "^5Sar^6Red"},
      {"knight", "default", "KniDefaul", "^5Kni^6Defaul"},
      {"knight", "", "Kni", "^5Kni^6"},
      {"bender", "default", "BndDefaul", "^5Bnd^6Defaul"},
      {"alien3", "x", "Al3X", "^5Al3^6X"},
      {"Tankjr", "red", "TanRed", "^5Tan^6Red"},  // other case: no abbreviation
      {"tankjr", "1x", "Tkj1x", "^5Tkj^61x"},
      {"ab", "red", "Ab", "^5Ab"},  // a short model takes no skin
      {"xyz", "ssssssssss", "XyzSsssss", "^5Xyz^6Ssssss"},
  };
  for (const auto& c : cases) {
    Player p;
    gd_name_player(p, c.model, c.skin, kArchiveColours);
    EXPECT_EQ(p.name.view(), c.name) << c.model << "/" << c.skin;
    EXPECT_EQ(p.funname.view(), c.funname) << c.model << "/" << c.skin;
  }
}

}  // namespace
