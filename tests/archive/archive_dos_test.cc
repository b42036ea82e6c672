// The DOS/Windows command set: the command lines are recorded, and a
// responder plays the part of dir, unzip, move, del and rmdir.
#include <gtest/gtest.h>

#include "archive/archive_helpers.h"

namespace {

namespace fs = std::filesystem;

TEST(DosCommands, WholeScanOfAnArchiveWithABotFile) {
  test::ScratchDir dir;
  test::write_file("scripts/own.bot", "mine");
  // The bot file is listed before the model files, and the listing is more
  // than a read buffer holds: reading the bot file overwrites kivo.tmp, which
  // must not cost the rest of the listing.
  const std::string listing =
      "Archive:  knight.pk3\n"
      "       40  2024-01-01 10:00   scripts/knight.bot\n" +
      std::string(200 * 60, 'w') +
      "\n       10  2024-01-01 10:00   models/players/knight/head.md3\n"
      "       10  2024-01-01 10:00   models/players/knight/head_red.skin\n";
  test::CommandRecorder host([&](const std::string& line) {
    std::error_code ec;
    if (line == "dir /b >kivo.tmp")
      test::write_file(kListFile, "kivo.tmp\npak0.pk3\nknight.pk3\n100%.pk3\n");
    else if (line.starts_with("unzip -l "))
      test::write_file(kListFile, listing);
    else if (line.starts_with("move "))  // the folder is set aside or back
      line[5] == 's' ? fs::rename("scripts", "tscripts", ec)
                     : fs::rename("tscripts", "scripts", ec);
    else if (line == "unzip knight.pk3 scripts/knight.bot") {
      // The program opens it as "scripts\knight.bot": a file inside scripts
      // on Windows, a file of that name next to it on Linux.
      fs::create_directory("scripts");
      test::write_file(
          "scripts\\knight.bot",
          "{\nname Knight\nmodel knight/red\naifile bots/knight_c.c\n}\n");
    } else if (line.starts_with("del "))
      fs::remove(line.substr(4), ec);
    else if (line == "rmdir scripts")
      fs::remove("scripts", ec);
  });
  auto s = test::fresh_state();
  sy_get_pk3_list(s->pk3_list.data(), static_cast<int>(kNameChars), kPk3Slots);
  EXPECT_EQ(
      test::printed([&] { EXPECT_EQ(gd_get_models_players_aifiles(*s), 1); }),
      "  reading pk3 file 'knight.pk3'\n  reading pk3 file '100%.pk3'\n"
      "warn: archive '100%.pk3' skipped: its name cannot be passed safely "
      "to the shell\n");
  EXPECT_EQ(host.lines, (std::vector<std::string>{
                            "dir /b >kivo.tmp", "unzip -l knight.pk3 >kivo.tmp",
                            "move scripts tscripts >kivo.tmp",
                            "unzip knight.pk3 scripts/knight.bot",
                            "del scripts\\knight.bot", "rmdir scripts",
                            "move tscripts scripts >kivo.tmp"}));
  EXPECT_EQ(test::added(*s),
            "model knight; KniRed ^5Kni^6Red knight red knight; "
            "bot Knight||knight|knight|red; ");
  EXPECT_EQ(test::folder(),
            (std::map<std::string, std::string>{{"scripts", "d"},
                                                {"scripts/own.bot", "fmine"}}));
}

}  // namespace
