// The random generator and the name field. (What the options do is in the
// recorded runs, tests/runs/options-*.)
#include <gtest/gtest.h>

#include "support/support.h"

namespace {

TEST(Core, RandomSequenceOfTheGenerator) {
  State s;
  rng_seed(s, 1);
  for (int want : {41, 18467, 6334, 26500, 19169, 15724})
    EXPECT_EQ(rng_draw(s), want);
  rng_seed(s, 0xFFFFFFFFu);  // the state wraps modulo 2^32
  EXPECT_EQ(rng_draw(s), 35);
}

TEST(Core, NameFieldKeeps48Characters) {
  name_field f;
  EXPECT_EQ(f.set(std::string(48, 'b')), 1);
  EXPECT_EQ(f.set(std::string(49, 'c')), 0);
  EXPECT_EQ(f.view(), std::string(48, 'c'));
  f.set("short");
  EXPECT_EQ(f.view(), "short");  // nothing of the longer text stays
}

}  // namespace
