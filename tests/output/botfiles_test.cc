// kivo.pk3 as a player may keep it: a link to an archive elsewhere, theirs
// or another user's; and the new archive in the work folder swapped for a
// link just before it gets its mode. Nothing outside the game folder is
// ever written through a link that the runner did not make. (A read-only
// kivo.pk3 is the case tests/runs/output-read-only-archive-is-kept.)
#include <gtest/gtest.h>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "support/fault_host.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;

// A game folder "game" with one skin, KniRed, and the folder "outside"
// beside it, which holds an old archive with one bot, Old.
struct Game : test::ScratchDir {
  Game() {
    fs::create_directories("game");
    fs::create_directories("outside");
    fs::current_path("outside");
    test::make_pk3("bots.pk3", {{"scripts/Old.bot", "{\nname Old\n}\n"}});
    fs::permissions("bots.pk3", fs::perms(0640));
    fs::current_path(path / "game");
    test::make_pk3("knight.pk3",
                   {{"models/players/knight/head.md3", "m"},
                    {"models/players/knight/head_red.skin", "s"}});
  }
  const fs::path outside = path / "outside";
};

// Names the members of an archive, one a line.
std::string names(const fs::path& archive) {
  std::string out;
  for (const auto& [member, text] : test::members(archive.string()))
    out += member + "\n";
  return out;
}

// A link of the runner's own stays a link; the archive it names gets the
// new members and keeps its mode, and nothing is left beside it. A file in
// the way of the archive's temporary name there is refused before anything
// is packed.
TEST(Archive, ALinkOfTheRunnersStaysAndItsFileGetsTheNewArchive) {
  if (test::kIsWindowsHost) GTEST_SKIP() << "links are POSIX here";
  for (bool in_the_way : {false, true}) {
    Game g;
    fs::create_symlink("../outside/bots.pk3", "kivo.pk3");
    if (in_the_way) test::write_file(g.outside / "bots.pk3.tmp", "mine");
    const test::Tree before = test::folder(g.outside);
    const test::Outcome o = test::run_main();
    EXPECT_TRUE(fs::is_symlink("kivo.pk3"));
    EXPECT_FALSE(fs::exists("kivo.ztmp"));
    if (in_the_way) {
      EXPECT_EQ(o.status, 1) << o.out;
      EXPECT_SAYS(o.out, "/outside/bots.pk3.tmp' is in the way");
      EXPECT_EQ(o.out.find("please wait"), std::string::npos) << o.out;
      EXPECT_EQ(test::folder(g.outside), before);
      continue;
    }
    EXPECT_EQ(o.status, 0) << o.out;
    EXPECT_SAYS(o.out, "wrote 'kivo.pk3'");
    const std::string now = names(g.outside / "bots.pk3");
    EXPECT_SAYS(now, "scripts/KniRed.bot\n");
    EXPECT_EQ(now.find("Old.bot"), std::string::npos) << now;
    EXPECT_EQ(fs::status(g.outside / "bots.pk3").permissions(),
              fs::perms(0640));
    EXPECT_EQ(test::folder(g.outside).size(), 1u);
  }
}

// The new archive in kivo.ztmp is swapped for a link to a file outside just
// before it gets the old archive's mode (or a new file's, when there was
// none): the file outside keeps its own, the old kivo.pk3 stays.
TEST(Archive, ANewArchiveSwappedForALinkPassesNoModeThrough) {
  if (test::kIsWindowsHost) GTEST_SKIP() << "links are POSIX here";
  for (bool old : {true, false}) {
    Game g;
    if (old) fs::copy_file(g.outside / "bots.pk3", "kivo.pk3");
    test::write_file(g.outside / "victim", "theirs");
    fs::permissions(g.outside / "victim", fs::perms(0600));
    const test::Tree before = test::folder(g.path);
    bool swapped = false;
    test::each_operation = [&] {
      if (swapped || test::operation != (old ? "copy_mode kivo.pk3"
                                             : "fresh_mode kivo.ztmp/kivo.pk3"))
        return;
      fs::remove(g.path / "game/kivo.ztmp/kivo.pk3");
      fs::create_symlink(g.outside / "victim",
                         g.path / "game/kivo.ztmp/kivo.pk3");
      swapped = true;
    };
    const test::Outcome o = test::run_main();
    test::each_operation = nullptr;
    EXPECT_TRUE(swapped);
    EXPECT_EQ(o.status, 1) << o.out;
    EXPECT_SAYS(o.out,
                "error: cannot give the new 'kivo.pk3' its mode (Too many "
                "levels of symbolic links); the old one is left as it was\n");
    const test::Tree after = test::folder(g.path);
    for (const char* path : {"outside/victim", "outside/bots.pk3",
                             "game/kivo.pk3", "game/knight.pk3"})
      EXPECT_EQ(test::at(after, path), test::at(before, path)) << path;
  }
}

#ifndef _WIN32
// Another user's link may lead anywhere that user chose: kivo.pk3 as such a
// link is refused before anything is packed and stays as it is, with what
// it names; kivo.cfg is still written.
TEST(Archive, AnotherUsersLinkIsLeftAsItIs) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to give a link away";
  Game g;
  fs::create_symlink("../outside/bots.pk3", "kivo.pk3");
  ASSERT_EQ(lchown("kivo.pk3", 65534, 65534), 0);
  const test::Tree before = test::folder(g.outside);
  const test::Outcome o = test::run_main();
  EXPECT_EQ(o.status, 1) << o.out;
  EXPECT_SAYS(o.out,
              "error: 'kivo.pk3' is a link that belongs to the user "
              "'nobody', not to you; it is left as it is and not written\n");
  EXPECT_SAYS(o.out, "wrote 'kivo.cfg'\n");
  EXPECT_EQ(o.out.find("please wait"), std::string::npos) << o.out;
  EXPECT_TRUE(fs::is_symlink("kivo.pk3"));
  EXPECT_EQ(test::folder(g.outside), before);
}
#endif

}  // namespace
