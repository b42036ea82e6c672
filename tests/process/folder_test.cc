// Game folders that users other than the runner can change, refused before
// anything in them is touched: root runs kivorama where the user nobody has
// planted links to a file only root may change.
#ifndef _WIN32

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include "support/support.h"

namespace {

namespace fs = std::filesystem;

// Runs what follows as the user nobody; only root may.
const std::string kAsNobody =
    "setpriv --reuid=65534 --regid=65534 --clear-groups ";
const std::string kHelpLine = "\nfor help, '" KIVORAMA_EXE " -h'\n";

// Whether root is the only user of the group root, as a member or by its
// primary group.
bool root_group_alone() {
  const group* gr = getgrgid(0);
  bool alone = gr != nullptr;
  for (char** name = alone ? gr->gr_mem : nullptr; alone && *name; ++name)
    alone = std::string(*name) == "root";
  setpwent();
  while (const passwd* pw = alone ? getpwent() : nullptr)
    alone = pw->pw_gid != 0 || pw->pw_uid == 0;
  endpwent();
  return alone;
}

// A folder of mode 0777, and one of nobody's: in each, nobody has made
// kivo.cfg, its temporary file, the list file, the work folder and scripts
// (the player's set aside) links to root's file outside, and in the first
// the lock file too. Root's run says why it refuses, in one line, and
// nothing changes there or outside; the help is still given. (Run in the
// second, it would write its kivo.cfg into root's file.)
TEST(FolderCheck, AFolderOthersCanChangeIsNotTouched) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs root, to act as another user";
  const test::ScratchDir dir;
  test::write_file("secret", "root's own\n");
  fs::permissions("secret", fs::perms::owner_read | fs::perms::owner_write);
  const std::string secret = test::entry("secret");
  const std::string nobody = getpwuid(65534)->pw_name;
  for (const bool theirs : {false, true}) {
    const fs::path game = dir.path / (theirs ? "theirs" : "shared");
    fs::create_directory(game);
    fs::current_path(game);
    test::make_folder(test::kCases / "player-folder/folder");
    ASSERT_EQ(theirs ? chown(".", 65534, 65534) : chmod(".", 0777), 0);
    test::shell(kAsNobody +
                "sh -c 'mv scripts scripts.mine; for n in kivo.cfg "
                "kivo.cfg.tmp kivo.tmp kivo.ztmp scripts " +
                (theirs ? "" : "kivo.lock") +
                "; do ln -sf ../secret $n; done'");
    const test::Tree before = test::folder();
    ASSERT_EQ(test::at(before, "kivo.cfg") + test::entry("kivo.tmp"),
              "l../secret" + std::string("l../secret"));
    const std::string path = fs::canonical(".").string();
    const std::string said =
        theirs ? "error: the folder '" + path + "' belongs to the user '" +
                     nobody +
                     "' (mode 0755), who could change it while this run "
                     "works, so nothing was changed: run kivorama as '" +
                     nobody + "' (sudo -u " + nobody + " kivorama)\n"
               : "error: the folder '" + path +
                     "' (owner 'root', mode 0777) can be changed by other "
                     "users, so nothing was changed: let only its owner "
                     "change it (chmod " +
                     (root_group_alone() ? "o" : "go") + "-w '" + path +
                     "') and run again\n";
    int status = -1;
    EXPECT_EQ(test::run_program({}, &status), said + kHelpLine);
    EXPECT_EQ(status, 1);
    EXPECT_SAYS(test::run_program({"-h"}, &status), "Usage: kivorama");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::folder(), before);
    EXPECT_EQ(test::entry("kivo.tmp"), "l../secret");
    EXPECT_EQ(test::entry("../secret"), secret);
  }
  EXPECT_EQ(test::shell("ls .."), "secret\nshared\ntheirs\n");
}

// A folder its group may write is run in when the group holds no user but
// the runner (root), and refused when it holds another (nobody).
TEST(FolderCheck, AGroupFolderOfTheRunnersAloneIsRunIn) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root, to give a folder a group";
  if (!root_group_alone()) GTEST_SKIP() << "the group root has other users";
  const test::ScratchDir dir;
  test::make_folder(test::kCases / "player-folder/folder");
  ASSERT_EQ(chown(".", 0, 0) + chmod(".", 0775), 0);
  int status = -1;
  EXPECT_SAYS(test::run_program({}, &status), "wrote 'kivo.cfg'");
  EXPECT_EQ(status, 0);

  ASSERT_EQ(chown(".", 0, getpwuid(65534)->pw_gid), 0);
  const test::Tree before = test::folder();
  const std::string path = fs::canonical(".").string();
  EXPECT_EQ(test::run_program({}, &status),
            "error: the folder '" + path +
                "' (owner 'root', mode 0775) can be changed by other users "
                "of its group, so nothing was changed: let only its owner "
                "change it (chmod g-w '" +
                path + "') and run again\n" + kHelpLine);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(test::folder(), before);
}

}  // namespace

#endif  // _WIN32
