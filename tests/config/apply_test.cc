#include <gtest/gtest.h>

#include <map>

#include "config/helpers.h"

namespace {

TEST(ConfigApply, RowsMatchByModelAndSkin) {
  struct Case {
    int ai_reset, ai_override;
    const char* rows;      // kept rows, read from a players block
    const char* expected;  // the roster's first player afterwards
  };
  const char* unchanged = "SarRed|^1Sar^4Red|visor|0|i|sarge|red|pak0";
  const Case cases[] = {
      {0, 0, "N F crash 2 A sarge red k\n", "N|F|crash|2|A|sarge|red|pak0"},
      {1, 0, "N F crash 2 A sarge red k\n", "N|F|visor|2|A|sarge|red|pak0"},
      {2, 0, "N F crash 2 A sarge red k\n", "N|F|visor|2|A|sarge|red|pak0"},
      {0, 0, "N F crash 2 A Sarge red k\n", unchanged},
      {0, 0, "N F crash 2 A sarge blue k\n", unchanged},
      {0, 0, "N F crash 2 A sarge red k\nM G doom 3 I sarge red k\n",
       "M|G|doom|3|I|sarge|red|pak0"},
      {0, 0, "N F crash 2 X sarge red k\n", unchanged},
      {1, 1, "N F crash 2 x sarge red k\n",
       "SarRed|^1Sar^4Red|crash|0|i|sarge|red|pak0"},
  };
  for (const Case& c : cases) {
    test::ScratchDir dir;
    auto s = test::fresh_state();
    s->roster_count = 0;
    cfgtest::add(*s, "SarRed ^1Sar^4Red visor 0 i sarge red pak0");
    cfgtest::add(*s, "Other ^1O visor 0 i sarge redder pak0");
    cfgtest::read_text(*s, cfgtest::players_block(c.rows));
    s->ai_reset = c.ai_reset;
    s->ai_override = c.ai_override;
    gd_apply_config(*s);
    EXPECT_EQ(cfgtest::fields(*s->roster[0]), c.expected) << c.rows;
    EXPECT_EQ(cfgtest::fields(*s->roster[1]),
              "Other|^1O|visor|0|i|sarge|redder|pak0");
  }
}

TEST(ConfigApply, TierRowsLastWinsUnknownIgnored) {
  test::ScratchDir dir;
  auto s = test::fresh_state();
  int count = s->aifile_count;
  cfgtest::read_text(*s, cfgtest::players_block("") +
                             "@ ai_tiers\naifile\nsarge 3\nSarge 8\nnobody 4\n"
                             "sarge 5\nxaero 12\n@ end\n");
  gd_apply_ai_cfg(*s);
  std::map<std::string, int> tier;
  for (int i = 0; i < s->aifile_count; ++i)
    tier[std::string(s->aifile_names[i].view())] = s->aifile_tiers[i];
  EXPECT_EQ(tier["sarge"], 5);
  EXPECT_EQ(tier["xaero"], 12);
  EXPECT_EQ(tier["crash"], 0);
  EXPECT_EQ(s->aifile_count, count);
}

}  // namespace
