#include <gtest/gtest.h>

#include <string>

#include "roster/roster_rows.h"

namespace {

std::string assign(State& s, int lo, int hi) {
  s.tier_lo = lo;
  s.tier_hi = hi;
  testing::internal::CaptureStdout();
  gd_supplimental_ai_mapping(s);
  return testing::internal::GetCapturedStdout();
}

// Seed 1 gives the draws 41, 18467, 6334, 26500, 19169. Tiers 1 to 7, span 7:
//   row 0: 41 % 7 = 6, tier 7 holds nothing: visor, no second draw;
//   row 1: "crash" is valid (tier 0, outside the range) and draws nothing;
//   row 2: 18467 % 7 = 1, tier 2 (slash daemia bitterman grunt hossman):
//          6334 % 5 = 4, hossman;
//   row 3: 26500 % 7 = 5, tier 6 (xaero anarki hunter): 19169 % 3 = 2, hunter.
TEST(Tiers, FixedSeedDrawsTierThenFile) {
  auto s = test::empty_roster(1);
  test::add_rows(*s, {});
  test::add_rows(*s, {.aifile = "crash"});
  test::add_rows(*s, {.set = 9, .st = 'u'});
  test::add_rows(*s, {.set = 5, .st = 'I'});
  EXPECT_EQ(assign(*s, 1, 7),
            "warn: no aifiles found for selected tier, 7\n"
            "       defaulting to 'visor'\n");
  const char* expected[] = {"visor", "crash", "hossman", "hunter"};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(s->roster[i]->aifile, expected[i]);
}

TEST(Tiers, InvalidRangesLeaveThePlaceholder) {
  for (auto [lo, hi] : {std::pair{5, 2}, {0, 10}, {-1, 3}}) {
    auto s = test::empty_roster();
    test::add_rows(*s, {});
    EXPECT_EQ(assign(*s, lo, hi),
              "error: invalid tier boundaries (" + std::to_string(lo) + "," +
                  std::to_string(hi) +
                  ")\n       must be ascending ints between 0 and 9\n");
    EXPECT_EQ(s->roster[0]->aifile, "default");
  }
}

TEST(Tiers, SingleTiers) {
  auto s = test::empty_roster();
  s->default_aifile.set("grunt");
  test::add_rows(*s, {}, 2);
  const std::string warn =
      "warn: no aifiles found for selected tier, 8\n"
      "       defaulting to 'grunt'\n";
  EXPECT_EQ(assign(*s, 8, 8), warn + warn);
  EXPECT_EQ(s->roster[1]->aifile, "grunt");
  s->roster[0]->aifile.set("default");
  EXPECT_EQ(assign(*s, 0, 0), "");
  EXPECT_EQ(s->roster[0]->aifile, "crash");
  EXPECT_EQ(s->roster[1]->aifile, "grunt");
}

}  // namespace
