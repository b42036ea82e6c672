#include "config/config.h"

#include <gtest/gtest.h>

#include <sstream>

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

// Creates the temporary file as asked, but hands back a stream on a full
// device, so the writes fail when flushed.
std::FILE* open_full_disk(const char* path) {
  std::fclose(std::fopen(path, "w"));
  return std::fopen("/dev/full", "w");
}
std::FILE* open_for_write(const char* path) { return std::fopen(path, "w"); }

TEST(ConfigSave, FailedWriteKeepsOldFileAndLeavesNoTemp) {
  const std::tuple<const char*, ConfigOpener, const char*> cases[] = {
      {kConfigTempFile, open_full_disk, kConfigFile},
      {"missing/kivo.cfg.tmp", open_for_write, kConfigFile},
      {kConfigTempFile, open_for_write, "kivo.cfg/keep"}};  // rename refused
  for (auto [temp, open, old_file] : cases) {
    test::ScratchDir dir;
    const std::string old_text = "$ flags\ntier_hi 3 // my edit\n$ end\n";
    test::write_file(old_file, old_text);
    auto s = test::fresh_state();
    std::string out = test::printed(
        [&] { EXPECT_EQ(gd_save_config_as(*s, kConfigFile, temp, open), 0); });
    EXPECT_TRUE(out.starts_with("error: cannot write config file 'kivo.cfg' ("))
        << out;
    EXPECT_EQ(out.find("wrote"), std::string::npos) << out;
    EXPECT_EQ(test::read_file(old_file), old_text) << temp;
    EXPECT_FALSE(fs::exists(kConfigTempFile)) << temp;
  }
}

TEST(ConfigReader, TolerancesAndRefusals) {
  const std::string players = "@ ai_players\nname\na\tb c d 1 a m p k\n@ end\n";
  const std::string tiers = "@ ai_tiers\naifile\nsarge 3\n@ end\n";
  const std::string no_players =
      "  note: 'ai_players' block not found in 'kivo.cfg'\n";
  const std::string no_flags =
      "err: cannot find block '$ flags' in config file 'kivo.cfg'\n...using "
      "defaults...\n";
  const std::string found = "  found 1 player configs in file 'kivo.cfg'\n";
  const std::string found_tiers = "  found 1 ai bot names in file 'kivo.cfg'\n";
  const std::string none = "  found 0 player configs in file 'kivo.cfg'\n" +
                           found_tiers + "5 1 0 bak";
  const std::string skipped =
      " player rows in 'kivo.cfg' skipped: fewer than "
      "8 fields\n";
  // Text, then what was printed and "tier_hi tier_lo use_set; first player";
  // " bak" when the run keeps what it could not use of the old file.
  const std::pair<std::string, std::string> cases[] = {
      {"\n  $ \t flags  \n// c\n\n  tier_hi\t 3 // c\n$ end\n",
       no_players + "3 1 0 bak"},
      {"$ flags\ntier_hi 3\n$x\ntier_hi 4\n", no_players + "3 1 0 bak"},
      {"$flags\ntier_hi 3\n", no_flags + no_players + "5 1 0 bak"},
      {"$ flags\nuse_set 4\nuse_set 9\ntier_lo -1\ntier_hi 7x\n",
       no_players + "7 1 0 bak"},
      {"$ flags\nuse_set 4\nTier_hi 3\n// tier_hi 2\ntier_hi\n",
       no_players + "5 1 4 bak"},
      {"$ flags\n" + players + tiers,
       found + found_tiers + "5 1 0; a\tb|c|d|1|a|m|p|k"},  // a tab joins
      {"$ flags\n@ ai_players\nnam funname\na f ai 0 a m p k\n@ end\n" + tiers,
       "  found 0 player configs in file 'kivo.cfg'\n" + found_tiers +
           "5 1 0 bak"},
      {"$ flags\n" + players,
       found + "  note: 'ai_tiers' block not found in 'kivo.cfg'\n5 1 0; "
               "a\tb|c|d|1|a|m|p|k bak"},
      {tiers + players,
       no_flags + found + found_tiers + "5 1 0; a\tb|c|d|1|a|m|p|k bak"},
      {"$ flags\n$ end\n@ ai_players\nKniRed a b 0 a c d e\n" + tiers, none},
      {"$ flags\n$ end\n@ ai_players\nname\nKniRed a b\n" + tiers,
       "  warn: 1" + skipped + none},
      {"$ flags\n$ end\n@ ai_players\nname\n" + std::string(300, 'x') +
           "\n@ end\n" + tiers,
       "  warn: 2" + skipped + none},  // read in two pieces
  };
  for (const auto& [text, want] : cases) {
    test::ScratchDir dir;
    auto s = test::fresh_state();
    std::string got = read_text(*s, text);
    got += std::to_string(s->tier_hi) + " " + std::to_string(s->tier_lo) + " " +
           std::to_string(s->use_set);
    if (s->cfg_player_count > 0) got += "; " + fields(*s->cfg_players[0]);
    test::printed([&] { gd_save_config(*s); });
    if (test::read_file("kivo.cfg.bak") == text) got += " bak";
    EXPECT_EQ(got, want) << text;
  }
  test::ScratchDir empty;
  auto s = test::fresh_state();
  EXPECT_EQ(test::printed([&] { gd_read_config(*s); }),
            "  cannot open config file 'kivo.cfg' for read\n");
}

