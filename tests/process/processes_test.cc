// The real program as a process with the host's real tools: stopped by
// Ctrl-C and killed while it has the player's scripts folder on loan, two
// runs at once in one folder, what a run as another user left behind, and
// game folders that users other than the runner can change, refused before
// anything in them is touched.
#ifndef _WIN32

#include <grp.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/support.h"

namespace {

namespace fs = std::filesystem;

const std::string kExe = "'" KIVORAMA_EXE "'";
// Runs what follows as the user nobody; only root may.
const std::string kAsNobody =
    "setpriv --reuid=65534 --regid=65534 --clear-groups ";

// A scratch folder with the game folder "game" as the current folder: the
// case player-folder (archives, one with a bot file, and the player's
// scripts folder) after a run. The runs it starts find unzip and zip
// through stand-ins: one whose first argument is the run's `pause_at` (in
// the file "pause-at": the program hands its commands none of its own
// environment) writes its process number to "paused" and waits there until
// it is stopped.
struct Game : test::ScratchDir {
  Game() {
    fs::create_directories(path / "game");
    fs::current_path(path / "game");
    test::make_folder(test::kCases / "player-folder/folder");
    fs::permissions("scripts/notes.txt", fs::perms::owner_read);
    test::write_file(path / "bin/unzip",
                     "#!/bin/sh\ng=${0%/bin/*}\n[ \"$1\" = \"$(cat $g/pause-at "
                     "2>/dev/null)\" ] && echo $$ >$g/p && mv $g/p $g/paused "
                     "&& while :; do sleep 0.01; done\n"
                     "PATH=${PATH#*:} exec ${0##*/} \"$@\"\n");
    fs::permissions(path / "bin/unzip", fs::perms::owner_all);
    fs::create_symlink("unzip", path / "bin/zip");
    EXPECT_EQ(test::shell(kExe + " >/dev/null 2>&1; echo $?"), "0\n");
  }

