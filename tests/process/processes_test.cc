// The real program as a process with the host's real tools: stopped by
// Ctrl-C while a command runs, killed while it has the player's scripts
// folder on loan, started twice at once in one folder, and run by a player
// who cannot write an old kivo.tmp.
#ifndef _WIN32

#include <signal.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <random>
#include <thread>

#include "support/support.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder with the game folder "game" as the current folder, and
// the archives and scripts folder of a player beside an earlier run's
// kivo.cfg and kivo.pk3.
struct Game : test::ScratchDir {
  Game() {
    fs::create_directories(path / "game");
    fs::current_path(path / "game");
    test::make_pk3("knight.pk3",
                   {{"models/players/knight/head.md3", "m"},
                    {"models/players/knight/head_red.skin", "s"}});
    test::make_pk3(
        "paladin.pk3",
        {{"models/players/paladin/head.md3", "m"},
         {"models/players/paladin/head_default.skin", "s"},
         {"scripts/paladin.bot", "{\nname Paladin\nmodel paladin\n}\n"}});
    test::write_file("scripts/own.bot", "{\nname Mine\n}\n");
    test::write_file("scripts/notes.txt", "keep me");
    fs::permissions("scripts/notes.txt", fs::perms::owner_read);
    int status = -1;
    test::run_program({}, &status);
    EXPECT_EQ(status, 0);
  }

