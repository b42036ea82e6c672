#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/support.h"

namespace {

// Runs the option parser over `args` (argv[0] added) on a fresh State and
// returns what it printed.
std::string parse(State& s, std::vector<std::string> args) {
  args.insert(args.begin(), "kivorama");
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  testing::internal::CaptureStdout();
  gd_parse_options(s, static_cast<int>(argv.size()), argv.data());
  return testing::internal::GetCapturedStdout();
}

struct Groups {
  int pak0, red, blue, defa, others;
};
Groups groups(const State& s) {
  return {s.use_pak0, s.use_red, s.use_blue, s.use_defa, s.use_others};
}

TEST(ParseOptions, GroupWords) {
  struct Case {
    std::vector<std::string> args;
    Groups want;  // start: pak0 1, red 0, blue 0, defa 1, others 1
  };
  const Case cases[] = {
      {{"+a", "red", "blue"}, {1, 1, 1, 1, 1}},
      {{"-a", "pak0"}, {0, 0, 0, 1, 1}},
      {{"-a", "pak7", "defaults", "others"}, {0, 0, 0, 0, 0}},
      {{"+a", "RED"}, {1, 0, 0, 1, 1}},        // case-sensitive
      {{"+a", "reddish"}, {1, 1, 0, 1, 1}},    // first three letters count
      {{"+a", "re"}, {1, 0, 0, 1, 1}},         // too short to be a group
      {{"+a"}, {1, 0, 0, 1, 1}},               // no word: nothing changes
      {{"-a", "+a", "red"}, {1, 1, 0, 1, 1}},  // an option ends the words
      {{"+a", "red", "-a", "red"}, {1, 0, 0, 1, 1}},  // later one wins
      {{"red", "-x", "-A"}, {1, 0, 0, 1, 1}},  // not options of the parser
  };
  for (const auto& c : cases) {
    auto s = test::fresh_state();
    EXPECT_EQ(parse(*s, c.args), "");
    Groups got = groups(*s);
    EXPECT_EQ(got.pak0, c.want.pak0) << c.args[0];
    EXPECT_EQ(got.red, c.want.red) << c.args[0];
    EXPECT_EQ(got.blue, c.want.blue) << c.args[0];
    EXPECT_EQ(got.defa, c.want.defa) << c.args[0];
    EXPECT_EQ(got.others, c.want.others) << c.args[0];
  }
}

TEST(ParseOptions, TierRange) {
  struct Case {
    std::vector<std::string> args;
    int reset, lo, hi;
    const char* printed;
  };
  const Case cases[] = {
      {{"-r", "0"}, 0, 0, 0, "tier_lo=0, tier_hi=0\n"},
      {{"+r", "4", "2"}, 1, 2, 4, "tier_lo=2, tier_hi=4\n"},
      {{"+r", "2", "4", "7"}, 1, 2, 4, "tier_lo=2, tier_hi=4\n"},
      {{"+r"}, 1, 1, 1, "tier_lo=1, tier_hi=1\n"},  // narrows to tier_lo
      {{"-r", "12"}, 0, 12, 12, "tier_lo=12, tier_hi=12\n"},
      {{"-reset", "3x", "5"}, 0, 3, 5, "tier_lo=3, tier_hi=5\n"},
      {{"-r", "-s", "4"}, 0, 1, 1, "tier_lo=1, tier_hi=1\n"},
      {{"-r", "99999999999999999999"},
       0,
       2147483647,
       2147483647,
       "tier_lo=2147483647, tier_hi=2147483647\n"},
      {{"+r", "1", "+r", "3"},
       1,
       3,
       3,
       "tier_lo=1, tier_hi=1\ntier_lo=3, tier_hi=3\n"},
  };
  for (const auto& c : cases) {
    auto s = test::fresh_state();
    EXPECT_EQ(parse(*s, c.args), c.printed) << c.args[0];
    EXPECT_EQ(s->ai_reset, c.reset) << c.printed;
    EXPECT_EQ(s->tier_lo, c.lo) << c.printed;
    EXPECT_EQ(s->tier_hi, c.hi) << c.printed;
  }
}

TEST(ParseOptions, SetAndOverride) {
  struct Case {
    std::vector<std::string> args;
    int set, override_;
  };
  const Case cases[] = {
      {{"-s", "3"}, 3, 0},        {{"+s", "03"}, 3, 0},
      {{"-s", "8"}, 8, 0},        {{"-s", "9"}, 0, 0},
      {{"-s", "x"}, 0, 0},        {{"-s"}, 0, 0},
      {{"-s", "-3"}, 0, 0},       {{"+o"}, 0, 1},
      {{"+o", "-o"}, 0, 0},       {{"+override", "-s", "2"}, 2, 1},
      {{"--h", "-s", "5"}, 5, 0},
  };
  for (const auto& c : cases) {
    auto s = test::fresh_state();
    EXPECT_EQ(parse(*s, c.args), "");
    EXPECT_EQ(s->use_set, c.set) << c.args[0];
    EXPECT_EQ(s->ai_override, c.override_) << c.args[0];
  }
}

TEST(Help, RecognisedAtAnyPosition) {
  struct Case {
    std::vector<std::string> args;
    int wanted;
  };
  const Case cases[] = {{{"-h"}, 1},  {{"+h"}, 1}, {{"-s", "2", "-help"}, 1},
                        {{"--h"}, 0}, {{"-H"}, 0}, {{"h"}, 0},
                        {{"-"}, 0},   {{""}, 0}};
  for (const auto& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "kivorama");
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    EXPECT_EQ(gd_help_requested(static_cast<int>(argv.size()), argv.data()),
              c.wanted)
        << c.args.back();
  }
}

TEST(Help, PrintsBothTextsAndTouchesNoFile) {
  std::string expected = test::read_file(std::string(KIVO_SOURCE_DIR) +
                                         "/tests/core/help_expected.txt");
  ASSERT_FALSE(expected.empty());
  for (const char* arg : {"-h", "+h", "-help"}) {
    test::ScratchDir dir;
    test::ProgramRun run = test::run_program({"-s", "2", arg, "+r", "3"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, expected) << arg;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << arg;
  }
}

}  // namespace
