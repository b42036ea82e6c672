#include <gtest/gtest.h>

#include "config/helpers.h"

namespace {

using cfgtest::players_block;
using cfgtest::read_text;

struct FlagCase {
  const char* text;
  int tier_hi, tier_lo, use_set;  // start values are 5, 1, 0
};

TEST(ConfigReader, FlagsBlockTolerancesAndRefusals) {
  const FlagCase cases[] = {
      {"$ flags\nuse_set 4\n$ end\n", 5, 1, 4},
      {"$ flags\nuse_set 9\n", 5, 1, 0},
      {"$ flags\nuse_set 12\n", 5, 1, 0},
      {"$ flags\ntier_lo -1\ntier_hi 7x\n", 7, 1, 0},
      {"\n  $ \t  flags  \n// c\n\n  tier_hi\t 3 // c\n$ end\n", 3, 1, 0},
      {"$flags\ntier_hi 3\n", 5, 1, 0},  // one word opens nothing
      {"$ flags\ntier_hi 3\n$x\ntier_hi 4\n", 3, 1, 0},  // any '$' closes
      {"$ flags\ntier_hi 3\ntier_hi 2\n", 2, 1, 0},      // later wins
      {"$ flags\nTier_hi 3\ntier_high 3\n// tier_hi 3\ntier_hi\n", 5, 1, 0},
      {"$ flags\r\ntier_lo 3\r\n$ end\r\n", 5, 3, 0},
      {"tier_hi 3\n$ flags\ntier_lo 99999999999999999999\n", 5, 2147483647, 0},
  };
  for (const FlagCase& c : cases) {
    test::ScratchDir dir;
    auto s = test::fresh_state();
    read_text(*s, c.text);
    EXPECT_EQ(s->tier_hi, c.tier_hi) << c.text;
    EXPECT_EQ(s->tier_lo, c.tier_lo) << c.text;
    EXPECT_EQ(s->use_set, c.use_set) << c.text;
  }
}

TEST(ConfigReader, MessagesForMissingFileAndBlocks) {
  const std::string flags = "$ flags\nai_reset 0\n$ end\n";
  const std::string players = players_block("a f ai 0 a m p k\n");
  const std::string tiers = "@ ai_tiers\naifile tier\nsarge 3\n@ end\n";
  const std::string found_players =
      "  found 1 player configs in file 'kivo.cfg'\n";
  const std::string found_tiers = "  found 1 ai bot names in file 'kivo.cfg'\n";
  const std::pair<std::string, std::string> cases[] = {
      {tiers + players,
       "err: cannot find block '$ flags' in config file "
       "'kivo.cfg'\n...using defaults...\n" +
           found_players + found_tiers},
      {flags + tiers, "  note: 'ai_players' block not found in 'kivo.cfg'\n"},
      {flags + players,
       found_players + "  note: 'ai_tiers' block not found in 'kivo.cfg'\n"},
      {tiers +
           "@   ai_players_x\nname\n// c\n\na b c 1 a m p k\n#x b c 1 a m "
           "p k\n@ end\nz f ai 0 a m p k\n" +
           flags,
       "  found 2 player configs in file 'kivo.cfg'\n" + found_tiers},
      {flags + "@ ai_players\nnam funname\na f ai 0 a m p k\n@ end\n" + tiers,
       "  found 0 player configs in file 'kivo.cfg'\n" + found_tiers},
  };
  for (const auto& [text, expected] : cases) {
    test::ScratchDir dir;
    auto s = test::fresh_state();
    EXPECT_EQ(read_text(*s, text), expected) << text;
  }
  test::ScratchDir empty;
  auto s = test::fresh_state();
  EXPECT_EQ(cfgtest::printed([&] { gd_read_config(*s); }),
            "  cannot open config file 'kivo.cfg' for read\n");
  EXPECT_EQ(s->ai_reset, 1);
}

TEST(ConfigReader, PlayerRowFields) {
  std::string long_name(60, 'n');
  const std::pair<std::string, std::string> cases[] = {
      {"  Abe    ^1A  crash   -3  Abc   abe  blue   abe  \n",
       "Abe|^1A|crash|-3|A|abe|blue|abe"},
      {"Abe\t^1A crash 0 A abe blue abe extra\n",  // a tab joins two fields
       "Abe\t^1A|crash|0|0|a|blue|abe|extra"},
      {"n f a +2x i m p a-long-archive-name\n",
       "n|f|a|2|i|m|p|a-long-archive-name"},
      {long_name + " f a 0 a m p k",
       long_name.substr(0, 48) + "|f|a|0|a|m|p|k"},
  };
  for (const auto& [row, expected] : cases) {
    Player p;
    EXPECT_EQ(gd_parse_player_row(p, row.c_str()), 8) << row;
    EXPECT_EQ(cfgtest::fields(p), expected);
  }
}

TEST(ConfigReader, TierRows) {
  test::ScratchDir dir;
  auto s = test::fresh_state();
  std::string long_name(60, 't');
  read_text(*s, players_block("") +
                    "@ ai_tiers\n\naifile  tier\nsarge 3\n\n  crash\t-2 x\n"
                    "anarki 12\nvisor\nxaero x\n// c 1\n" +
                    long_name + " 7\n@ end\nlate 1\n");
  const std::pair<std::string, int> expected[] = {{"sarge", 3},
                                                  {"crash", -2},
                                                  {"anarki", 12},
                                                  {"xaero", 0},
                                                  {long_name.substr(0, 48), 7}};
  ASSERT_EQ(s->cfg_tier_count, 5);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(s->cfg_tier_names[i], expected[i].first);
    EXPECT_EQ(s->cfg_tier_values[i], expected[i].second);
  }
}

// Rows the reader cannot use are skipped and counted in a warning; long
// lines come in 254-character pieces; NUL bytes end a line's text.
TEST(ConfigReader, UnusableRowsLongLinesAndGarbage) {
  test::ScratchDir dir;
  auto s = test::fresh_state();
  std::string rows = "a b c 0 a m p\n" + std::string(300, 'x') + "\n" +
                     std::string("n f a 0 a m\0 p k\n", 17) + "n f a 0 a m p " +
                     std::string(260, 'k') + "\n";
  for (int i = 0; i < 1030; ++i) rows += "r f a 0 a m p k\n";
  EXPECT_EQ(read_text(*s, "$ flags\n" + players_block(rows)),
            "  warn: 5 player rows in 'kivo.cfg' skipped: fewer than 8 "
            "fields\n"
            "  warn: 7 player rows in 'kivo.cfg' skipped: more than 1024 "
            "rows\n"
            "  found 1024 player configs in file 'kivo.cfg'\n"
            "  note: 'ai_tiers' block not found in 'kivo.cfg'\n");
  EXPECT_EQ(s->cfg_players[0]->pk3file.size(), 48u);
  std::string garbage;
  for (int i = 0; i < 20000; ++i)
    garbage += static_cast<char>((i * 7919 + i / 13) % 256);
  read_text(*s, "$ flags\n" + garbage + players_block(garbage) +
                    "@ ai_tiers\naifile\n" + garbage);
  EXPECT_LE(s->cfg_player_count, 1024);
}

}  // namespace
