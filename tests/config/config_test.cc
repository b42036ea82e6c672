// kivo.cfg: the writer's text, and how the rows are carried over to the
// roster and the AI file table. (What the reader makes of files written by
// hand is in the recorded runs, tests/runs/config-*.)
#include "config/config.h"

#include <gtest/gtest.h>

#include <sstream>

#include "support/fake_host.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;

// The eight values of a player, "|"-separated.
std::string fields(const Player& p) {
  return std::string(p.name.view()) + "|" + p.funname.c_str() + "|" +
         p.aifile.c_str() + "|" + std::to_string(p.set) + "|" + p.st + "|" +
         p.model.c_str() + "|" + p.player.c_str() + "|" + p.pk3file.c_str();
}

// Reads `text` as kivo.cfg of the current folder; returns what was printed.
std::string read_text(State& s, const std::string& text) {
  test::write_file(kConfigFile, text);
  return test::printed([&] { gd_read_config(s); });
}

// The roster and AI files of the reviewed kivo.cfg text.
std::unique_ptr<State> small_roster() {
  auto s = test::fresh_state();
  s->roster_count = 0;
  for (const char* row :
       {"zed ^1z^2ed default 0 a sarge default pak0",
        "Abe ^5Abe^6Long_funname_x bitterman_long 9 i abelongmodelname skin "
        "addon-with-a-very-long-name",
        "Zoe default visor 3 X zoe red zoe", "Abe ^1A crash 0 A abe blue abe",
        "abe default default 0 I abe green abe",
        "NameThatIsLong ^3N xaero 1 a xaero default pak0"})
    test::add(*s, row);
  s->aifile_count = 0;
  std::istringstream tiers(
      "crash 0 hunter 6 mymod_ai 9 sarge 0 oddball 12 b 9 xaero 6 "
      "verylongaifilename 3 neg -1");
  for (std::string name; tiers >> name >> s->aifile_tiers[s->aifile_count];)
    append_name(s->aifile_names, s->aifile_count, name);
  return s;
}

// What the writer makes of it; the next run reads it back whole, writes it
// again alike, and needs no copy of the old file.
TEST(ConfigWriter, SmallRosterMatchesReviewedTextAndReadsBack) {
  test::ScratchDir dir;
  test::FakeHost host;
  auto s = small_roster();
  s->tier_hi = 7, s->tier_lo = 2, s->use_blue = 1, s->use_defa = 0;
  s->use_pak0 = 0, s->use_red = 1, s->ai_reset = 0, s->ai_override = 1;
  // kivo.cfg is written in text mode: the host's line ends.
  const std::string golden = test::host_line_ends(
      test::read_file(KIVO_SOURCE_DIR "/tests/config/golden_small_roster.cfg"));
  for (int run = 0; run < 2; ++run) {  // the writer's marks do not stay set
    EXPECT_EQ(test::printed([&] { EXPECT_EQ(gd_save_config(*s), 1); }),
              "wrote 'kivo.cfg'\n");
    EXPECT_EQ(test::read_file(kConfigFile), golden);
  }
  auto next = small_roster();
  next->use_blue = next->use_red = next->ai_reset = 0;
  for (int i = 0; i < next->roster_count; ++i) {
    Player& p = *next->roster[i];
    if (p.st == 'X') continue;  // rows of status X are not applied
    p.name.set("P" + std::to_string(i)), p.funname.set("f"), p.set = 8;
    p.aifile.set("crash"), p.st = 'i';
  }
  for (int& tier : next->aifile_tiers)
    if (tier >= 0 && tier <= 9) tier = 4;  // the others are not written
  test::printed([&] { gd_read_config(*next); });
  gd_apply_config(*next);
  gd_apply_ai_cfg(*next);
  EXPECT_EQ(test::printed([&] { gd_save_config(*next); }),
            "wrote 'kivo.cfg'\n");
  EXPECT_EQ(test::read_file(kConfigFile), golden);
  EXPECT_FALSE(fs::exists("kivo.cfg.bak"));
}

