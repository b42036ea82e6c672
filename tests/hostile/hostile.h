// hostile.h: runs the real program in a folder that someone else filled:
// archives from anywhere, a hand-edited kivo.cfg, tools missing from the
// PATH. A case sets the folder up, runs the program once, and checks that it
// ended well, said what it refused, and left every file of the player's as
// it was.
#ifndef KIVO_TESTS_HOSTILE_HOSTILE_H
#define KIVO_TESTS_HOSTILE_HOSTILE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/support.h"

namespace hostile {

namespace fs = std::filesystem;

// The files a run may write: the program's own.
inline const std::set<std::string> kOwnFiles = {"kivo.cfg", "kivo.pk3",
                                                "kivo.tmp"};

// A scratch folder whose subfolder "game" is the current folder; beside it
// "bin" holds the tools a case gives the program and "outside" the targets
// of links that point out of the game folder.
struct Folder : test::ScratchDir {
  Folder() {
    fs::create_directories(path / "game");
    fs::create_directories(path / "outside");
    fs::current_path(path / "game");
  }

  // "PATH=<bin>" with links to the host tools the commands need, but
  // without `missing`; with a `listing`, unzip -l prints it for any archive.
  std::string tools(const std::string& missing,
                    const std::string& listing = "") {
    const fs::path bin = path / "bin";
    fs::create_directories(bin);
    for (std::string tool : {"sh", "ls", "mv", "rm", "mkdir", "rmdir", "chmod",
                             "cat", "unzip", "zip"}) {
      std::string host = test::shell("command -v " + tool);
      host.pop_back();
      if (tool == missing) continue;
      if (tool != "unzip" || listing.empty()) {
        fs::create_symlink(host, bin / tool);
        continue;
      }
      test::write_file(bin / "listing", listing);
      test::write_file(bin / tool, "#!/bin/sh\n[ \"$1\" = -l ] && exec cat '" +
                                       (bin / "listing").string() + "'\nexec " +
                                       host + " \"$@\"\n");
      fs::permissions(bin / tool, fs::perms::owner_all);
    }
    return "PATH='" + bin.string() + "'";
  }

  // The exit status the next run must end with: 1 when it prints an
  // "error: " line.
  int expect_status = 0;

  // Runs the program here: it must end with `expect_status`, print every
  // text of `says` (with the host's line ends), and lose, change or add no file
  // but those in `own`. Returns what it printed.
  std::string run(const std::vector<std::string>& says = {},
                  const std::string& env = "",
                  const std::set<std::string>& own = kOwnFiles) {
    auto before = test::folder();
    int status = -1;
    std::string out = test::run_program({}, &status, env);
    auto after = test::folder();
    EXPECT_EQ(status, expect_status) << out;
    for (const std::string& text : says)
      EXPECT_NE(out.find(test::host_line_ends(text)), std::string::npos)
          << text << "\n"
          << out;
    for (const std::string& name : own) before.erase(name), after.erase(name);
    for (const auto& [p, entry] : before)
      EXPECT_TRUE(after.count(p) && after[p] == entry) << "lost/changed " << p;
    for (const auto& [p, entry] : after)
      EXPECT_TRUE(before.count(p)) << "left behind: " << p;
    return out;
  }
};

// A small real archive holding a model with two skins.
inline void knight_pk3(const std::string& name) {
  test::make_pk3(name, {{"models/players/knight/head.md3", "m"},
                        {"models/players/knight/head_default.skin", "s"},
                        {"models/players/knight/head_red.skin", "s"}});
}

// The kivo.cfg the run wrote.
inline std::string cfg() { return test::read_file("kivo.cfg"); }

}  // namespace hostile

#endif  // KIVO_TESTS_HOSTILE_HOSTILE_H
