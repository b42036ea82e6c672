// The fault walk: a realistic game folder is run once to count the
// operations a normal run asks of the host; then, for every operation k, a
// run is made to fail at k, to be interrupted at k, or to die at k, and
// after each the folder is run again normally. Every time, nothing of the
// player's may be lost or changed, kivo.cfg and kivo.pk3 must each be the
// old file or the complete new one, and after the rerun the folder must be
// exactly what a clean run leaves. Each command set's test binary walks its
// own set's command lines (the fake host understands both).
#ifndef KIVO_TESTS_CORE_FAULT_WALK_H
#define KIVO_TESTS_CORE_FAULT_WALK_H

#include <gtest/gtest.h>

#include <string>

#include "support/fake_host.h"
#include "support/support.h"

namespace fault_walk {

namespace fs = std::filesystem;
using test::at;
using test::Fault;
using test::Tree;

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

// A hand-edited kivo.cfg: a clean first run's file with most players made
// inactive by hand (so the run writes few bots), one renamed, and a line the
// reader cannot use.
inline std::string hand_edited_config() {
  test::ScratchDir dir;
  make_folder("");
  test::run_main();
  std::string text = test::read_file("kivo.cfg"), edited;
  int kept = 0;
  bool in_players = false;
  for (std::size_t at = 0, eol; at < text.size(); at = eol + 1) {
    eol = text.find('\n', at);
    std::string line = text.substr(at, eol - at + 1);
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

inline void walk_every_operation(Fault fault) {
  const std::string config = hand_edited_config();
  // What a clean run leaves, and that a second clean run leaves it alike.
  Tree start, clean;
  int n = 0;
  {
    test::ScratchDir dir;
    make_folder(config);
    start = test::folder();
    test::Outcome o = test::run_main();
    ASSERT_EQ(o.status, 0) << o.out;
    n = o.operations;
    clean = test::folder();
    ASSERT_EQ(test::run_main().status, 0);
    ASSERT_EQ(test::folder(), clean);
  }
  ASSERT_GT(n, 20);
  ASSERT_NE(at(clean, "kivo.cfg.bak"), "");  // the edits' copy is kept
  const Tree players = test::players_part(start);

  int violations = 0;
  for (int k = 1; k <= n && violations < 4; ++k) {
    test::ScratchDir dir;
    make_folder(config);
    test::Outcome o = test::run_main({}, fault, k);
    const std::string where =
        "fault at " + std::to_string(k) + " (" + o.faulted + ")\n" + o.out;
    const Tree after = test::folder();
    const bool failed_before = ::testing::Test::HasFailure();
    // kivo.cfg and kivo.pk3: the old file or the complete new one.
    for (const char* own : {"kivo.cfg", "kivo.pk3"})
      EXPECT_TRUE(at(after, own) == at(start, own) ||
                  at(after, own) == at(clean, own))
          << own << " after " << where;
    // Hand edits are never lost without the copy kept.
    if (at(after, "kivo.cfg") != at(start, "kivo.cfg")) {
      EXPECT_EQ(at(after, "kivo.cfg.bak"), at(clean, "kivo.cfg.bak")) << where;
    }
    if (fault == Fault::kKill) {
      EXPECT_EQ(o.status, -1) << where;
      // The player's files are whole, in scripts or, on loan, in tscripts.
      for (const auto& [path, entry] : players) {
        std::string lent = path.starts_with("scripts") ? "t" + path : path;
        EXPECT_TRUE(at(after, path) == entry || at(after, lent) == entry)
            << path << " after " << where;
      }
    } else {
      EXPECT_EQ(test::players_part(after), players) << where;
      // A fault the run got over leaves what a clean run leaves; any other
      // is reported, or the run says it was interrupted.
      if (fault == Fault::kInterrupt)
        EXPECT_EQ(o.status, 130) << where;
      else if (o.status == 0)
        EXPECT_EQ(after, clean) << where;
      else
        EXPECT_EQ(o.status, 1) << where;
    }
    // Run again normally: the folder ends as a clean run leaves it.
    test::Outcome again = test::run_main();
    EXPECT_EQ(again.status, 0) << "rerun after " << where << again.out;
    EXPECT_EQ(test::folder(), clean) << "rerun after " << where << again.out;
    if (::testing::Test::HasFailure() && !failed_before) ++violations;
  }
  std::printf("fault walk: %d operations, %d with violations\n", n, violations);
}

// The three faults, one test each.
class FaultWalk : public testing::TestWithParam<Fault> {};

inline std::string fault_name(const testing::TestParamInfo<Fault>& info) {
  return info.param == Fault::kFail        ? "Failed"
         : info.param == Fault::kInterrupt ? "Interrupted"
                                           : "Killed";
}

}  // namespace fault_walk

#define KIVO_FAULT_WALK(commands)                                     \
  TEST_P(FaultWalk, commands) { walk_every_operation(GetParam()); }   \
  INSTANTIATE_TEST_SUITE_P(                                           \
      EveryOperation, FaultWalk,                                      \
      testing::Values(Fault::kFail, Fault::kInterrupt, Fault::kKill), \
      fault_name)

#endif  // KIVO_TESTS_CORE_FAULT_WALK_H