TEST(ConfigApply, RowsMatchByModelAndSkin) {
  const char* unchanged = "SarRed|^1Sar^4Red|visor|0|i|sarge|red|pak0";
  const struct {
    int ai_reset, ai_override;
    const char *rows, *after;
  } cases[] = {
      {0, 0, "N F crash 2 A sarge red k\n", "N|F|crash|2|A|sarge|red|pak0"},
      {1, 0, "N F crash 2 A sarge red k\n", "N|F|visor|2|A|sarge|red|pak0"},
      {0, 0, "N F crash 2 A Sarge red k\nN F crash 2 A sarge blue k\n",
       unchanged},
      {0, 0, "N F crash 2 A sarge red k\nM G doom 3 I sarge red k\n",
       "M|G|doom|3|I|sarge|red|pak0"},
      {0, 0, "N F crash 2 X sarge red k\n", unchanged},
      {1, 1, "N F crash 2 x sarge red k\n",
       "SarRed|^1Sar^4Red|crash|0|i|sarge|red|pak0"},
  };
  for (const auto& c : cases) {
    test::ScratchDir dir;
    auto s = test::fresh_state();
    s->roster_count = 0;
    test::add(*s, "SarRed ^1Sar^4Red visor 0 i sarge red pak0");
    read_text(*s, std::string("@ ai_players\nname\n") + c.rows + "@ end\n");
    s->ai_reset = c.ai_reset, s->ai_override = c.ai_override;
    gd_apply_config(*s);
    EXPECT_EQ(fields(*s->roster[0]), c.after) << c.rows;
  }
}

// Two archives carrying the same model and skin: each player keeps the row
// written for its own archive, so names do not drift from run to run; rows
// of another archive still apply when none names the player's own.
TEST(ConfigApply, SameModelAndSkinInTwoArchives) {
  auto s = test::fresh_state();
  s->roster_count = 0, s->ai_reset = 0;
  for (const char* pk3 : {"a", "b", "c"})
    test::add(*s, std::string("KniRed f default 0 a knight red ") + pk3);
  for (const char* row :
       {"KniRed0 F0 crash 0 a knight red a", "KniRed F1 doom 0 a knight red b"})
    gd_parse_player_row(
        *(s->cfg_players[s->cfg_player_count++] = std::make_unique<Player>()),
        row);
  gd_apply_config(*s);
  EXPECT_EQ(fields(*s->roster[0]), "KniRed0|F0|crash|0|a|knight|red|a");
  EXPECT_EQ(fields(*s->roster[1]), "KniRed|F1|doom|0|a|knight|red|b");
  EXPECT_EQ(fields(*s->roster[2]), "KniRed|F1|doom|0|a|knight|red|c");
}

TEST(ConfigApply, TierRowsByExactNameTheLaterWins) {
  test::ScratchDir dir;
  auto s = test::fresh_state();
  const int count = s->aifile_count;
  read_text(*s,
            "@ ai_players\n@ end\n@ ai_tiers\naifile\nsarge 3\nSarge 8\n"
            "nobody 4\nsarge 5\nxaero 12\n@ end\n");
  gd_apply_ai_cfg(*s);
  EXPECT_EQ(s->aifile_count, count);
  EXPECT_EQ(s->aifile_tiers[0], 12);  // xaero
  EXPECT_EQ(s->aifile_tiers[24], 5);  // sarge
  EXPECT_EQ(s->aifile_tiers[31], 0);  // crash
  // Files of earlier versions list an AI file twice, once with the 9 of an
  // unranked find: any other row of that AI file wins over a 9.
  const struct {
    const char* rows;
    int tier;
  } twice[] = {{"sarge 1\nsarge 9\n", 1},
               {"sarge 9\nsarge 4\n", 4},
               {"sarge 9\nsarge 9\n", 9},
               {"sarge 7\nsarge 9\nsarge 3\n", 3},
               {"sarge 9\nsarge -1\n", -1}};
  for (const auto& c : twice) {
    auto d = test::fresh_state();
    read_text(*d, std::string("@ ai_players\n@ end\n@ ai_tiers\naifile\n") +
                      c.rows + "@ end\n");
    gd_apply_ai_cfg(*d);
    EXPECT_EQ(d->aifile_tiers[24], c.tier) << c.rows;
  }
}

}  // namespace
