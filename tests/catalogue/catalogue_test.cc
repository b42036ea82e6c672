// The naming rule for players of archives.
#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include "support/support.h"

namespace {

// Three letters of the model, then the skin, 9 characters in all, each part
// capitalised; the fun name colours both parts and keeps 13 characters. Some
// models have letters of their own, matched in their letter case; a model of
// fewer than three letters takes no skin.
TEST(Catalogue, NamingRuleForArchivePlayers) {
  const char* const cases[][3] = {
      {"sarge", "red", "SarRed ^5Sar^6Red"},
      {"knight", "default", "KniDefaul ^5Kni^6Defaul"},
      {"knight", "", "Kni ^5Kni^6"},
      {"bender", "default", "BndDefaul ^5Bnd^6Defaul"},
      {"Tankjr", "red", "TanRed ^5Tan^6Red"},
      {"tankjr", "1x", "Tkj1x ^5Tkj^61x"},
      {"ab", "red", "Ab ^5Ab"}};
  for (const auto& [model, skin, names] : cases) {
    Player p;
    gd_name_player(p, model, skin, kArchiveColours);
    EXPECT_EQ(std::string(p.name.view()) + " " + p.funname.c_str(), names);
  }
}

}  // namespace
