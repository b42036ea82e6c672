// kivo.pk3 as a player may keep it: a link to an archive elsewhere, theirs
// or another user's (kivo.cfg as another user's link too); and the new
// archive in the work folder, or kivo.cfg's temporary file, swapped for a
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
    for (const char* folder : {"game", "outside"}) fs::create_directory(folder);
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

// A link of the runner's own stays a link; the archive it names gets the
// new members and keeps its mode, and nothing is left beside it.
TEST(Archive, ALinkOfTheRunnersStaysAndItsFileGetsTheNewArchive) {
  if (test::kIsWindowsHost) GTEST_SKIP() << "links are POSIX here";
  Game g;
  fs::create_symlink("../outside/bots.pk3", "kivo.pk3");
  const test::Outcome o = test::run_main();
  EXPECT_EQ(o.status, 0) << o.out;
  EXPECT_TRUE(fs::is_symlink("kivo.pk3"));
  const test::Members now = test::members((g.outside / "bots.pk3").string());
  EXPECT_TRUE(now.contains("scripts/KniRed.bot"));
  EXPECT_FALSE(now.contains("scripts/Old.bot"));
  EXPECT_EQ(fs::status(g.outside / "bots.pk3").permissions(), fs::perms(0640));
  EXPECT_EQ(test::folder(g.outside).size(), 1u);
}

// What the run made (the new archive in kivo.ztmp, kivo.cfg's temporary
// file) is swapped for a link to a file outside just before it gets the old
// file's mode (or a new file's, when there was none), or kivo.ztmp for one
// to the folder outside, which has a kivo.pk3, before the run works in it
// or before the new archive takes the old one's place: what is outside
// keeps its mode and stays where and as it is, the old file stays (or the
// line says there is none).
TEST(Archive, AFileSwappedForALinkPassesNoModeThrough) {
  if (test::kIsWindowsHost) GTEST_SKIP() << "links are POSIX here";
  const struct {
    const char *old, *operation, *swapped, *said;
    int nth = 1;  // the operation's first time, or which
  } rows[] = {
      {"kivo.pk3", "copy_mode kivo.pk3", "kivo.ztmp/kivo.pk3",
       "error: cannot give the new 'kivo.pk3' its mode (Too many levels of "
       "symbolic links); the old one is left as it was\n"},
      {"", "fresh_mode kivo.ztmp/kivo.pk3", "kivo.ztmp/kivo.pk3",
       "error: cannot give the new 'kivo.pk3' its mode (Too many levels of "
       "symbolic links); there is no 'kivo.pk3' yet\n"},
      {"kivo.cfg", "copy_mode kivo.cfg", "kivo.cfg.tmp",
       "error: cannot write config file 'kivo.cfg' (Too many levels of "
       "symbolic links); it is left as it was\n"},
      {"kivo.pk3", "change_folder kivo.ztmp", "kivo.ztmp",
       "error: cannot work in the folder 'kivo.ztmp' (Invalid cross-device"},
      {"kivo.pk3", "identify kivo.ztmp", "kivo.ztmp",
       "cannot take the place of the old one (Invalid cross-device link)", 2},
  };
  for (const auto& row : rows) {
    Game g;
    if (*row.old == 'k') test::run_main();  // an old kivo.pk3 and kivo.cfg
    test::write_file(g.outside / "victim", "theirs");
    fs::permissions(g.outside / "victim", fs::perms(0600));
    test::make_pk3((g.outside / "kivo.pk3").string(), {{"theirs", "x"}});
    const test::Tree before = test::folder(g.path);
    int seen = 0;
    test::each_operation = [&] {
      if (test::operation != row.operation || ++seen != row.nth) return;
      const fs::path made = g.path / "game" / row.swapped;
      fs::rename(made, g.path / "made");
      fs::create_symlink(
          fs::is_directory(g.path / "made") ? g.outside : g.outside / "victim",
          made);
    };
    const test::Outcome o = test::run_main();
    test::each_operation = nullptr;
    EXPECT_SAYS(o.out, row.said);  // so the swap was made
    const test::Tree after = test::folder(g.path);
    const std::string kept =
        std::string("game/") + (*row.old ? row.old : "kivo.pk3");
    for (const char* path : {"outside/victim", "outside/bots.pk3",
                             "outside/kivo.pk3", kept.c_str()})
      EXPECT_EQ(test::at(after, path), test::at(before, path)) << path;
  }
}

#ifndef _WIN32
// Another user's link may lead anywhere that user chose: kivo.pk3 as such a
// link is refused before anything is packed, and kivo.cfg is still written;
// kivo.cfg as such a link is not even read, and the run stops. Each stays
// as it is, with what it names.
TEST(Archive, AnotherUsersLinkIsNeitherReadNorWritten) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to give a link away";
  for (const std::string name : {"kivo.pk3", "kivo.cfg"}) {
    Game g;
    test::write_file(g.outside / "theirs.cfg", "$ flags\ntier_hi 3\n$ end\n");
    fs::create_symlink(
        name == "kivo.pk3" ? "../outside/bots.pk3" : "../outside/theirs.cfg",
        name);
    ASSERT_EQ(lchown(name.c_str(), 65534, 65534), 0);
    const test::Tree before = test::folder(g.outside);
    const test::Outcome o = test::run_main();
    EXPECT_EQ(o.status, 1) << o.out;
    EXPECT_SAYS(o.out, "error: '" + name +
                           "' is a link that belongs to the user 'nobody', "
                           "not to you; it is ");
    EXPECT_EQ(o.out.find("please wait"), std::string::npos) << o.out;
    EXPECT_EQ(o.out.find("wrote 'kivo.cfg'") == std::string::npos,
              name == "kivo.cfg")
        << o.out;
    EXPECT_TRUE(fs::is_symlink(name));
    EXPECT_EQ(test::folder(g.outside), before);
  }
}
#endif

}  // namespace
