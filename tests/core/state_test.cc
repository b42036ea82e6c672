#include <gtest/gtest.h>

#include <string>

#include "support/support.h"

namespace {

TEST(NameField, KeepsAtMost48Characters) {
  name_field f;
  EXPECT_EQ(f.set(std::string(47, 'a')), 1);
  EXPECT_EQ(f.size(), 47u);
  EXPECT_EQ(f.set(std::string(48, 'b')), 1);
  EXPECT_EQ(f.view(), std::string(48, 'b'));
  EXPECT_EQ(f.set(std::string(49, 'c') + "tail"), 0);
  EXPECT_EQ(f.view(), std::string(48, 'c'));
  EXPECT_EQ(f.bytes[48], '\0');
  f.set("short");  // a shorter text leaves nothing of the longer one behind
  EXPECT_EQ(f.view(), "short");
  EXPECT_EQ(f.bytes[6], '\0');
}

TEST(NameTable, AppendStopsAtCapacity) {
  std::array<name_field, 3> table{};
  int count = 0;
  EXPECT_EQ(append_name(table, count, "a"), 1);
  EXPECT_EQ(append_name(table, count, "b"), 1);
  EXPECT_EQ(append_name(table, count, "c"), 1);
  EXPECT_EQ(append_name(table, count, "d"), 0);
  EXPECT_EQ(count, 3);
  EXPECT_EQ(table[2].view(), "c");
}

TEST(Roster, AddStopsAtCapacity) {
  auto s = std::make_unique<State>();
  for (int i = 0; i < kTableRows; ++i)
    ASSERT_NE(add_roster_player(*s), nullptr);
  EXPECT_EQ(add_roster_player(*s), nullptr);
  EXPECT_EQ(s->roster_count, kTableRows);
  Player* p = s->roster[0].get();
  EXPECT_EQ(p->st, 'i');
  EXPECT_EQ(p->set, 0);
  EXPECT_TRUE(p->name.empty());
}

TEST(Random, KnownSeedGivesKnownDraws) {
  State s;
  rng_seed(s, 1);
  const int expected[] = {41, 18467, 6334, 26500, 19169, 15724};
  for (int want : expected) EXPECT_EQ(rng_draw(s), want);
  rng_seed(s, 0xFFFFFFFFu);  // the state wraps modulo 2^32
  EXPECT_EQ(rng_draw(s), 35);
}

TEST(CreateState, StartValues) {
  auto s = test::fresh_state();
  EXPECT_EQ(s->model_count, 29);
  EXPECT_EQ(s->aifile_count, 32);
  EXPECT_EQ(s->roster_count, 63);
  EXPECT_EQ(s->default_aifile.view(), "visor");
  EXPECT_EQ(s->tier_hi, 5);
  EXPECT_EQ(s->tier_lo, 1);
  EXPECT_EQ(s->use_blue, 0);
  EXPECT_EQ(s->use_defa, 1);
  EXPECT_EQ(s->use_others, 1);
  EXPECT_EQ(s->use_pak0, 1);
  EXPECT_EQ(s->use_red, 0);
  EXPECT_EQ(s->use_set, 0);
  EXPECT_EQ(s->ai_reset, 1);
  EXPECT_EQ(s->ai_override, 0);
  EXPECT_EQ(s->xai_count, 0);
  EXPECT_EQ(s->cfg_player_count, 0);
  EXPECT_TRUE(s->pk3_list[0].empty());
}

}  // namespace
