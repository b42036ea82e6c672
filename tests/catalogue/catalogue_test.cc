// The naming rule for players of archives.
#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include "support/support.h"

namespace {

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