TEST(ConfigApply, RowsMatchByModelAndSkin) {
  // ai_reset, ai_override, rows of the players block, then the roster's
  // first player afterwards.
  const char* unchanged = "SarRed|^1Sar^4Red|visor|0|i|sarge|red|pak0";
  const std::tuple<int, int, const char*, const char*> cases[] = {
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
  for (auto [reset, override, rows, want] : cases) {
    test::ScratchDir dir;
    auto s = test::fresh_state();
    s->roster_count = 0;
    test::add(*s, "SarRed ^1Sar^4Red visor 0 i sarge red pak0");
    read_text(*s, std::string("@ ai_players\nname\n") + rows + "@ end\n");
    s->ai_reset = reset, s->ai_override = override;
    gd_apply_config(*s);
    EXPECT_EQ(fields(*s->roster[0]), want) << rows;
  }
  test::ScratchDir dir;  // tier rows: exact names, the later row wins
  auto s = test::fresh_state();
  const int count = s->aifile_count;
  read_text(*s,
            "@ ai_players\n@ end\n@ ai_tiers\naifile\nsarge 3\nSarge 8\n"
            "nobody 4\nsarge 5\nxaero 12\n@ end\n");
  gd_apply_ai_cfg(*s);
  EXPECT_EQ(s->aifile_count, count);
  const auto& t = s->aifile_tiers;  // xaero, sarge and crash
  EXPECT_EQ(std::vector<int>({t[0], t[24], t[31]}),
            std::vector<int>({12, 5, 0}));
  // Files of earlier versions list an AI file twice, once with the 9 of an
  // unranked find: any other row of that AI file wins over a 9.
  const std::pair<const char*, int> twice[] = {
      {"sarge 1\nsarge 9\n", 1},
      {"sarge 9\nsarge 4\n", 4},
      {"sarge 9\nsarge 9\n", 9},
      {"sarge 7\nsarge 9\nsarge 3\n", 3},
      {"sarge 9\nsarge -1\n", -1}};
  for (auto [rows, want] : twice) {
    auto d = test::fresh_state();
    read_text(*d, std::string("@ ai_players\n@ end\n@ ai_tiers\naifile\n") +
                      rows + "@ end\n");
    gd_apply_ai_cfg(*d);
    EXPECT_EQ(d->aifile_tiers[24], want) << rows;
  }
}

}  // namespace
