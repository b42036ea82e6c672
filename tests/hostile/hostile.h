// hostile.h: runs the real program in a folder that someone else filled:
// archives from anywhere, a hand-edited kivo.cfg, tools missing from the
// PATH. A case sets the folder up, runs the program once, and checks that it
// ended well, said what it refused, and left every file of the player's as
// it was.
#ifndef KIVO_TESTS_HOSTILE_HOSTILE_H
#define KIVO_TESTS_HOSTILE_HOSTILE_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/support.h"

namespace hostile {

namespace fs = std::filesystem;

// Every entry under the current folder: relative path -> type and bytes
// ("f" + content, "d", "l" + link target, "o" anything else).
using Snapshot = std::map<std::string, std::string>;

// The files a run may write: the program's own.
inline const std::set<std::string> kOwnFiles = {"kivo.cfg", "kivo.pk3",
                                                "kivo.tmp"};

// What a run printed (standard output and error together) and its status.
struct ProgramRun {
  std::string out;
  int status = -1;
};

// One hostile folder.
struct Case {
  const char* harm =
      "";  // test name: what goes wrong if the program is careless
  std::function<void()> setup{};       // fills the scratch folder
  std::vector<std::string> args{};     // command line
  std::function<std::string()> env{};  // e.g. tools_path("unzip")
  std::vector<std::string> says{};     // texts standard output must hold
  std::set<std::string> may_change = kOwnFiles;
  std::function<void(const ProgramRun&)> check{};  // more checks
};

// gtest names a case by what it guards against.
inline void PrintTo(const Case& c, std::ostream* os) { *os << c.harm; }

// The current folder's tree as it stands.
inline Snapshot snapshot() {
  Snapshot shot;
  for (auto it = fs::recursive_directory_iterator(".");
       it != fs::recursive_directory_iterator(); ++it) {
    std::string path = it->path().lexically_relative(".").string();
    auto type = it->symlink_status().type();
    if (type == fs::file_type::regular)
      shot[path] = "f" + test::read_file(it->path());
    else if (type == fs::file_type::directory)
      shot[path] = "d";
    else if (type == fs::file_type::symlink)
      shot[path] = "l" + fs::read_symlink(it->path()).string();
    else
      shot[path] = "o";
  }
  return shot;
}

namespace detail {

// A temporary folder for the tool folders of this test process.
inline const fs::path& tools_root() {
  static const fs::path root = [] {
    std::string pattern = fs::temp_directory_path() / "kivo-tools-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    return fs::path(pattern);
  }();
  // Registered once the path is made, so it runs before the path goes.
  static const int cleanup = std::atexit([] {
    std::error_code ec;
    fs::remove_all(tools_root(), ec);
  });
  (void)cleanup;
  return root;
}

// Where `tool` is on the host's PATH.
inline fs::path host_tool(const std::string& tool) {
  std::istringstream dirs(std::getenv("PATH") ? std::getenv("PATH") : "");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    fs::path p = fs::path(dir) / tool;
    if (access(p.c_str(), X_OK) == 0) return p;
  }
  ADD_FAILURE() << "no " << tool << " on the PATH";
  return {};
}

}  // namespace detail

// A folder of links to the host tools the program's commands need, but
// without `missing` ("" for none); with a `listing`, unzip -l prints that
// text for every archive instead of listing it. Returns "PATH=<folder>".
inline std::string tools_path(const std::string& missing,
                              const std::string* listing = nullptr) {
  static int folders = 0;
  fs::path bin = detail::tools_root() / ("bin" + std::to_string(folders++));
  fs::create_directories(bin);
  for (const char* tool : {"sh", "ls", "mv", "rm", "mkdir", "rmdir", "chmod",
                           "cat", "unzip", "zip"}) {
    if (tool == missing) continue;
    fs::create_symlink(detail::host_tool(tool), bin / tool);
  }
  if (listing != nullptr) {
    test::write_file(bin / "listing", *listing);
    fs::remove(bin / "unzip");
    test::write_file(bin / "unzip",
                     "#!/bin/sh\n"
                     "[ \"$1\" = -l ] && exec cat '" +
                         (bin / "listing").string() +
                         "'\n"
                         "exec '" +
                         detail::host_tool("unzip").string() + "' \"$@\"\n");
    fs::permissions(bin / "unzip", fs::perms::owner_all);
  }
  return "PATH='" + bin.string() + "'";
}

// A fresh folder outside the scratch folder, for links that point out.
inline fs::path outside() {
  static int folders = 0;
  fs::path dir = detail::tools_root() / ("outside" + std::to_string(folders++));
  fs::create_directories(dir);
  return dir;
}

// A small real archive holding a model with two skins.
inline void knight_pk3(const std::string& name) {
  test::make_pk3(name, {{"models/players/knight/head.md3", "m"},
                        {"models/players/knight/head_default.skin", "s"},
                        {"models/players/knight/head_red.skin", "s"}});
}

// Runs `c` in a fresh scratch folder with the checks every case shares:
// status 0, the expected texts, and nothing of the player's lost, changed or
// added beside the program's own files.
inline void run_case(const Case& c) {
  test::ScratchDir dir;
  if (c.setup) c.setup();
  Snapshot before = snapshot();
  std::string env = c.env ? c.env() : "";
  ProgramRun run;
  run.out = test::run_program(c.args, &run.status, env);
  Snapshot after = snapshot();

  EXPECT_EQ(run.status, 0) << run.out;
  for (const std::string& line : c.says)
    EXPECT_NE(run.out.find(line), std::string::npos)
        << "missing: " << line << "\n"
        << run.out;
  for (const auto& [path, content] : before) {
    if (c.may_change.count(path) != 0) continue;
    auto it = after.find(path);
    if (it == after.end())
      ADD_FAILURE() << "lost: " << path;
    else if (it->second != content)
      ADD_FAILURE() << "changed: " << path;
  }
  for (const auto& [path, content] : after)
    if (before.count(path) == 0 && c.may_change.count(path) == 0)
      ADD_FAILURE() << "left behind: " << path;
  if (c.check) c.check(run);
}

}  // namespace hostile

#endif  // KIVO_TESTS_HOSTILE_HOSTILE_H
