// The DOS/Windows command set: the command lines are recorded, and a
// responder plays the part of dir, unzip, move, del and rmdir.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/archive_helpers.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

// A folder and tools as the DOS/Windows set sees them. Paths inside
// scripts use a backslash, so on this host the extracted file is the file
// named "scripts\<F>" next to the folder scripts.
struct DosHost {
  std::string dir_listing;
  std::string archive_listing;
  std::map<std::string, std::string> extractable;  // member -> content
  test::CommandRecorder recorder{
      [this](const std::string& line) { respond(line); }};

  void respond(const std::string& line) {
    std::error_code ec;
    if (line == "dir /b >kivo.tmp") {
      test::write_file(kListFile, dir_listing);
    } else if (line.starts_with("unzip -l ")) {
      test::write_file(kListFile, archive_listing);
    } else if (line == "move scripts tscripts >kivo.tmp") {
      fs::rename("scripts", "tscripts", ec);
      test::write_file(kListFile, "        1 dir(s) moved.\n");
    } else if (line == "move tscripts scripts >kivo.tmp") {
      fs::rename("tscripts", "scripts", ec);
      test::write_file(kListFile, "        1 dir(s) moved.\n");
    } else if (line.starts_with("unzip ")) {
      std::string member = line.substr(line.rfind(" scripts/") + 9);
      auto it = extractable.find(member);
      if (it == extractable.end()) return;
      fs::create_directory("scripts");
      test::write_file("scripts\\" + member, it->second);
    } else if (line.starts_with("del scripts\\")) {
      fs::remove(line.substr(4), ec);
    } else if (line == "rmdir scripts") {
      fs::remove("scripts", ec);
    }
  }
};

TEST(DosCommands, WholeScanOfAnArchiveWithABotFile) {
  test::ScratchDir dir;
  test::write_file("scripts/own.bot", "mine");
  DosHost host;
  host.dir_listing =
      "kivo.tmp\npak0.pk3\nknight.pk3\nx.pk3\nkivo.cfg\nzbot.pk3\n";
  // The bot file is listed before the model files: reading it overwrites
  // kivo.tmp, which must not cost the rest of the listing.
  host.archive_listing =
      std::string(
          "Archive:  knight.pk3\n"
          "  Length      Date    Time    Name\n"
          "---------  ---------- -----   ----\n"
          "       40  2024-01-01 10:00   scripts/knight.bot\n") +
      // more than a read buffer holds, so the rest is read after the move
      std::string(200, ' ') + "\n" + std::string(200 * 60, 'w') + "\n" +
      "       10  2024-01-01 10:00   models/players/knight/head.md3\n"
      "       10  2024-01-01 10:00   models/players/knight/head_red.skin\n"
      "---------                     -------\n"
      "       60                     3 files\n";
  host.extractable["knight.bot"] =
      "{\nname Knight\nmodel knight/red\naifile bots/knight_c.c\n}\n";
  auto s = test::fresh_state();
  sy_get_pk3_list(s->pk3_list.data(), static_cast<int>(kNameChars), kPk3Slots);
  // The DOS listing prints folders like files: x.pk3 is kept.
  EXPECT_THAT(test::rows(s->pk3_list, 0), ElementsAre("knight.pk3", "x.pk3"));
  s->pk3_list[1].clear();
  testing::internal::CaptureStdout();
  EXPECT_EQ(gd_get_models_players_aifiles(*s), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "  reading pk3 file 'knight.pk3'\n");
  EXPECT_THAT(host.recorder.lines(),
              ElementsAre("dir /b >kivo.tmp", "unzip -l knight.pk3 >kivo.tmp",
                          "move scripts tscripts >kivo.tmp",
                          "unzip knight.pk3 scripts/knight.bot",
                          "del scripts\\knight.bot", "rmdir scripts",
                          "move tscripts scripts >kivo.tmp"));
  EXPECT_THAT(test::rows(s->model_names, kBuiltinModels, s->model_count),
              ElementsAre("knight"));
  EXPECT_THAT(test::added_players(*s),
              ElementsAre("KniRed ^5Kni^6Red knight red knight"));
  EXPECT_THAT(test::xai_rows(*s), ElementsAre("Knight||knight|knight|red"));
  EXPECT_EQ(test::read_file("scripts/own.bot"), "mine");
  EXPECT_FALSE(fs::exists("tscripts"));
  EXPECT_FALSE(fs::exists("scripts\\knight.bot"));
}

TEST(DosCommands, FailedExtractionStillGivesTheFolderBack) {
  test::ScratchDir dir;
  test::write_file("scripts/own.bot", "mine");
  DosHost host;  // nothing can be extracted
  auto s = test::fresh_state();
  testing::internal::CaptureStderr();
  gd_parse_aifile(*s, "knight.pk3", "knight.bot");
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "err: cannot open 'scripts\\knight.bot' for read\n");
  EXPECT_THAT(host.recorder.lines(),
              ElementsAre("move scripts tscripts >kivo.tmp",
                          "unzip knight.pk3 scripts/knight.bot",
                          "move tscripts scripts >kivo.tmp"));
  EXPECT_EQ(test::read_file("scripts/own.bot"), "mine");
  EXPECT_FALSE(fs::exists("tscripts"));
}

TEST(DosCommands, NamesCmdCannotTakeAreSkippedWithAWarning) {
  test::ScratchDir dir;
  DosHost host;
  host.archive_listing =
      "       40  2024-01-01 10:00   scripts/50%off.bot\n"
      "       40  2024-01-01 10:00   scripts/say\"hi\".bot\n"
      "       40  2024-01-01 10:00   scripts/all*.bot\n"
      "       10  2024-01-01 10:00   models/players/elf/head_red.skin\n";
  auto s = test::fresh_state();
  testing::internal::CaptureStdout();
  test::scan(*s, {"100%.pk3", "my maps.pk3"});
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "  reading pk3 file '100%.pk3'\n"
            "warn: archive '100%.pk3' skipped: its name cannot be passed "
            "safely to the shell\n"
            "  reading pk3 file 'my maps.pk3'\n"
            "warn: bot file '50%off.bot' skipped: its name cannot be passed "
            "safely to the shell\n"
            "warn: bot file 'say\"hi\".bot' skipped: its name cannot be "
            "passed safely to the shell\n"
            "warn: bot file 'all*.bot' skipped: its name cannot be passed "
            "safely to the shell\n");
  EXPECT_THAT(host.recorder.lines(),
              ElementsAre("unzip -l \"my maps.pk3\" >kivo.tmp"));
  EXPECT_THAT(test::added_players(*s),
              ElementsAre("ElfRed ^5Elf^6Red elf red my maps"));
}

}  // namespace
