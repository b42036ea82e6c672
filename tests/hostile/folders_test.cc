// The player's own folders and files next to the program's: a scripts
// folder, a tscripts left behind, and the program's own file names taken by
// folders or links. Nothing of the player's may be lost, and nothing may be
// written outside the folder.
#include <gtest/gtest.h>

#include "hostile/hostile.h"

namespace {

using hostile::Case;
namespace fs = std::filesystem;

const std::string kBotDef = "{\nname Knight\nmodel knight/red\n}\n";

// An archive with a bot file, so the scan borrows the scripts folder too.
void archive_with_bot_file() {
  test::make_pk3("knight.pk3", {{"models/players/knight/head.md3", "m"},
                                {"models/players/knight/head_red.skin", "s"},
                                {"scripts/knight.bot", kBotDef}});
}

void players_scripts() {
  test::write_file("scripts/own.bot", "{\nname Mine\n}\n");
  test::write_file("scripts/deep/notes.txt", "keep me");
}

const fs::perms kReadOnly = fs::perms::owner_read;

// Set up by the scripts-link case, checked after its run.
fs::path g_linked;

std::set<std::string> except(std::set<std::string> files, const char* kept) {
  files.erase(kept);
  return files;
}

const Case kCases[] = {
    {.harm = "PlayersScriptsFolderComesBackWhole",
     .setup =
         [] {
           archive_with_bot_file();
           players_scripts();
         },
     .check =
         [](const hostile::ProgramRun&) {
           EXPECT_NE(test::read_file("kivo.cfg").find("\nKnight "),
                     std::string::npos);
         }},
    {.harm = "TscriptsFolderInTheWayIsNotMerged",
     .setup =
         [] {
           archive_with_bot_file();
           players_scripts();
           test::write_file("tscripts/other.bot", "theirs");
         },
     .says = {"error: 'tscripts' is in the way; the 'scripts' folder cannot be "
              "set aside, so this step is skipped\n",
              "error: 'kivo.pk3' was not written\n"}},
    {.harm = "TscriptsFileBesideScriptsIsNotReplaced",
     .setup =
         [] {
           archive_with_bot_file();
           players_scripts();
           test::write_file("tscripts", "a file of the player's");
         },
     .says = {"error: 'tscripts' is in the way"}},
    {.harm = "TscriptsFileWithoutScriptsIsNotReplaced",
     .setup =
         [] {
           archive_with_bot_file();
           test::write_file("tscripts", "a file of the player's");
         },
     .says = {"error: 'tscripts' is in the way"}},
    {.harm = "ScriptsThatIsAFileComesBack",
     .setup =
         [] {
           archive_with_bot_file();
           test::write_file("scripts", "not a folder");
         }},
    {.harm = "ScriptsLinkedElsewhereIsNotOpenedUp",
     .setup =
         [] {
           archive_with_bot_file();
           g_linked = hostile::outside();
           test::write_file(g_linked / "theirs.bot", "read only");
           fs::permissions(g_linked / "theirs.bot", kReadOnly);
           fs::create_directory_symlink(g_linked, "scripts");
         },
     .check =
         [](const hostile::ProgramRun&) {
           EXPECT_EQ(fs::status(g_linked / "theirs.bot").permissions(),
                     kReadOnly);
           EXPECT_EQ(test::read_file(g_linked / "theirs.bot"), "read only");
         }},
    {.harm = "KivoCfgThatIsAFolderIsKept",
     .setup = [] { test::write_file("kivo.cfg/mine", "keep"); },
     .says = {"error: cannot write config file 'kivo.cfg' ("},
     .may_change = except(hostile::kOwnFiles, "kivo.cfg")},
    {.harm = "TempFileInTheWayKeepsTheOldKivoCfg",
     .setup =
         [] {
           test::write_file("kivo.cfg", "$ flags\ntier_hi 3\n$ end\n");
           test::write_file("kivo.cfg.tmp/mine", "keep");
         },
     .says = {"error: cannot write config file 'kivo.cfg' ("},
     .may_change = except(hostile::kOwnFiles, "kivo.cfg")},
    {.harm = "KivoPk3ThatIsAFolderIsKept",
     .setup = [] { test::write_file("kivo.pk3/mine", "keep"); },
     .says = {"error: the old 'kivo.pk3' could not be deleted"},
     .may_change = except(hostile::kOwnFiles, "kivo.pk3")},
    {.harm = "ListFileLinkedElsewhereIsNotWrittenThrough",
     .setup =
         [] {
           hostile::knight_pk3("knight.pk3");
           g_linked = hostile::outside() / "target";
           test::write_file(g_linked, "not the program's");
           fs::create_symlink(g_linked, "kivo.tmp");
         },
     .check =
         [](const hostile::ProgramRun&) {
           EXPECT_EQ(test::read_file(g_linked), "not the program's");
         }},
    {.harm = "KivoCfgLinkedElsewhereIsNotWrittenThrough",
     .setup =
         [] {
           g_linked = hostile::outside() / "target.cfg";
           test::write_file(g_linked, "$ flags\ntier_hi 3\n$ end\n");
           fs::create_symlink(g_linked, "kivo.cfg");
         },
     .check =
         [](const hostile::ProgramRun&) {
           EXPECT_EQ(test::read_file(g_linked), "$ flags\ntier_hi 3\n$ end\n");
           EXPECT_NE(test::read_file("kivo.cfg").find("tier_hi       3 "),
                     std::string::npos);
         }},
};

class Folders : public testing::TestWithParam<Case> {};

TEST_P(Folders, RunEndsWellAndKeepsThePlayersFiles) {
  hostile::run_case(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Hostile, Folders, testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.harm; });

}  // namespace