  // Starts the program in a process group of its own, its output into
  // `out`; with `slow`, an unzip whose first argument is `slow` touches
  // `mark` and then sleeps, as a slow unzip would.
  pid_t start(const fs::path& out, const std::string& slow = "") {
    std::string env;
    if (!slow.empty()) {
      std::string unzip = test::shell("command -v unzip");
      unzip.pop_back();
      test::write_file(path / "bin/unzip",
                       "#!/bin/sh\n[ \"$1\" = " + slow + " ] && touch '" +
                           (path / "mark").string() +
                           "' && exec sleep 10\nexec " + unzip + " \"$@\"\n");
      fs::permissions(path / "bin/unzip", fs::perms::owner_all);
      env = "PATH='" + (path / "bin").string() + "':\"$PATH\" ";
    }
#ifdef __linux__
    // The commands the program starts come to this process when it dies,
    // so that they can be reaped.
    prctl(PR_SET_CHILD_SUBREAPER, 1);
#endif
    pid_t pid = fork();
    if (pid == 0) {
      setpgid(0, 0);
      const std::string line =
          env + "exec '" KIVORAMA_EXE "' >'" + out.string() + "' 2>&1";
      execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    setpgid(pid, pid);
    return pid;
  }

  // Waits until the slow unzip runs (at most 20 s).
  bool unzip_waits() {
    for (int i = 0; i < 2000 && !fs::exists(path / "mark"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return fs::exists(path / "mark");
  }
};

// The program's exit status, once it and every process it started (its
// process group) are gone.
int exit_status(pid_t pid) {
  int raw = 0;
  waitpid(pid, &raw, 0);
  while (waitpid(-pid, nullptr, 0) > 0 || errno == EINTR) {
  }
  for (int i = 0; i < 2000 && kill(-pid, 0) == 0; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

TEST(Processes, CtrlCDuringAListingStopsTheRunAndChangesNothing) {
  Game g;
  const test::Tree before = test::folder();
  pid_t pid = g.start(g.path / "out", "-l");
  ASSERT_TRUE(g.unzip_waits());
  kill(-pid, SIGINT);  // as the terminal does: the whole process group
  const std::string out = test::read_file(g.path / "out");
  EXPECT_EQ(exit_status(pid), 130) << out;
  EXPECT_NE(test::read_file(g.path / "out")
                .find("error: the run was interrupted (signal 2); 'kivo.pk3', "
                      "'kivo.cfg' and your 'scripts' folder are left as they "
                      "were\n"),
            std::string::npos)
      << test::read_file(g.path / "out");
  EXPECT_EQ(test::folder(), before);
}

TEST(Processes, KilledDuringALoanIsRepairedByTheNextRun) {
  Game g;
  const test::Tree before = test::players_part(test::folder());
  pid_t pid = g.start(g.path / "out", "paladin.pk3");
  ASSERT_TRUE(g.unzip_waits());
  kill(-pid, SIGKILL);
  exit_status(pid);
  EXPECT_TRUE(fs::exists("tscripts/notes.txt"));  // the folder is on loan
  int status = -1;
  const std::string again = test::run_program({}, &status);
  EXPECT_EQ(status, 0) << again;
  EXPECT_NE(again.find("note: an earlier run was stopped before it ended; "
                       "repaired: your 'scripts' folder is back from "
                       "'tscripts'"),
            std::string::npos)
      << again;
  EXPECT_EQ(test::players_part(test::folder()), before);
}

TEST(Processes, TwoRunsAtOnceNeverShareTheFolder) {
  Game g;
  const test::Tree before = test::players_part(test::folder());
  int refused = 0;
  for (int round = 0; round < 8; ++round) {
    pid_t a = g.start(g.path / "a"), b = g.start(g.path / "b");
    const int status[] = {exit_status(a), exit_status(b)};
    const std::string out[] = {test::read_file(g.path / "a"),
                               test::read_file(g.path / "b")};
    for (int i : {0, 1}) {
      if (status[i] == 0) continue;
      ++refused;
      EXPECT_EQ(status[i], 1) << out[i];
      EXPECT_NE(out[i].find("error: another run of kivorama is working in "
                            "this folder"),
                std::string::npos)
          << out[i];
    }
    EXPECT_TRUE(status[0] == 0 || status[1] == 0) << out[0] << out[1];
    EXPECT_EQ(test::players_part(test::folder()), before) << out[0] << out[1];
  }
  std::printf("two runs at once: %d of 16 runs refused\n", refused);
}

TEST(Processes, AStaleListFileTheRunCannotWriteIsReplaced) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs root, to run the program as another user";
  test::ScratchDir dir;
  test::make_pk3("knight.pk3", {{"models/players/knight/head.md3", "m"},
                                {"models/players/knight/head_red.skin", "s"}});
  // The folder is the player's; the old list file was left by root.
  test::write_file("kivo.tmp", "stale.pk3\n");
  fs::permissions("kivo.tmp", fs::perms::owner_read | fs::perms::group_read |
                                  fs::perms::others_read);
  fs::permissions(dir.path, fs::perms::all);
  if (chown(".", 65534, 65534) != 0) GTEST_SKIP() << "cannot chown";
  int status = -1;
  const std::string out = test::shell(
      "setpriv --reuid=65534 --regid=65534 --clear-groups '" KIVORAMA_EXE
      "' 2>&1",
      &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("  reading pk3 file 'knight.pk3'\n"), std::string::npos)
      << out;
  EXPECT_EQ(out.find("stale.pk3"), std::string::npos) << out;
}

// An editor saves kivo.cfg (a new file renamed over it, or written in
// place) at a random moment of a run: the player's edit is never lost
// without a word. Either the run read it and kept it, or the run leaves the
// player's file and says so.
TEST(Processes, AnEditorSavingKivoCfgDuringARunIsNeverLost) {
  Game g;
  std::mt19937 draw(7);
  int refused = 0, lost = 0;
  const int rounds = 20;
  for (int round = 0; round < rounds; ++round) {
    const std::string value = round % 2 == 0 ? "3" : "4";
    pid_t pid = g.start(g.path / "out");
    std::this_thread::sleep_for(std::chrono::milliseconds(draw() % 250));
    std::string text = test::read_file("kivo.cfg");
    const std::size_t at = text.find("tier_hi       ");
    ASSERT_NE(at, std::string::npos);
    text[at + 14] = value[0];
    if (round % 4 < 2) {
      test::write_file("kivo.cfg.edit", text);
      fs::rename("kivo.cfg.edit", "kivo.cfg");
    } else {
      test::write_file("kivo.cfg", text);
    }
    const int status = exit_status(pid);
    const std::string out = test::read_file(g.path / "out");
    const bool kept =
        test::read_file("kivo.cfg").find("tier_hi       " + value) !=
        std::string::npos;
    if (out.find("error: 'kivo.cfg' was changed while this run worked") !=
        std::string::npos) {
      ++refused;
      EXPECT_EQ(status, 1) << out;
    }
    if (!kept) ++lost;
    EXPECT_TRUE(kept) << "round " << round << "\n" << out;
    EXPECT_FALSE(fs::exists("kivo.cfg.tmp"));
  }
  std::printf("editor saves during runs: %d, refused by the run %d, lost %d\n",
              rounds, refused, lost);
}

// Another user who may write the game folder keeps renaming a link to a
// file only root may write onto kivo.lock while root runs kivorama: the
// file outside is never written, whatever the moment.
TEST(Processes, ALinkRacedOntoTheLockIsNeverFollowed) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs root and a second user";
  Game g;
  test::write_file(g.path / "secret", "root's own\n");
  fs::permissions(g.path / "secret",
                  fs::perms::owner_read | fs::perms::owner_write);
  fs::permissions(".", fs::perms::all);  // the folder is shared
  fs::permissions(g.path, fs::perms::all);
  const std::string racer =
      "setpriv --reuid=65534 --regid=65534 --clear-groups sh -c 'while :; do "
      "ln -sf \"" +
      (g.path / "secret").string() +
      "\" l.$$ 2>/dev/null; mv -f l.$$ kivo.lock 2>/dev/null; done' "
      ">/dev/null 2>&1 & echo $!";
  const std::string pid_text = test::shell(racer);
  const int runs = 30;
  int refused = 0;
  for (int i = 0; i < runs; ++i) {
    int status = -1;
    const std::string out = test::run_program({}, &status);
    if (out.find("error: 'kivo.lock' is not a lock file of kivorama") !=
        std::string::npos)
      ++refused;
  }
  test::shell("kill " + pid_text + " 2>/dev/null; sleep 0.2");
  EXPECT_EQ(test::read_file(g.path / "secret"), "root's own\n");
  EXPECT_EQ(fs::file_size(g.path / "secret"), 11u);
  std::printf(
      "a link raced onto kivo.lock: %d runs, %d refused, 0 writes "
      "outside\n",
      runs, refused);
}

// A run as root (sudo kivorama) that was killed leaves root's lock file:
// the player's runs say whose it is and what repairs the folder, and
// change nothing.
TEST(Processes, ALockOfAnotherUserNamesThatUser) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs root, to run the program as another user";
  Game g;
  fs::permissions(".", fs::perms::all);
  fs::permissions(g.path, fs::perms::all);
  test::write_file("kivo.lock", "kivorama 1 0123456789abcdef\n");
  const test::Tree before = test::folder();
  int status = -1;
  const std::string out = test::shell(
      "setpriv --reuid=65534 --regid=65534 --clear-groups '" KIVORAMA_EXE
      "' 2>&1",
      &status);
  EXPECT_EQ(status, 1) << out;
  EXPECT_NE(out.find("error: the lock file 'kivo.lock' belongs to the user "
                     "'root': a run of kivorama as that user did not end"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("Run kivorama here once as 'root' (sudo kivorama)"),
            std::string::npos)
      << out;
  EXPECT_EQ(test::folder(), before);
}

}  // namespace

#endif  // _WIN32
