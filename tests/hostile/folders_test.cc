// The player's own folders and files next to the program's: a scripts
// folder, a tscripts left behind, and the program's own file names taken by
// folders or links. Nothing of the player's may be lost, and nothing may be
// written outside the folder.
#include "hostile/hostile.h"

namespace {

using hostile::cfg;
using hostile::Folder;
namespace fs = std::filesystem;

// An archive with a bot file, so the scan borrows the scripts folder too.
void archive_with_bot_file() {
  test::make_pk3("knight.pk3", {{"models/players/knight/head.md3", "m"},
                                {"models/players/knight/head_red.skin", "s"},
                                {"scripts/knight.bot",
                                 "{\nname Knight\nmodel knight/red\n}\n"}});
}

TEST(HostileFolders, PlayersScriptsFolderComesBackWhole) {
  KIVO_NEEDS_UNIX_SHELL();
  for (std::string in_the_way : {"", "tscripts/other.bot", "tscripts"}) {
    Folder f;
    archive_with_bot_file();
    test::write_file("scripts/own.bot", "{\nname Mine\n}\n");
    test::write_file("scripts/deep/notes.txt", "keep me");
    if (!in_the_way.empty()) test::write_file(in_the_way, "theirs");
    f.expect_status = in_the_way.empty() ? 0 : 1;
    f.run({in_the_way.empty() ? "wrote 'kivo.pk3'"
                              : "error: 'tscripts' is in the way; the "
                                "'scripts' folder cannot be set aside, so this "
                                "step is skipped\n"});
    EXPECT_EQ(cfg().find("\nKnight ") != std::string::npos, in_the_way.empty());
  }
}

TEST(HostileFolders, OwnFileNamesTakenByFolders) {
  KIVO_NEEDS_UNIX_SHELL();
  const std::pair<const char*, const char*> cases[] = {
      {"kivo.cfg/mine", "error: cannot write config file 'kivo.cfg' ("},
      {"kivo.pk3/mine",
       "error: 'kivo.pk3' is not a file; it is left as it "
       "was, and no new one is written\n"}};
  for (auto [mine, says] : cases) {
    Folder f;
    test::write_file(mine, "keep");
    f.expect_status = 1;
    f.run({says});
  }
}

// Links from the game folder to files outside it are neither written through
// nor opened up; a player's file named like a bot stays as it was.
TEST(HostileFolders, LinksPointingOutside) {
  KIVO_NEEDS_UNIX_SHELL();
  Folder f;
  archive_with_bot_file();
  const fs::path out = f.path / "outside";  // targets named "<link>.out"
  const char* links[] = {"kivo.tmp", "kivo.cfg", "kivo.cfg.tmp", "UriZael.bot"};
  for (std::string name : links) {
    test::write_file(out / (name + ".out"), "$ flags\ntier_hi 3\n$ end\n");
    fs::create_symlink(out / (name + ".out"), name);
  }
  test::write_file(out / "scripts.out/x.bot", "theirs");
  fs::permissions(out / "scripts.out/x.bot", fs::perms::owner_read);
  fs::create_directory_symlink(out / "scripts.out", "scripts");
  test::write_file("SlaGrrl.bot", "the player's own");
  fs::current_path(out);
  const auto outside = test::folder();
  fs::current_path(f.path / "game");
  f.expect_status = 1;
  f.run({"error: cannot write 'UriZael.bot'; player 'UriZael' skipped\n",
         "error: cannot write 'SlaGrrl.bot'; player 'SlaGrrl' skipped\n"},
        "", {"kivo.cfg", "kivo.cfg.tmp", "kivo.pk3", "kivo.tmp"});
  EXPECT_NE(cfg().find("tier_hi       3 "), std::string::npos);
  fs::current_path(out);
  EXPECT_EQ(test::folder(), outside);
  EXPECT_EQ(fs::status("scripts.out/x.bot").permissions(),
            fs::perms::owner_read);
}

}  // namespace
