// Classification, validation, AI files by tier and clipping, on rosters made
// from rows of kivo.cfg's players block.
#include "roster/roster.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "config/config.h"
#include "support/fault_host.h"
#include "support/support.h"

namespace {

// A State with the catalogue and a roster of groups joined by ", ", each
// "count set-and-status [skin [archive [model [AI file]]]] [letters]": "80 0a,
// 2 9I default 48" is 80 players of set 0 with status 'a', then two of set 9
// with status 'I', skin default and names of 48 letters. Unless said, the skin
// is green, the archive knight, the model sarge, the AI file the placeholder
// and names 6 letters long, "0aaaaa", "1aaaaa" and so on: no two alike. A group
// "use_set 2" sets that flag of kivo.cfg.
std::shared_ptr<State> roster(const std::string& groups, Host* host = nullptr) {
  auto s = test::fresh_state(1, host);
  s->roster_count = 0;
  std::istringstream in(groups);
  for (std::string group; std::getline(in, group, ',');) {
    std::istringstream words(group);
    std::string count, set_st, letters = "6",
                               key[4] = {"green", "knight", "sarge", "default"};
    words >> count >> set_st;
    for (const ConfigFlag& flag : kConfigFlags)
      if (count == flag.name) (*s).*flag.field = std::stoi(set_st);
    for (std::string w, *k = key; words >> w;)
      (is_digit(w[0]) ? letters : *k++) = w;
    for (int i = 0; is_digit(count[0]) && i < std::stoi(count); ++i) {
      std::string name = std::to_string(s->roster_count);
      name.resize(std::stoul(letters), 'a');
      test::add(*s, name + " f " + key[3] + " " + set_st[0] + " " + set_st[1] +
                        " " + key[2] + " " + key[0] + " " + key[1]);
    }
  }
  return s;
}

// The roster's sets, statuses and AI files but the placeholder, in runs of
// alike players: "80 0a, 1 9u keel, 20 9a".
std::string runs(const State& s) {
  std::vector<std::pair<int, std::string>> spans;
  for (int i = 0; i < s.roster_count; ++i) {
    const Player& p = *s.roster[i];
    std::string key = std::to_string(p.set) + p.st;
    if (!(p.aifile == "default")) key += " " + std::string(p.aifile.view());
    if (spans.empty() || spans.back().second != key) spans.emplace_back(0, key);
    ++spans.back().first;
  }
  std::string out;
  for (const auto& [n, key] : spans)
    out += (out.empty() ? "" : ", ") + std::to_string(n) + " " + key;
  return out;
}

// What `phase` prints, run in an empty folder on the roster of `groups`, and
// then the roster after it; with "stopped" when the run must stop then.
std::string after(void (*phase)(State&), const std::string& groups,
                  Host* host = nullptr) {
  test::ScratchDir dir;
  auto s = roster(groups, host);
  const std::string out = test::printed([&] { phase(*s); });
  return out + runs(*s) + (stopping(*s->run) ? " stopped" : "");
}

// Kept statuses (A, I, u, X) and other sets are left alone; set 9 is
// classified again with the active set: red is wanted, blue not, "Red" is
// one of the others, which are not wanted, and neither are pak0's players.
TEST(Classify, StartFlagsAndKeptStatuses) {
  EXPECT_EQ(after(gd_classify_players,
                  "use_set 2, use_red 1, use_others 0, use_pak0 0, 1 9A blue, "
                  "1 2I blue, 1 2u blue, 1 2X blue, 1 3i blue, 1 9i red, 1 9i "
                  "blue, 1 2a Red, 1 2i default pak0, 1 2i default pak0x"),
            "1 9A, 1 2I, 1 2u, 1 2X, 1 3i, 1 2a, 3 9a, 1 2a");
}

// An unknown model parks the player as 'u' in set 9; an unknown AI file
// (letter case counts) becomes the placeholder, the player active unless 'u'.
// Names end unique.
TEST(Validate, UnknownModelsAifilesAndTakenNames) {
  EXPECT_EQ(after(gd_validate_players_and_aifiles,
                  "1 0A green k nomodel keel, 1 0a green k nomodel, 1 9u green "
                  "k sarge keel, 1 0X green k sarge archai, 1 3I green k sarge "
                  "Keel, 1 5I green k sarge keel"),
            "1 9u keel, 1 9u, 1 9u keel, 1 0a, 1 3a, 1 5I keel");
  // A name taken by another later changes: a number is appended. A
  // hand-edited kivo.cfg can give the whole roster one name: the rows take
  // numbers (their row's) up to four digits, and the last keeps it. (Long names
  // are cut to fit: tests/runs/config-names-taken-by-48-letters.)
  auto s = roster("");
  test::add(*s, "Ab f default 0 i sarge green k", kTableRows);
  gd_validate_players_and_aifiles(*s);
  for (int row = 0; row < kTableRows - 1; ++row)
    EXPECT_EQ(s->roster[row]->name.view(), "Ab" + std::to_string(row));
  EXPECT_EQ(s->roster[kTableRows - 1]->name.view(), "Ab");
}

void clip(State& s) { gd_clip_active_set(s), gd_clip_sets(s); }
const std::string kNote =
    "note: the active set holds 73 players: the game lists only 1024 bytes of "
    "bot file names, and the names it will find take 1022\n";

TEST(Clip, SetsOf80AndTheGamesListOfBotFiles) {
  const std::string cases[][2] = {
      // The active set keeps its first 80 active players, set 8 its first 80.
      {"85 0i, 100 0a, 85 8i", "85 0i, 80 0a, 20 9a, 80 8i, 5 9i"},
      // Archive-defined players come first, from any set; then 'A' and 'a'.
      {"1 0A, 81 3X, 1 0a, 1 9i default", "1 9A, 80 0X, 1 3X, 1 9a, 1 9i"},
      // Set 9 fills the room: 'A', the default skin, then the first others,
      // made active; never 'u'.
      {"77 0a, 1 9u default, 1 9I, 1 9i, 1 9i default, 1 9A, 1 9u",
       "77 0a, 1 9u, 1 0a, 1 9i, 1 0a, 1 0A, 1 9u"},
      // Another active set: its 'I' count among the 80 there.
      {"use_set 2, 10 2I, 80 2a", "10 2I, 70 2a, 10 9a"},
      // Names of 9 letters take 14 bytes: 72 take 1008; one of 10 letters
      // would make 1023 and waits, a later one of 9 makes 1022. 'X' players'
      // files are their archives'; 80 players need no note.
      {"7 3X, 72 0a 9, 1 0a 10, 2 0a 9", "7 0X, 72 0a, 1 9a, 1 0a, 1 9a"},
      {"73 0a 9, 1 0A 9, 1 9A 9", kNote + "72 0a, 1 9a, 1 0A, 1 9A"},
      // From set 9 while names fit; 'I' and 'i' left there keep theirs.
      {"70 0a 9, 2 9I 48, 1 9i 9, 1 9i default 48, 5 9i 9",
       kNote + "70 0a, 2 9I, 1 0a, 1 9i, 2 0a, 3 9i"},
  };
  for (const auto& c : cases) EXPECT_EQ(after(clip, c[0]), c[1]) << c[0];
  // The bot files of the archives and of the loose folder take their room
  // too: tests/runs/clip-loose-and-archive-bot-files.
  // A loose folder that cannot be listed stops the run, the roster as it was.
  test::FaultHost host(test::Fault::kFail, 1);
  EXPECT_EQ(after(clip, "85 0a", &host),
            "error: cannot list the folder 'scripts' (" +
                std::string(std::strerror(EIO)) +
                "); 'kivo.pk3' and 'kivo.cfg' are left as they were\n85 0a "
                "stopped");
}

// Each placeholder gets a random tier of the range, then a random AI file of
// that tier, or the default AI file when the tier has none. The range lies
// within 0 to 9, lowest first: one past either end, or a range upside down,
// is refused and leaves every placeholder as it was. (The error line is in
// tests/runs/options-tiers-out-of-range and config-tier-hi-10.)
TEST(Tiers, RangeEdges) {
  for (const std::string c :
       {"9,9 visor", "1,10 default", "10,10 default", "5,4 default",
        "-1,0 default", "0,1 crash mynx orbb sarge wrack"}) {
    auto s = roster("40 0a");
    std::sscanf(c.c_str(), "%d,%d", &s->tier_lo, &s->tier_hi);
    test::printed([&] { gd_supplimental_ai_mapping(*s); });
    std::set<std::string> drawn;
    for (int i = 0; i < s->roster_count; ++i)
      drawn.emplace(s->roster[i]->aifile.view());
    std::string got = c.substr(0, c.find(' '));
    for (const std::string& file : drawn) got += " " + file;
    EXPECT_EQ(got, c);
  }
}

}  // namespace
