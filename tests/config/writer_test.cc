#include <gtest/gtest.h>

#include "config/helpers.h"

namespace {

using cfgtest::add;
using cfgtest::written;

TEST(ConfigWriter, SmallRosterMatchesReviewedText) {
  auto s = test::fresh_state();
  s->roster_count = 0;
  add(*s, "zed ^1z^2ed default 0 a sarge default pak0");
  add(*s,
      "Abe ^5Abe^6Long_funname_x bitterman_long 9 i abelongmodelname skin "
      "addon-with-a-very-long-name");
  add(*s, "Zoe default visor 3 X zoe red zoe");
  add(*s, "Abe ^1A crash 0 A abe blue abe");
  add(*s, "abe default default 0 I abe green abe");
  add(*s, "NameThatIsLong ^3N xaero 1 a xaero default pak0");
  s->aifile_count = 0;
  const std::pair<const char*, int> tiers[] = {
      {"crash", 0},    {"hunter", 6},
      {"mymod_ai", 9}, {"sarge", 0},
      {"oddball", 12}, {"b", 9},
      {"xaero", 6},    {"verylongaifilename", 3},
      {"neg", -1}};
  for (auto [name, tier] : tiers) {
    s->aifile_tiers[s->aifile_count] = tier;
    append_name(s->aifile_names, s->aifile_count, name);
  }
  s->tier_hi = 7, s->tier_lo = 2, s->use_blue = 1, s->use_defa = 0;
  s->use_pak0 = 0, s->use_red = 1, s->ai_reset = 0, s->ai_override = 1;
  std::string expected = test::read_file(
      std::string(KIVO_SOURCE_DIR) + "/tests/config/golden_small_roster.cfg");
  ASSERT_FALSE(expected.empty());
  EXPECT_EQ(written(*s), expected);
  EXPECT_EQ(written(*s), expected);  // the marks are cleared by every write
}

// Without rows to open a block, the opening lines still go out, and the
// next run finds both blocks.
TEST(ConfigWriter, EmptyGroupsStillWriteBlockOpenings) {
  auto s = test::fresh_state();
  s->roster_count = 0;
  s->aifile_count = 0;
  s->aifile_tiers[0] = 9;
  append_name(s->aifile_names, s->aifile_count, "mine");
  std::string text = written(*s);
  EXPECT_NE(text.find("total_players active_players\n0             0"),
            std::string::npos);
  EXPECT_NE(text.find("aifile       tier\n\n\nmine         9 \n\n@ end\n\n"),
            std::string::npos);
  test::ScratchDir dir;
  auto next = test::fresh_state();
  EXPECT_EQ(cfgtest::read_text(*next, text),
            "  found 0 player configs in file 'kivo.cfg'\n"
            "  found 1 ai bot names in file 'kivo.cfg'\n");
}

}  // namespace