  // Starts a run in a process group of its own (made before the program
  // starts), its output into `out`; the commands it starts come to this
  // process when it dies, to be reaped.
  pid_t start(const std::string& out, const std::string& pause_at = "") {
    fs::remove(path / "paused");
    test::write_file(path / "pause-at", pause_at);
    prctl(PR_SET_CHILD_SUBREAPER, 1);
    const std::string line =
        "PATH=\"$PWD/../bin:$PATH\" exec " + kExe + " >../" + out + " 2>&1";
    pid_t pid = fork();
    if (pid == 0) {
      setpgid(0, 0);
      execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (!pause_at.empty())  // for at most 20 s
      test::shell(
          "timeout 20 sh -c 'until [ -e ../paused ]; do sleep 0.01; done'");
    return pid;
  }
};

// The program's exit status, once it and every process it started (its
// process group) are gone.
int exit_status(pid_t pid) {
  int raw = 0;
  waitpid(pid, &raw, 0);
  while (waitpid(-pid, nullptr, 0) > 0) continue;  // the rest of its group
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// Held while unzip reads a bot file out of an archive, the player's scripts
// folder set aside: Ctrl-C (or SIGTERM) puts everything back and ends the
// run with 128 + the signal; a run killed outright is repaired by the next one.
// Two runs started at once: one may be refused, with the reason and status 1,
// never both, and the player's files stay as they were. (An editor saving
// kivo.cfg during a run: tests/config.)
TEST(Processes, RunsStoppedOrTwoAtOnce) {
  Game g;
  const test::Tree before = test::folder();
  // To the whole process group, as a terminal does, or a system stopping;
  // or to the command alone, which the run waits on (-SIGHUP): the same.
  pid_t pid = 0;
  for (int sig : {SIGINT, SIGTERM, -SIGHUP}) {
    pid = g.start("out", "paladin.pk3");
    kill(sig > 0 ? -pid : std::stoi(test::read_file("../paused")),
         std::abs(sig));
    EXPECT_EQ(exit_status(pid), 128 + std::abs(sig));
    EXPECT_SAYS(test::read_file("../out"), "error: the run was interrupted");
    EXPECT_EQ(test::folder(), before);
  }
  kill(-(pid = g.start("out", "paladin.pk3")), SIGKILL);
  exit_status(pid);
  const std::string out = test::shell(kExe + " 2>&1; echo status $?");
  EXPECT_SAYS(out, "repaired: your 'scripts' folder is back from 'tscripts'");
  EXPECT_SAYS(out, "\nstatus 0\n");
  EXPECT_EQ(test::players_part(test::folder()), test::players_part(before));

  for (int round = 0; round < 8; ++round) {
    const pid_t a = g.start("a"), b = g.start("b");
    const int sa = exit_status(a), sb = exit_status(b);
    EXPECT_LE(sa + sb, 1) << sa << " " << sb;
    EXPECT_SAYS(test::read_file(sa ? "../a" : "../b"),  // "" is in any text
                sa + sb ? "error: another run of kivorama is working" : "");
    EXPECT_EQ(test::players_part(test::folder()), test::players_part(before));
  }
}

// What a run as another user left: in a game folder of nobody's, nobody's
// run replaces a list file of root's, and a lock file of root's (a run as
// root was killed) refuses nobody's runs; in root's, one of nobody's refuses
// root's. Each names its owner and nothing changes.
TEST(Processes, WhatARunAsAnotherUserLeft) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs root, to run the program as another user";
  Game g;
  ASSERT_EQ(chown(".", 65534, 65534), 0);
  test::shell("echo stale.pk3 >kivo.tmp; chmod 644 kivo.tmp");
  int status = -1;
  std::string out = test::shell(kAsNobody + kExe + " 2>&1", &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_EQ(out.find("stale.pk3"), std::string::npos) << out;

  test::write_file("kivo.lock", "kivorama 1 0123456789abcdef\n");
  for (const std::string owner : {"root", "nobody"}) {
    const test::Tree before = test::folder();
    out = test::shell((owner == "root" ? kAsNobody : "") + kExe + " 2>&1",
                      &status);
    EXPECT_EQ(status, 1) << out;
    EXPECT_SAYS(out, "error: the lock file 'kivo.lock' belongs to the user '" +
                         owner + "'");
    EXPECT_EQ(test::folder(), before);
    ASSERT_EQ(chown("kivo.lock", 65534, 65534), 0);
    ASSERT_EQ(chown(".", 0, 0), 0);
  }
}

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

// Folders nobody may change: root's of mode 0777, root's of mode 0775 in
// nobody's group, and one of nobody's. In each, nobody has made kivo.cfg,
// its temporary file, the list file, the work folder and scripts (the
// player's set aside) links to root's file outside, and in root's the lock
// file too. Root's run says why it refuses, in one line, and nothing
// changes there or outside; the help is still given. (Run in nobody's, it
// would write its kivo.cfg into root's file.) A folder its group may write
// is run in when the group holds no user but the runner (root).
TEST(FolderCheck, AFolderOthersCanChangeIsNotTouched) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs root, to act as another user";
  const test::ScratchDir dir;
  test::write_file("secret", "root's own\n");
  fs::permissions("secret", fs::perms::owner_read | fs::perms::owner_write);
  const std::string secret = test::entry("secret");
  const std::string nobody = getpwuid(65534)->pw_name;
  for (const std::string kind : {"shared", "group", "theirs"}) {
    const bool theirs = kind == "theirs", shared = kind == "shared";
    fs::create_directory(dir.path / kind);
    fs::current_path(dir.path / kind);
    test::make_folder(test::kCases / "player-folder/folder");
    ASSERT_EQ(theirs ? chown(".", 65534, 65534)
                     : chown(".", 0, 65534) + chmod(".", shared ? 0777 : 0775),
              0);
    test::shell(kAsNobody +
                "sh -c 'mv scripts scripts.mine; for n in kivo.cfg "
                "kivo.cfg.tmp kivo.tmp kivo.ztmp scripts " +
                (theirs ? "" : "kivo.lock") +
                "; do ln -sf ../secret $n; done'");
    const test::Tree before = test::folder();
    const std::string path = fs::canonical(".").string();
    // What the host tells of the folder begins the one line said; the rest
    // of it is in the table of tests/guard/folder_test.cc.
    const std::string said =
        theirs   ? "belongs to the user '" + nobody + "' (mode 0755), who"
        : shared ? "(owner 'root', mode 0777) can be changed by other users,"
                 : "(owner 'root', mode 0775) can be changed by other users "
                   "of its group,";
    int status = -1;
    const std::string out = test::run_program({}, &status);
    EXPECT_TRUE(out.starts_with("error: the folder '" + path + "' " + said))
        << out;
    EXPECT_EQ(out.substr(out.find('\n') + 1), kHelpLine) << out;
    EXPECT_EQ(status, 1);
    EXPECT_SAYS(test::run_program({"-h"}, &status), "Usage: kivorama");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(test::folder(), before);
    EXPECT_EQ(test::entry("../secret"), secret);
  }
  EXPECT_EQ(test::shell("ls .."), "group\nsecret\nshared\ntheirs\n");
  if (!root_group_alone()) return;  // no group of root's alone to try
  fs::create_directory(dir.path / "root");
  fs::current_path(dir.path / "root");
  test::make_folder(test::kCases / "player-folder/folder");
  ASSERT_EQ(chown(".", 0, 0) + chmod(".", 0775), 0);
  int status = -1;
  EXPECT_SAYS(test::run_program({}, &status), "wrote 'kivo.cfg'");
  EXPECT_EQ(status, 0);
}

}  // namespace

#endif  // _WIN32
