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

// The game gathers the names of all bot files it can see (those of the
// loose scripts folder, then those of every archive it loads, as the scan
// records them), each name once whatever the case of its letters, and
// copies each with its NUL into a buffer of 1024 bytes while the bytes so
// far, the name, its NUL and one more stay below 1024; the first name that
// does not fit ends the list, and the bot files beyond it are never read.
// So the names, each its length and one, may take 1022 bytes in all. For a
// name it reads the loose folder's file, else that of the archive it
// searches first.
constexpr int kGameListRoom = 1024 - 2;

// The bot file names the game will list, as it counts them.
struct GameBotList {
  struct Listed {
    std::string name;    // lower-cased
    bool before_output;  // the game reads its file before kivo.pk3's
  };
  std::vector<Listed> names;  // each once
  int bytes = 0;

  const Listed* find(std::string_view file) const {
    for (const Listed& n : names)
      if (same_but_case(n.name, file)) return &n;
    return nullptr;
  }
  // The bytes `file` adds to the list: 0 when it is listed already.
  int cost(std::string_view file) const {
    return find(file) != nullptr ? 0 : static_cast<int>(file.size()) + 1;
  }
  // 1 when the game would read another file than kivo.pk3's for `file`.
  bool shadowed(std::string_view file) const {
    const Listed* n = find(file);
    return n != nullptr && n->before_output;
  }
  void add(std::string_view file, bool before_output) {
    bytes += cost(file);
    for (Listed& n : names)
      if (same_but_case(n.name, file)) {
        n.before_output = n.before_output || before_output;
        return;
      }
    names.push_back({std::string(file), before_output});
    for (char& c : names.back().name) c = to_lower(c);
  }
};

// Ends in ".bot", the letters in any case.
bool is_bot_file(std::string_view name) {
  return name.size() >= 4 &&
         same_but_case(name.substr(name.size() - 4), ".bot");
}

// What the game lists before this run's bot files: those of the archives it
// loads, and the files (a link to one too, no folder) of the player's own
// loose scripts folder, which it reads before any archive. A failure that
// stops the run when that folder cannot be listed.
Status list_others(const State& s, GameBotList& list) {
  RunContext& run = *s.run;
  for (const GameBotFile& f : s.game_bot_files)
    list.add(f.name, f.before_output);
  Status st;
  std::vector<std::string> loose;
  int error = run.host.list_folder(kScripts, loose);
  if (error == ENOENT || error == ENOTDIR) return st;
  if (error != 0) {
    st.fatal(error,
             "error: cannot list the folder 'scripts' (%s); 'kivo.pk3' and "
             "'kivo.cfg' are left as they were\n",
             std::strerror(error));
    return st;
  }
  for (const std::string& name : loose) {
    if (!is_bot_file(name)) continue;
    Identity id;
    const std::string path = kScriptsMember + name;
    error = run.host.identify(path.c_str(), true, id);
    if (error == ENOENT || error == ELOOP ||
        (error == 0 && id.type == Entry::kFolder))
      continue;
    if (name.size() >= kGameBotNameLimit)
      st.note(
          "warn: the folder 'scripts' holds the bot file '%s', whose name of "
          "%d characters stops the game when it loads its bots\n",
          name.c_str(), static_cast<int>(name.size()));
    list.add(name, true);
  }
  return st;
}

// The filling of the active set: the players it counts, and the names of
// the bot files the game will list with those it writes.
struct ActiveSet {
  explicit ActiveSet(const State& state) : s(state) {}
  const State& s;
  int count = 0;
  GameBotList list;
  bool refused = false;  // the game's list had no room for a player

  // Takes a player that the output will write when the game can still list
  // and read its bot file; false when it cannot. A player whose file the
  // game would not read, as another of that name (letter case aside) comes
  // first, is renamed as validation makes names unique.
  bool take_written(Player& p) {
    const name_field original = p.name;
    auto file = [&p] { return std::string(p.name.view()) + ".bot"; };
    if (list.shadowed(file()))
      rename_player(p, [&] {
        if (list.shadowed(file())) return true;
        for (int i = 0; i < s.roster_count; ++i)
          if (s.roster[i].get() != &p && s.roster[i] != nullptr &&
              s.roster[i]->name == p.name)
            return true;
        return false;
      });
    const bool room = list.bytes + list.cost(file()) <= kGameListRoom;
    if (!room || list.shadowed(file())) {
      p.name = original;
      refused = refused || !room;
      return false;
    }
    list.add(file(), true);
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
  ActiveSet set{s};
  if (!say_status(*s.run, list_others(s, set.list))) return;
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
