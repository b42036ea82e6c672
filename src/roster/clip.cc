// clip.cc: bounds the player sets to 80 players each. The active set is
// filled by preference (archive-defined, user-activated, active) and topped
// up from the overflow set; a player it would write is taken only while the
// game can still list its bot file. The sets 1 to 8 keep their first 80
// members.
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "core/names.h"
#include "roster/roster.h"

namespace {

// The game gathers the names of all bot files it can see (scripts/*.bot of
// every archive and of the loose scripts folder), each name once whatever
// the case of its letters, and copies each with its NUL into a buffer of
// 1024 bytes while the bytes so far, the name, its NUL and one more stay
// below 1024; the first name that does not fit ends the list, and the bot
// files beyond it are never read. So the names, each its length and one,
// may take 1022 bytes in all.
constexpr int kGameListRoom = 1024 - 2;

// The bot file names the game will list, as it counts them.
struct GameBotList {
  std::vector<std::string> names;  // lower-cased, each once
  int bytes = 0;

  // The bytes `file` adds to the list: 0 when it is listed already. A name
  // known only cut to 48 characters is never taken for another.
  int cost(std::string_view file, int whole_bytes) const {
    if (static_cast<int>(file.size()) + 1 == whole_bytes)
      for (const std::string& n : names)
        if (same_but_case(n, file)) return 0;
    return whole_bytes;
  }
  void add(std::string_view file, int whole_bytes) {
    if (cost(file, whole_bytes) == 0) return;
    names.emplace_back(file);
    for (char& c : names.back()) c = to_lower(c);
    bytes += whole_bytes;
  }
};

// Ends in ".bot", the letters in any case.
bool is_bot_file(std::string_view name) {
  return name.size() >= 4 &&
         same_but_case(name.substr(name.size() - 4), ".bot");
}

// What the game lists before this run's bot files: those of the archives
// the scan read, and those of the player's own loose scripts folder. 0 when
// that folder cannot be listed (the run is stopped, with an "error: " line).
int list_others(const State& s, GameBotList& list) {
  RunContext& run = *s.run;
  for (int i = 0; i < s.pk3_bot_count && i < kTableRows; ++i)
    list.add(s.pk3_bot_files[i].view(), s.pk3_bot_bytes[i]);
  std::vector<std::string> loose;
  int error = run.host.list_folder(kScripts, loose);
  if (error == ENOENT || error == ENOTDIR) return 1;
  if (error != 0) {
    fail_run(run,
             "error: cannot list the folder 'scripts' (%s); 'kivo.pk3' and "
             "'kivo.cfg' are left as they were\n",
             std::strerror(error));
    return 0;
  }
  for (const std::string& name : loose)
    if (is_bot_file(name)) list.add(name, static_cast<int>(name.size()) + 1);
  return 1;
}

// The filling of the active set: the players it counts, and the names of
// the bot files the game will list with those it writes.
struct ActiveSet {
  int count = 0;
  GameBotList list;
  bool refused = false;  // the game's list had no room for a player

  // Takes a player that the output will write when the game can still list
  // its bot file; false when it cannot.
  bool take_written(const Player& p) {
    std::string file(p.name.view());
    file += ".bot";
    const int whole = static_cast<int>(file.size()) + 1;
    if (list.bytes + list.cost(file, whole) > kGameListRoom) {
      refused = true;
      return false;
    }
    list.add(file, whole);
    ++count;
    return true;
  }
};

// Counts, while there is room, the players that `member` picks out of the
// active set (all of them written), and moves to the overflow set those the
// game's list has no room for and, once the set is full, every later one.
template <typename Member>
void keep_while_room(State& s, ActiveSet& set, Member member) {
  for (int i = 0; i < s.roster_count; ++i) {
    Player* p = s.roster[i].get();
    if (p == nullptr || !member(*p)) continue;
    if (set.count >= kSetLimit || !set.take_written(*p)) p->set = kOverflowSet;
  }
}

// A pass over the overflow set: brings in, while there is room, each player
// that `wanted` accepts and the game's list has room for; `activate` also
// makes it 'a'.
template <typename Wanted>
void take_from_overflow(State& s, ActiveSet& set, Wanted wanted,
                        bool activate) {
  for (int i = 0; i < s.roster_count && set.count < kSetLimit; ++i) {
    Player* p = s.roster[i].get();
    if (p == nullptr || p->set != kOverflowSet || !wanted(*p)) continue;
    if (!set.take_written(*p)) continue;
    p->set = s.use_set;
    if (activate) p->st = 'a';
  }
}

// Keeps the first 80 players that `member` picks; the later ones move to
// the overflow set.
template <typename Member>
void keep_first(State& s, Member member) {
  int count = 0;
  int i = 0;
  for (; i < s.roster_count && count < kSetLimit; ++i) {
    const Player* p = s.roster[i].get();
    if (p != nullptr && member(*p)) ++count;
  }
  if (count < kSetLimit) return;
  for (; i < s.roster_count; ++i) {
    Player* p = s.roster[i].get();
    if (p != nullptr && member(*p)) p->set = kOverflowSet;
  }
}

}  // namespace

void gd_clip_active_set(State& s) {
  ActiveSet set;
  if (!list_others(s, set.list)) return;
  // Archive-defined players come first, wherever they were; their bot files
  // are their archives', among those listed already.
  for (int i = 0; i < s.roster_count && set.count < kSetLimit; ++i) {
    Player* p = s.roster[i].get();
    if (p == nullptr || p->st != 'X') continue;
    p->set = s.use_set;
    ++set.count;
  }
  // Then the user-activated players of the set, then the active ones.
  for (char st : {'A', 'a'})
    keep_while_room(s, set, [&s, st](const Player& p) {
      return p.set == s.use_set && p.st == st;
    });
  take_from_overflow(
      s, set, [](const Player& p) { return p.st == 'A'; }, false);
  take_from_overflow(
      s, set,
      [](const Player& p) { return p.st != 'u' && p.player == "default"; },
      true);
  take_from_overflow(
      s, set, [](const Player& p) { return p.st != 'u'; }, true);
  if (set.refused && set.count < kSetLimit)
    std::printf(
        "note: the active set holds %d players: the game lists only 1024 "
        "bytes of bot file names, and the names it will find take %d\n",
        set.count, set.list.bytes);
}

void gd_clip_sets(State& s) {
  for (int set = 1; set < kOverflowSet; ++set)
    keep_first(s, [set](const Player& p) { return p.set == set; });
}
