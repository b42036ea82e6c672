#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "config/helpers.h"

namespace {

namespace fs = std::filesystem;
using cfgtest::printed;

// Creates the temporary file as asked, but hands back a stream on a full
// device, so the writes fail when flushed.
std::FILE* open_full_disk(const char* path) {
  std::fclose(std::fopen(path, "w"));
  return std::fopen("/dev/full", "w");
}
std::FILE* open_for_write(const char* path) { return std::fopen(path, "w"); }

TEST(ConfigSave, FailedWriteKeepsOldFileAndLeavesNoTemp) {
  struct Case {
    const char* temp;
    ConfigOpener open;
    const char* old_file;  // a kivo.cfg that is a folder refuses the rename
  };
  const Case cases[] = {{kConfigTempFile, open_full_disk, kConfigFile},
                        {"missing/kivo.cfg.tmp", open_for_write, kConfigFile},
                        {kConfigTempFile, open_for_write, "kivo.cfg/keep"}};
  for (const Case& c : cases) {
    test::ScratchDir dir;
    const std::string old_text = "$ flags\ntier_hi 3 // my edit\n$ end\n";
    test::write_file(c.old_file, old_text);
    auto s = test::fresh_state();
    std::string out = printed([&] {
      EXPECT_EQ(gd_save_config_as(*s, kConfigFile, c.temp, c.open), 0);
    });
    EXPECT_EQ(out.rfind("error: cannot write config file 'kivo.cfg' (", 0), 0u)
        << out;
    EXPECT_EQ(out.find("wrote"), std::string::npos) << out;
    EXPECT_EQ(test::read_file(c.old_file), old_text) << c.temp;
    EXPECT_FALSE(fs::exists(kConfigTempFile)) << c.temp;
  }
}

// The players a run adds from archives, the same in both runs.
void add_archive_players(State& s) {
  cfgtest::add(s, "KniRed ^5Kni^6Red kniai 4 A knight red knight");
  cfgtest::add(s,
               "KniDefaul default default 9 u knight default "
               "a-very-long-archive-name");
  s.aifile_tiers[s.aifile_count] = 9;
  append_name(s.aifile_names, s.aifile_count, "kniai");
}

TEST(ConfigSave, NextRunReadsBackWhatARunWrote) {
  test::ScratchDir dir;
  test::write_file(kConfigFile, std::string(100000, 'o'));
  auto first = test::fresh_state();
  add_archive_players(*first);
  first->tier_hi = 8, first->tier_lo = 0, first->use_blue = 1;
  first->use_others = 0, first->use_set = 4, first->ai_reset = 0;
  first->roster[0]->aifile.set("doom");
  first->aifile_tiers[3] = 8;
  EXPECT_EQ(printed([&] { gd_save_config(*first); }), "wrote 'kivo.cfg'\n");
  const std::string text = test::read_file(kConfigFile);
  EXPECT_EQ(text, cfgtest::written(*first));
  EXPECT_FALSE(fs::exists(kConfigTempFile));

  auto next = test::fresh_state();
  add_archive_players(*next);
  printed([&] { gd_read_config(*next); });
  for (const ConfigFlag& flag : kConfigFlags)
    EXPECT_EQ((*next).*flag.field, (*first).*flag.field) << flag.name;
  std::multiset<std::string> wrote, read;
  for (int i = 0; i < first->roster_count; ++i)
    wrote.insert(cfgtest::fields(*first->roster[i]));
  for (int i = 0; i < next->cfg_player_count; ++i)
    read.insert(cfgtest::fields(*next->cfg_players[i]));
  EXPECT_EQ(read, wrote);
  EXPECT_EQ(next->cfg_tier_count, first->aifile_count);
  gd_apply_config(*next);
  gd_apply_ai_cfg(*next);
  printed([&] { gd_save_config(*next); });
  EXPECT_EQ(test::read_file(kConfigFile), text);
}

// The program reads back its own file and, without options, keeps it as it
// is.
TEST(ConfigSave, SecondRunWritesTheSameFile) {
  test::ScratchDir dir;
  EXPECT_NE(test::run_program({}).out.find("wrote 'kivo.cfg'\n"),
            std::string::npos);
  const std::string text = test::read_file(kConfigFile);
  EXPECT_NE(test::run_program({}).out.find(
                "  found 63 player configs in file 'kivo.cfg'\n"),
            std::string::npos);
  EXPECT_EQ(test::read_file(kConfigFile), text);
}

}  // namespace
