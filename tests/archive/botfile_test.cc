// Bot files inside archives: extracted with the real unzip into a scripts
// folder of the program's own, read, and cleaned away again.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "archive/archive_helpers.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

constexpr char kDefinitions[] =
    "name Early\n"
    "{\n"
    "\tname\t\tDaemia/extra\n"
    "\tfunname\t^1Big Boss\n"
    "\tmodel\t\tMajor/Daemia\n"
    "\taifile\tbots/Daemia_c.c\n"
    "\tarenaLord\tbots/lord_c.c\n"
    "}\n"
    "{\nNAME\tSarge\nnames\tSarge2\nmodel\tsarge\naifile\t\"bots/"
    "sarge_c.c\"\n}\n"
    "{\nmodelX //other//skin/x\naif sarge_c.c\nAIFILE botfiles/bots/x_c.c\n"
    "fun\nname\n}\n"
    "}\n";

const std::vector<std::string> kRows = {"Daemia|^1Big|daemia|major|daemia",
                                        "Sarge2|||sarge|default",
                                        "|||other|skin", "||||default"};

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? "\r\n" : std::string(1, c);
  return out;
}

TEST(BotFile, ReadsDefinitionsWithLfOrCrLfEnds) {
  for (const std::string& text :
       {std::string(kDefinitions), crlf(kDefinitions)}) {
    test::ScratchDir dir;
    test::make_pk3("b.pk3", {{"scripts/b.bot", text}});
    auto s = test::fresh_state();
    gd_parse_aifile(*s, "b.pk3", "b.bot");
    EXPECT_EQ(test::xai_rows(*s), kRows);
  }
}

TEST(BotFile, FullTableTakesNoMoreDefinitions) {
  test::ScratchDir dir;
  test::make_pk3("b.pk3", {{"scripts/b.bot", kDefinitions}});
  auto s = test::fresh_state();
  s->xai_count = kTableRows - 1;
  gd_parse_aifile(*s, "b.pk3", "b.bot");
  EXPECT_EQ(s->xai_count, kTableRows);
  EXPECT_EQ(s->xai_name[kTableRows - 1].view(), "Daemia");
}

TEST(BotFile, ScanReadsScriptsBotMembersAndLeavesTheFolderAsItWas) {
  test::ScratchDir dir;
  test::write_file("scripts/own.bot", "{\r\nname Mine\r\n}\r\n");
  test::write_file("scripts/deep/notes.txt", "keep");
  test::make_pk3("pack.pk3", {{"scripts/mybots.bot", crlf("{\nname One\n}\n")},
                              {"scripts/bots.txt", "{\nname Two\n}\n"},
                              {"scripts/x.BOT", "{\nname Three\n}\n"}});
  auto before = test::folder();
  auto s = test::fresh_state();
  test::scan(*s, {"pack.pk3", "pack.pk3"});
  EXPECT_THAT(test::xai_rows(*s),
              ElementsAre("One||||default", "One||||default"));
  // No scratch file, no tscripts, the player's files byte for byte.
  EXPECT_EQ(test::folder(), before);
}

TEST(BotFile, FolderComesBackWhenExtractionFails) {
  test::ScratchDir dir;
  test::write_file("scripts/own.bot", "mine");
  test::make_pk3("b.pk3", {{"scripts/b.bot", kDefinitions}});
  auto before = test::folder();
  auto s = test::fresh_state();
  testing::internal::CaptureStderr();
  gd_parse_aifile(*s, "b.pk3", "missing.bot");
  gd_parse_aifile(*s, "gone.pk3", "b.bot");
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_THAT(err, HasSubstr("err: cannot open 'scripts/missing.bot' for "
                             "read\n"));
  EXPECT_THAT(err, HasSubstr("err: cannot open 'scripts/b.bot' for read\n"));
  EXPECT_EQ(s->xai_count, 0);
  EXPECT_EQ(test::folder(), before);
}

TEST(BotFile, TscriptsInTheWayLeavesBothAlone) {
  for (bool tscripts_is_folder : {true, false}) {
    test::ScratchDir dir;
    test::write_file("scripts/own.bot", "mine");
    test::write_file(tscripts_is_folder ? "tscripts/old.bot" : "tscripts", "x");
    test::make_pk3("b.pk3", {{"scripts/b.bot", kDefinitions}});
    auto before = test::folder();
    auto s = test::fresh_state();
    testing::internal::CaptureStdout();
    gd_parse_aifile(*s, "b.pk3", "b.bot");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "error: 'tscripts' is in the way; the 'scripts' folder cannot "
              "be set aside, so this step is skipped\n");
    EXPECT_EQ(s->xai_count, 0);
    EXPECT_EQ(test::folder(), before);
  }
}

TEST(BotFile, LinkMemberIsNeitherOpenedUpNorRead) {
  test::ScratchDir dir;
  test::write_file("secret.txt", "{\nname Leak\n}\n");
  auto mode = fs::perms::owner_read | fs::perms::owner_write;
  fs::permissions("secret.txt", mode);
  fs::create_directories("tree/scripts");
  fs::create_symlink("../secret.txt", "tree/scripts/link.bot");
  ASSERT_EQ(std::system("cd tree && zip -qry ../l.pk3 . >/dev/null 2>&1"), 0);
  fs::remove_all("tree");
  auto before = test::folder();
  auto s = test::fresh_state();
  testing::internal::CaptureStderr();
  gd_parse_aifile(*s, "l.pk3", "link.bot");
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(s->xai_count, 0);
  EXPECT_EQ(fs::status("secret.txt").permissions(), mode);
  EXPECT_EQ(test::folder(), before);
}

TEST(BotFile, LineEndsDropCrBeforeLfAndNeverEmptyTheFile) {
  test::ScratchDir dir;
  test::write_file("scripts/x.bot", "a\r\nb\rc\r\n\r\n\r");
  EXPECT_EQ(sy_cmd_line_ends("x.bot"), 1);
  EXPECT_EQ(test::read_file("scripts/x.bot"), "a\nb\rc\n\n\r");
  fs::create_directory("scripts/y.bot~lf");  // the temporary cannot be made
  test::write_file("scripts/y.bot", "a\r\n");
  EXPECT_EQ(sy_cmd_line_ends("y.bot"), 0);
  EXPECT_EQ(test::read_file("scripts/y.bot"), "a\r\n");
  EXPECT_EQ(sy_cmd_line_ends("none.bot"), 0);
  EXPECT_EQ(test::folder().size(), 4u);  // scripts and its three entries
}

TEST(ScriptsLoan, KeepsTscriptsWhileTheOwnFolderRemains) {
  test::ScratchDir dir;
  test::write_file("scripts/own.bot", "mine");
  ScriptsLoan loan;
  ASSERT_EQ(sy_borrow_scripts(loan), 1);
  test::write_file("scripts/ours.bot", "ours");  // the caller left it
  testing::internal::CaptureStdout();
  EXPECT_EQ(sy_give_back_scripts(loan), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "error: the program's own 'scripts' folder could not be removed; "
            "your 'scripts' folder waits in 'tscripts'\n");
  EXPECT_EQ(test::read_file("tscripts/own.bot"), "mine");
  fs::remove_all("scripts");
  EXPECT_EQ(sy_give_back_scripts(loan), 1);
  EXPECT_EQ(test::read_file("scripts/own.bot"), "mine");
}

}  // namespace
