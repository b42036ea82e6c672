// Classification, validation, AI files by tier and clipping, on rosters made
// from rows of kivo.cfg's players block.
#include "roster/roster.h"

#include <gtest/gtest.h>

#include <sstream>

#include "archive/archive.h"
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
// one of the others, which are not wanted, and neither are pak0's players
// nor the default skin's.
TEST(Classify, StartFlagsAndKeptStatuses) {
  EXPECT_EQ(after(gd_classify_players,
                  "use_set 2, use_red 1, use_others 0, use_pak0 0, use_defa 0, "
                  "1 9A blue, 1 2I blue, 1 2u blue, 1 2X blue, 1 3i blue, 1 9i "
                  "red, 1 9i blue, 1 2a Red, 1 2i default pak0, 1 2i default"),
            "1 9A, 1 2I, 1 2u, 1 2X, 1 3i, 1 2a, 4 9a");
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
  // too: below, and tests/runs/clip-loose-and-archive-bot-files.
  // A loose folder that cannot be listed stops the run, the roster as it was.
  test::FaultHost host(test::Fault::kFail, 1);
  EXPECT_EQ(after(clip, "85 0a", &host),
            "error: cannot list the folder 'scripts' (" +
                std::string(std::strerror(EIO)) +
                "); 'kivo.pk3' and 'kivo.cfg' are left as they were\n85 0a "
                "stopped");
}

// The game's list of bot files as it counts them, for a game folder of
// tests/roster/lists (each folder named *.pk3 in it an archive, each file
// "{}"). The folder is listed and scanned, then clipped on the roster of
// `groups` (and `row`); its "note: " lines and warnings of names that stop
// the game, the roster's runs and the names clipping changed.
std::string game_list(const std::string& folder, const std::string& groups,
                      const std::string& row = "") {
  test::ScratchDir dir;
  test::make_folder(std::filesystem::path(KIVO_SOURCE_DIR) /
                    "tests/roster/lists" / folder);
  // An archive named in upper case (only folders named *.pk3 become some).
  if (folder == "game-archives")
    test::make_pk3("FOO.PK3", {{"scripts/f.bot", "{\n}\n"}});
  auto s = roster(groups);
  if (!row.empty()) test::add(*s, row);
  std::vector<std::string> names;
  for (int i = 0; i < s->roster_count; ++i)
    names.emplace_back(s->roster[i]->name.view());
  std::istringstream printed(test::printed([&] {
    sy_get_pk3_list(*s->run, s->pk3_list.data(), kNameChars, kPk3Slots);
    gd_get_models_players_aifiles(*s);
    clip(*s);
  }));
  std::string out;
  for (std::string line; std::getline(printed, line);)
    if (line.starts_with("note: ") || line.find("stops the game") != line.npos)
      out += line + "\n";
  out += runs(*s);
  for (int i = 0; i < s->roster_count; ++i)
    if (s->roster[i]->name.view() != names[i])
      out += ", " + names[i] + ">" + std::string(s->roster[i]->name.view());
  return out;
}

// Each folder's bot files take B bytes of the game's list. Players of 44,
// 9 and L letters take 959 + L + 5: with L = 58 - B the list is full, one
// letter more and the last waits.
TEST(Clip, TheGamesListCountedAsTheGameDoes) {
  const std::pair<std::string, int> folders[] = {
      // Members under scripts* and at most two folders deep, named without
      // the path's first 8 characters: "sub/abc.bot", "old/X.BOT" and
      // "/y.bot" are listed, the others not.
      {"member-paths", 29},
      // A whole name that the first 48 characters of the written 0aaa... do
      // not make.
      {"long-name", 53},
      // A long name in two archives, letter case aside: once.
      {"one-name-twice", 51},
      // Loose: files and a link to one; no folder or broken link.
      {"loose-links", 16},
      // Archives the game loads and the scan does not read (pak0, zbot,
      // FOO.PK3, a name of 50 characters, [ab], listed as itself and not as
      // a.pk3); not kivo.pk3, which the run replaces. One name, letter case
      // aside, from two.
      {"game-archives", 36},
  };
  for (const auto& [folder, bytes] : folders) {
    if (test::kIsWindowsHost && folder == "loose-links") continue;
    const std::string roster = "1 0a 44, 65 0a 9, 1 0a ";
    EXPECT_EQ(game_list(folder, roster + std::to_string(58 - bytes)), "67 0a")
        << folder;
    EXPECT_EQ(game_list(folder, roster + std::to_string(59 - bytes)),
              "note: the active set holds 66 players: the game lists only "
              "1024 bytes of bot file names, and the names it will find take " +
                  std::to_string(959 + bytes) + "\n66 0a, 1 9a")
        << folder;
  }
  // A file of a name the game lists before kivo.pk3's (loose, or of an
  // archive it searches first, or written already) takes another name; one
  // of an archive searched after it is read from kivo.pk3, at no cost. A
  // name of 120 characters stops the game.
  EXPECT_EQ(game_list("taken-names", "4 0a 9",
                      "3AAAAAAAA f default 0 a sarge green k"),
            "warn: archive 'aa.pk3' holds the bot file 'scripts/" +
                std::string(116, 'z') +
                ".bot', whose name of 120 characters stops the game when it "
                "loads its bots\n5 0a, 0aaaaaaaa>0aaaaaaa0, "
                "1aaaaaaaa>1aaaaaaa0, 3AAAAAAAA>3AAAAAAA0");
}

}  // namespace
