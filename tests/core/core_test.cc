#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "support/support.h"

namespace {

// "help groups(pak0 red blue defa others) reset lo-hi set override" after
// parsing `args`; the start is "0 10011 1 1-5 0 0".
std::string parsed(const std::string& args, std::string& out) {
  std::vector<std::string> words = {"kivorama"};
  std::istringstream in(args);
  for (std::string w; in >> w;) words.push_back(w);
  std::vector<char*> argv;
  for (auto& w : words) argv.push_back(w.data());
  const int argc = static_cast<int>(argv.size());
  auto s = test::fresh_state();
  out = test::printed([&] { gd_parse_options(*s, argc, argv.data()); });
  char text[64];
  std::snprintf(text, sizeof text, "%d %d%d%d%d%d %d %d-%d %d %d",
                gd_help_requested(argc, argv.data()), s->use_pak0, s->use_red,
                s->use_blue, s->use_defa, s->use_others, s->ai_reset,
                s->tier_lo, s->tier_hi, s->use_set, s->ai_override);
  return text;
}

TEST(Options, ParsedLeftToRight) {
  const char* cases[][3] = {
      {"+a red blue", "0 11111 1 1-5 0 0", ""},
      {"-a pak7 defaults others", "0 00000 1 1-5 0 0", ""},
      {"+a RED reddish re", "0 11011 1 1-5 0 0", ""},  // three letters, case
      {"+a -s 3 blue", "0 10011 1 1-5 3 0", ""},  // an option ends the words
      {"+r", "0 10011 1 1-1 0 0", "tier_lo=1, tier_hi=1\n"},
      {"-r 0", "0 10011 0 0-0 0 0", "tier_lo=0, tier_hi=0\n"},
      {"+r 4 2", "0 10011 1 2-4 0 0", "tier_lo=2, tier_hi=4\n"},
      {"+r 2 4 7", "0 10011 1 2-4 0 0", "tier_lo=2, tier_hi=4\n"},
      {"-s 8 -s 9 +o", "0 10011 1 1-5 8 1", ""},
      {"--h -s 5", "0 10011 1 1-5 5 0", ""},
      {"-s 2 -help", "1 10011 1 1-5 2 0", ""},
  };
  for (const auto& c : cases) {
    std::string out;
    EXPECT_EQ(parsed(c[0], out), c[1]) << c[0];
    EXPECT_EQ(out, c[2]) << c[0];
  }
}

TEST(Program, HelpPrintsBothTextsAndTouchesNoFile) {
  test::ScratchDir dir;
  int status = -1;
  // The help goes to a text-mode stream: the host's line ends.
  EXPECT_EQ(test::run_program({"-s", "2", "+h", "+r", "3"}, &status),
            test::host_line_ends(test::read_file(
                KIVO_SOURCE_DIR "/tests/core/help_expected.txt")));
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path));
}

TEST(Program, RunInAnEmptyFolderEndsWithTheClosingLines) {
  test::ScratchDir dir;
  int status = -1;
  std::string out = test::run_program({}, &status);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(out.ends_with(
      test::host_line_ends("\nfor help, '" + test::program_path() + " -h'\n")))
      << out;
}

// A Windows player starts the program by its full path from the game folder
// and keeps the tools beside it only: a stand-in zip there must make the
// kivo.pk3 that the run looks for. Elsewhere PATH is left as it is.
TEST(Program, FindsToolsBesideItself) {
#ifdef _WIN32
  test::ScratchDir dir;
  const std::filesystem::path bin = dir.path / "bin";
  std::filesystem::create_directories(bin);
  std::filesystem::create_directories("game");
  std::filesystem::copy_file(test::program_path(), bin / "kivorama.exe");
  test::write_file(bin / "zip.bat", "@echo PK>kivo.pk3\r\n");
  std::filesystem::current_path("game");
  std::string out =
      test::shell("\"" + (bin / "kivorama.exe").string() + "\" 2>&1");
  EXPECT_NE(out.find("wrote 'kivo.pk3'"), std::string::npos) << out;
  EXPECT_EQ(out.find("was not created"), std::string::npos) << out;
#else
  const char* path = std::getenv("PATH");
  const std::string before = path != nullptr ? path : "";
  EXPECT_EQ(sy_put_own_folder_on_path(), 1);
  path = std::getenv("PATH");
  EXPECT_EQ(path != nullptr ? path : "", before);
#endif
}

TEST(Core, RandomSequenceAndNameField) {
  State s;
  rng_seed(s, 1);
  for (int want : {41, 18467, 6334, 26500, 19169, 15724})
    EXPECT_EQ(rng_draw(s), want);
  rng_seed(s, 0xFFFFFFFFu);  // the state wraps modulo 2^32
  EXPECT_EQ(rng_draw(s), 35);
  name_field f;
  EXPECT_EQ(f.set(std::string(48, 'b')), 1);
  EXPECT_EQ(f.set(std::string(49, 'c')), 0);
  EXPECT_EQ(f.view(), std::string(48, 'c'));
  f.set("short");
  EXPECT_EQ(f.view(), "short");
}

}  // namespace
