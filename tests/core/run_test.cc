// Whole runs in this process with the real tools, in folders whose content
// is made here rather than kept as data (see runs_test.cc): archives too
// large to keep, and links to files outside the folder. Each run must end
// with the right status, say what it refused, and leave every file of the
// player's as it was.
#include <gtest/gtest.h>

#include "support/fault_host.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;

// Runs the program here; it must end with `status`, print every text of
// `says`, and leave the player's part of the folder as it was.
test::Outcome run(int status, const std::vector<std::string>& says = {}) {
  const test::Tree before = test::players_part(test::folder());
  test::Outcome o = test::run_main();
  EXPECT_EQ(o.status, status) << o.out;
  for (const std::string& text : says) EXPECT_SAYS(o.out, text);
  EXPECT_EQ(test::players_part(test::folder()), before) << o.out;
  return o;
}

// How often `text` occurs in kivo.cfg (written with the host's line ends).
int rows(const std::string& text) {
  const std::string file = test::read_file("kivo.cfg"),
                    t = test::host_line_ends(text);
  int n = 0;
  for (auto at = file.find(t); at != file.npos; at = file.find(t, at + 1)) ++n;
  return n;
}

// Listing lines of 3,000 characters come in pieces; 4,400 members overfill
// every table of 1,024 rows; 1,100 bot definitions overfill theirs; and
// the next run reads the kivo.cfg of that whole roster back.
TEST(WholeRun, HugeArchivesFillTheTablesWithoutOverrun) {
  test::ScratchDir dir;
  std::string deep = "models/players/piece";
  for (int i = test::kIsWindowsHost ? 14 : 0; i < 14; ++i)
    deep += "/" + std::string(200, 'k');
  test::Members big = {{deep + "/head_red.skin", "s"},
                       {"scripts/" + std::string(200, 'b') + ".bot", "{}"}};
  const char* kinds[] = {"models/players/m%/head.md3",
                         "models/players/knight/head_s%.skin",
                         "botfiles/bots/ai%_c.c", "textures/t%.tga"};
  for (int i = 0; i < 4400; ++i) {
    std::string kind = kinds[i % 4];
    big[kind.replace(kind.find('%'), 1, std::to_string(i))] = "";
  }
  test::make_pk3("big.pk3", big);
  std::string defs;
  for (int i = 0; i < 1100; ++i)
    defs += "{\nname B" + std::to_string(i) + "\nmodel ogre/s" +
            std::to_string(i) + "\naifile bots/crash_c.c\n}\n";
  test::make_pk3("bots.pk3", {{"models/players/ogre/head.md3", "m"},
                              {"models/players/ogre/head_s1.skin", "s"},
                              {"scripts/many.bot", defs}});
  run(0, {"warn: "}), run(0, {"warn: "});  // the second reads kivo.cfg back
  EXPECT_EQ(rows("\n1024 "), 1);           // total_players
  EXPECT_EQ(rows(" 9 \n"), 1024 - 32);     // AI files of tier 9
}

TEST(WholeRun, TheArchiveListHolds1535Archives) {
  if (test::kIsWindowsHost)
    GTEST_SKIP() << "1,535 runs of unzip.exe take minutes under wine";
  test::ScratchDir dir;
  for (int i = 10000; i < 11600; ++i)
    test::write_file("a" + std::to_string(i) + ".pk3", "");
  run(0, {"warn: the archive list is full; 'a11535.pk3' and later archives "
          "are not read\n",
          "  reading pk3 file 'a11534.pk3'\n"});
}

// Links from the game folder to files outside it are neither written through
// nor opened up; a kivo.cfg that is a link keeps it, the file it names gets
// the new text, and its old text, which held a line the run could not use,
// is kept as kivo.cfg.bak in the game folder.
TEST(Folders, LinksPointingOutside) {
  if (test::kIsWindowsHost) GTEST_SKIP() << "links are POSIX";
  test::ScratchDir dir;
  fs::create_directories("game");
  const fs::path out = dir.path / "outside";  // targets named "<link>.out"
  fs::current_path("game");
  test::make_pk3("knight.pk3", {{"models/players/knight/head.md3", "m"},
                                {"models/players/knight/head_red.skin", "s"},
                                {"scripts/knight.bot",
                                 "{\nname Knight\nmodel knight/red\n}\n"}});
  for (std::string name :
       {"kivo.tmp", "kivo.cfg", "kivo.ztmp", "UriZael.bot", "kivo.pk3"}) {
    test::write_file(out / (name + ".out"), "$ flags\ntier_hi 3\n$ end\nx\n");
    fs::create_symlink(out / (name + ".out"), name);
  }
  test::write_file(out / "scripts.out/x.bot", "theirs");
  fs::permissions(out / "scripts.out/x.bot", fs::perms::owner_read);
  fs::create_directory_symlink(out / "scripts.out", "scripts");
  test::Tree outside = test::folder(out);
  const test::Outcome o = test::run_main();
  EXPECT_EQ(o.status, 1) << o.out;
  EXPECT_SAYS(o.out, "error: 'kivo.ztmp' is in the way");
  EXPECT_TRUE(fs::is_symlink("kivo.cfg"));
  EXPECT_TRUE(fs::is_symlink("kivo.pk3"));
  EXPECT_EQ(test::read_file("kivo.cfg.bak"), "$ flags\ntier_hi 3\n$ end\nx\n");
  const std::string cfg = test::read_file(out / "kivo.cfg.out");
  EXPECT_SAYS(cfg, "tier_hi       3 ");
  EXPECT_SAYS(cfg, "Knight");
  test::Tree after = test::folder(out);
  after["kivo.cfg.out"] = outside["kivo.cfg.out"];
  EXPECT_EQ(after, outside);
}

}  // namespace
