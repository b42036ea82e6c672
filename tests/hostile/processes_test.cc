// The real program as a process: stopped by Ctrl-C while a command runs,
// killed while it has the player's scripts folder on loan, started twice at
// once in one folder, and run by a player who cannot write an old kivo.tmp.
// Each must leave every file of the player's as it was, at once or after
// the next run.
#ifndef _WIN32

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "hostile/hostile.h"

namespace {

using hostile::Folder;
namespace fs = std::filesystem;

// A PATH whose unzip touches `mark` and then only sleeps, as a slow unzip
// would, when its first argument is `when` ("-l" for listings, an archive
// for extractions).
std::string slow_unzip(Folder& f, const std::string& when) {
  std::string path = f.tools("unzip");
  auto where = [](const std::string& tool) {
    std::string found = test::shell("command -v " + tool);
    found.pop_back();
    return found;
  };
  const std::string real = where("unzip");
  const fs::path bin = f.path / "bin";
  test::write_file(bin / "unzip",
                   "#!/bin/sh\n"
                   "case \"$1\" in " +
                       when + ") " + where("touch") + " '" +
                       (f.path / "mark").string() + "'; exec " +
                       where("sleep") +
                       " 10;; esac\n"
                       "exec " +
                       real + " \"$@\"\n");
  fs::permissions(bin / "unzip", fs::perms::owner_all);
  return bin.string();
}

// Starts the program here in a process group of its own, its output into
// `out`, with `path` as its PATH.
pid_t start(const std::string& path, const fs::path& out) {
  pid_t pid = fork();
  if (pid == 0) {
    setpgid(0, 0);
    std::string line = "PATH='" + path + "' exec '" KIVORAMA_EXE "' >'" +
                       out.string() + "' 2>&1";
    execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  setpgid(pid, pid);
  return pid;
}

// Waits until `mark` exists (at most 20 s); false when it never came.
bool wait_for(const fs::path& mark) {
  for (int i = 0; i < 2000 && !fs::exists(mark); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return fs::exists(mark);
}

int exit_status(pid_t pid) {
  int raw = 0;
  waitpid(pid, &raw, 0);
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

// Archives of which one carries a bot file, a player's scripts folder with
// a read-only file, and the kivo.cfg and kivo.pk3 of an earlier run.
void game_folder(Folder& f) {
  hostile::knight_pk3("knight.pk3");
  test::make_pk3(
      "paladin.pk3",
      {{"models/players/paladin/head.md3", "m"},
       {"models/players/paladin/head_default.skin", "s"},
       {"scripts/paladin.bot", "{\nname Paladin\nmodel paladin\n}\n"}});
  test::write_file("scripts/own.bot", "{\nname Mine\n}\n");
  test::write_file("scripts/notes.txt", "keep me");
  fs::permissions("scripts/notes.txt", fs::perms::owner_read);
  f.run();
}

TEST(Processes, CtrlCDuringAListingStopsTheRunAndChangesNothing) {
  Folder f;
  game_folder(f);
  auto before = test::folder();
  const fs::path out = f.path / "out";
  pid_t pid = start(slow_unzip(f, "-l"), out);
  ASSERT_TRUE(wait_for(f.path / "mark"));
  kill(-pid, SIGINT);  // as the terminal does: the whole process group
  EXPECT_EQ(exit_status(pid), 130) << test::read_file(out);
  EXPECT_NE(test::read_file(out).find(
                "error: the run was interrupted (signal 2); 'kivo.pk3', "
                "'kivo.cfg' and your 'scripts' folder are left as they were\n"),
            std::string::npos)
      << test::read_file(out);
  EXPECT_EQ(test::folder(), before);
}

TEST(Processes, KilledDuringALoanIsRepairedByTheNextRun) {
  Folder f;
  game_folder(f);
  auto before = test::folder();
  const fs::path out = f.path / "out";
  pid_t pid = start(slow_unzip(f, "paladin.pk3"), out);
  ASSERT_TRUE(wait_for(f.path / "mark"));
  kill(-pid, SIGKILL);
  exit_status(pid);
  EXPECT_TRUE(fs::exists("tscripts/notes.txt"));  // the folder is on loan
  EXPECT_TRUE(fs::exists("kivo.lock"));
  int status = -1;
  std::string again = test::run_program({}, &status);
  EXPECT_EQ(status, 0) << again;
  EXPECT_NE(again.find("note: an earlier run was stopped before it ended; "
                       "repaired: your 'scripts' folder is back from "
                       "'tscripts'"),
            std::string::npos)
      << again;
  auto after = test::folder();
  for (const char* own : {"kivo.cfg", "kivo.pk3"}) {
    before.erase(own);
    after.erase(own);
  }
  EXPECT_EQ(after, before);
  EXPECT_EQ(fs::status("scripts/notes.txt").permissions(),
            fs::perms::owner_read);
}

TEST(Processes, TwoRunsAtOnceNeverShareTheFolder) {
  Folder f;
  game_folder(f);
  const std::string path = f.tools("");
  int refused = 0;
  for (int round = 0; round < 20; ++round) {
    auto before = test::folder();
    pid_t a = start(path.substr(6, path.size() - 7), f.path / "a");
    pid_t b = start(path.substr(6, path.size() - 7), f.path / "b");
    int sa = exit_status(a), sb = exit_status(b);
    std::string oa = test::read_file(f.path / "a");
    std::string ob = test::read_file(f.path / "b");
    for (auto [status, text] : {std::pair{sa, oa}, std::pair{sb, ob}}) {
      if (status == 0) continue;
      ++refused;
      EXPECT_EQ(status, 1) << text;
      EXPECT_NE(text.find("error: another run of kivorama is working in this "
                          "folder"),
                std::string::npos)
          << text;
    }
    EXPECT_TRUE(sa == 0 || sb == 0) << oa << ob;
    auto after = test::folder();
    for (const char* own : {"kivo.cfg", "kivo.pk3"}) {
      before.erase(own);
      after.erase(own);
    }
    EXPECT_EQ(after, before) << oa << ob;
  }
  std::printf("two runs at once: %d of 40 runs refused\n", refused);
}

TEST(Processes, AStaleListFileTheRunCannotWriteIsReplaced) {
  if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0)
    GTEST_SKIP() << "needs root, to run the program as another user";
  Folder f;
  hostile::knight_pk3("knight.pk3");
  // The folder is the player's; the old list file was left by root.
  test::write_file("kivo.tmp", "stale.pk3\n");
  fs::permissions("kivo.tmp", fs::perms::owner_read | fs::perms::group_read |
                                  fs::perms::others_read);
  fs::permissions(f.path, fs::perms::all);
  if (chown(".", 65534, 65534) != 0) GTEST_SKIP() << "cannot chown";
  fs::permissions(f.path / "game", fs::perms::all);
  int status = -1;
  std::string out = test::shell(
      "setpriv --reuid=65534 --regid=65534 --clear-groups '" KIVORAMA_EXE
      "' 2>&1",
      &status);
  EXPECT_EQ(status, 0) << out;
  EXPECT_NE(out.find("  reading pk3 file 'knight.pk3'\n"), std::string::npos)
      << out;
  EXPECT_EQ(out.find("stale.pk3"), std::string::npos) << out;
  EXPECT_NE(hostile::cfg().find("KniRed"), std::string::npos);
}

TEST(Processes, ALinkInThePlayersScriptsKeepsItsTargetsMode) {
  Folder f;
  test::make_pk3("paladin.pk3", {{"models/players/paladin/head.md3", "m"},
                                 {"scripts/paladin.bot", "{\nname P\n}\n"}});
  const fs::path secret = f.path / "outside" / "secret";
  test::write_file(secret, "private");
  fs::permissions(secret, fs::perms::owner_read | fs::perms::owner_write);
  fs::create_directory("scripts");
  fs::create_symlink(secret, "scripts/link");
  f.run();
  EXPECT_EQ(fs::status(secret).permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_TRUE(fs::is_symlink("scripts/link"));
}

}  // namespace

#endif  // _WIN32
