// The fault walk: a realistic game folder is run once to count the
// operations a normal run asks of the host; then, for every operation k, a
// run is made to fail at k, to be interrupted at k, and to die at k, and
// after each the folder is run again normally. Every time, nothing of the
// player's may be lost or changed, kivo.cfg and kivo.pk3 must each be the
// old file or the complete new one, and after the rerun the folder must be
// exactly what a clean run leaves. Each command set's test binary walks
// its own set's command lines (the fake host understands both).
#ifndef KIVO_TESTS_CORE_FAULT_WALK_H
#define KIVO_TESTS_CORE_FAULT_WALK_H

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "support/fake_host.h"
#include "support/support.h"

namespace fault_walk {

namespace fs = std::filesystem;
using test::Fault;

// Path -> kind, permission bits and content (or link target).
using Snapshot = std::map<std::string, std::string>;

inline Snapshot snapshot() {
  Snapshot tree;
  for (const auto& e : fs::recursive_directory_iterator(".")) {
    std::string path = e.path().lexically_relative(".").generic_string();
    auto st = fs::symlink_status(e.path());
    std::string mode = std::to_string(static_cast<int>(st.permissions()));
    if (fs::is_symlink(st))
      tree[path] = "l" + fs::read_symlink(e.path()).string();
    else if (fs::is_directory(st))
      tree[path] = "d" + mode;
    else
      tree[path] = "f" + mode + ":" + test::read_file(e.path());
  }
  return tree;
}

// The program's own files; everything else in the folder is the player's.
inline const std::set<std::string> kOwn = {"kivo.cfg", "kivo.cfg.bak",
                                           "kivo.pk3", "kivo.tmp"};

// What a snapshot holds at `path`, "" for nothing.
inline std::string at(const Snapshot& tree, const std::string& path) {
  auto it = tree.find(path);
  return it == tree.end() ? "" : it->second;
}

inline Snapshot players_part(Snapshot tree) {
  for (const std::string& own : kOwn) tree.erase(own);
  return tree;
}

// A folder as players have them: add-on archives, one with a bot file and
// an AI file of its own, the game's own archive, a scripts folder of the
// player's with a read-only file in it, and a file of their own.
inline void make_folder(const std::string& config) {
  test::write_fake_pk3("knight.pk3",
                       {{"models/players/knight/head.md3", "m"},
                        {"models/players/knight/head_default.skin", "s"},
                        {"models/players/knight/head_red.skin", "s"}});
  test::write_fake_pk3("paladin.pk3",
                       {{"models/players/paladin/head.md3", "m"},
                        {"models/players/paladin/head_default.skin", "s"},
                        {"botfiles/bots/paladin_c.c", "ai"},
                        {"scripts/paladin.bot",
                         "{\r\nname Paladin\r\nmodel paladin\r\naifile "
                         "bots/paladin_c.c\r\n}\r\n"}});
  test::write_fake_pk3("maps.pk3", {{"maps/arena.bsp", "map"}});
  test::write_fake_pk3("pak0.pk3", {{"models/players/sarge/head.md3", "m"}});
  test::write_file("scripts/own.bot", "{\nname Mine\n}\n");
  test::write_file("scripts/notes.txt", "keep me");
  test::write_file("scripts/deep/more.txt", "and me");
  fs::permissions("scripts/notes.txt", fs::perms::owner_read);
  test::write_file("readme.txt", "the player's");
  if (!config.empty()) test::write_file("kivo.cfg", config);
}

struct Outcome {
  int status = -1;
  bool killed = false;
  std::string out;
  int operations = 0;
  std::string faulted;
};

inline Outcome run_once(Fault fault = Fault::kNone, int at = 0) {
  Outcome o;
  static char program[] = "kivorama";
  static char* argv[] = {program, nullptr};
  test::FakeHost host(fault, at);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  try {
    o.status = kivorama_main(1, argv);
  } catch (const test::Killed&) {
    o.killed = true;
  }
  o.out = testing::internal::GetCapturedStdout();
  o.out += testing::internal::GetCapturedStderr();
  o.operations = host.operations;
  o.faulted = host.faulted;
  return o;
}

// A hand-edited kivo.cfg: a clean first run's file with most players made
// inactive by hand (so the run writes few bots), one renamed, and a line the
// reader cannot use.
inline std::string hand_edited_config() {
  test::ScratchDir dir;
  make_folder("");
  run_once();
  std::string text = test::read_file("kivo.cfg");
  std::string edited;
  int kept = 0;
  std::size_t at = 0;
  bool in_players = false;
  while (at < text.size()) {
    std::size_t eol = text.find('\n', at);
    std::string line = text.substr(at, eol - at + 1);
    at = eol + 1;
    if (line.starts_with("@ ai_players")) in_players = true;
    if (line.starts_with("@ end")) in_players = false;
    std::size_t st = line.find(" 0 a ");
    if (in_players && st != std::string::npos && ++kept > 4) line[st + 3] = 'I';
    if (line.starts_with("KniRed ")) line.replace(0, 6, "SirRed");
    if (line.starts_with("KniDefaul ")) line = "a row too short\n" + line;
    edited += line;
  }
  return edited;
}

inline void walk_every_operation() {
  const std::string config = hand_edited_config();
  // What a clean run leaves, and that a second clean run leaves it alike.
  Snapshot start, clean;
  int n = 0;
  {
    test::ScratchDir dir;
    make_folder(config);
    start = snapshot();
    Outcome o = run_once();
    ASSERT_EQ(o.status, 0) << o.out;
    n = o.operations;
    clean = snapshot();
    clean.erase("kivo.tmp");
    ASSERT_EQ(run_once().status, 0);
    Snapshot again = snapshot();
    again.erase("kivo.tmp");
    ASSERT_EQ(again, clean);
  }
  ASSERT_GT(n, 20);
  ASSERT_NE(at(clean, "kivo.cfg.bak"), "");  // the edits' copy is kept
  const Snapshot players = players_part(start);

  int trials = 0, violations = 0;
  for (Fault fault : {Fault::kFail, Fault::kInterrupt, Fault::kKill}) {
    for (int k = 1; k <= n; ++k) {
      test::ScratchDir dir;
      make_folder(config);
      Outcome o = run_once(fault, k);
      ++trials;
      const std::string where =
          "fault " + std::to_string(static_cast<int>(fault)) + " at " +
          std::to_string(k) + " (" + o.faulted + ")\n" + o.out;
      Snapshot after = snapshot();
      int before = ::testing::Test::HasFailure() ? 1 : 0;
      // kivo.cfg and kivo.pk3: the old file or the complete new one.
      for (const char* own : {"kivo.cfg", "kivo.pk3"}) {
        EXPECT_TRUE(at(after, own) == at(start, own) ||
                    at(after, own) == at(clean, own))
            << own << " after " << where;
      }
      // Hand edits are never lost without the copy kept.
      if (at(after, "kivo.cfg") != at(start, "kivo.cfg")) {
        EXPECT_EQ(at(after, "kivo.cfg.bak"), at(clean, "kivo.cfg.bak"))
            << where;
      }
      if (fault == Fault::kKill) {
        EXPECT_TRUE(o.killed) << where;
        // The player's files are whole, in scripts or, on loan, in tscripts.
        Snapshot mine = players_part(after);
        for (const auto& [path, entry] : players) {
          std::string lent = path.starts_with("scripts") ? "t" + path : path;
          EXPECT_TRUE(at(mine, path) == entry || at(mine, lent) == entry)
              << path << " after " << where;
        }
      } else {
        EXPECT_EQ(players_part(after), players) << where;
        // A fault the run got over leaves what a clean run leaves; any
        // other is reported, or the run says it was interrupted.
        Snapshot whole = after;
        whole.erase("kivo.tmp");
        if (fault == Fault::kInterrupt)
          EXPECT_EQ(o.status, 130) << where;
        else if (o.status == 0)
          EXPECT_EQ(whole, clean) << where;
        else
          EXPECT_EQ(o.status, 1) << where;
      }
      // Run again normally: the folder ends as a clean run leaves it.
      Outcome again = run_once();
      EXPECT_EQ(again.status, 0) << "rerun after " << where << again.out;
      Snapshot end = snapshot();
      end.erase("kivo.tmp");
      EXPECT_EQ(end, clean) << "rerun after " << where << again.out;
      if (::testing::Test::HasFailure() && before == 0) ++violations;
      if (violations > 3) FAIL() << "stopped after 4 violations";
    }
  }
  std::printf(
      "fault walk: %d operations x 3 faults = %d trials, %d with "
      "violations\n",
      n, trials, violations);
}

}  // namespace fault_walk

#endif  // KIVO_TESTS_CORE_FAULT_WALK_H
