// clip.cc: bounds the player sets to 80 players each. The active set is
// filled by preference (archive-defined, user-activated, active) and topped
// up from the overflow set; the sets 1 to 8 keep their first 80 members.
#include "roster/roster.h"

namespace {

// Counts, while there is room, the players that `member` picks out of one
// set, and moves every later one it picks to the overflow set once the set
// is full.
template <typename Member>
void keep_while_room(State& s, int& count, Member member) {
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

// A pass over the overflow set: brings in, while there is room, each player
// that `wanted` accepts; `activate` also makes it 'a'.
template <typename Wanted>
void take_from_overflow(State& s, int& count, Wanted wanted, bool activate) {
  for (int i = 0; i < s.roster_count && count < kSetLimit; ++i) {
    Player* p = s.roster[i].get();
    if (p == nullptr || p->set != kOverflowSet || !wanted(*p)) continue;
    p->set = s.use_set;
    if (activate) p->st = 'a';
    ++count;
  }
}

}  // namespace

void gd_clip_active_set(State& s) {
  int count = 0;
  // Archive-defined players come first, wherever they were.
  for (int i = 0; i < s.roster_count && count < kSetLimit; ++i) {
    Player* p = s.roster[i].get();
    if (p == nullptr || p->st != 'X') continue;
    p->set = s.use_set;
    ++count;
  }
  // Then the user-activated players of the set, then the active ones.
  for (char st : {'A', 'a'})
    keep_while_room(s, count, [&s, st](const Player& p) {
      return p.set == s.use_set && p.st == st;
    });
  take_from_overflow(
      s, count, [](const Player& p) { return p.st == 'A'; }, false);
  take_from_overflow(
      s, count,
      [](const Player& p) { return p.st != 'u' && p.player == "default"; },
      true);
  take_from_overflow(
      s, count, [](const Player& p) { return p.st != 'u'; }, true);
}

void gd_clip_sets(State& s) {
  for (int set = 1; set < kOverflowSet; ++set) {
    int count = 0;
    keep_while_room(s, count, [set](const Player& p) { return p.set == set; });
  }
}
