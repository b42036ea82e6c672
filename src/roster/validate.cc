// validate.cc: makes every roster player fit the tables of this run: unknown
// models are parked, unknown AI files are reset, and names become unique.
#include <cstdio>

#include "roster/roster.h"

namespace {

// Index of the ninth character, the one that duplicate names change first.
constexpr std::size_t kNinth = 8;
// Widths of the number appended when the ninth character cannot help.
constexpr int kMaxSuffixDigits = 4;

// 1 when `text` equals one of the first `count` names of `table`.
int in_table(const NameTable& table, int count, const name_field& text) {
  for (int i = 0; i < count && i < kTableRows; ++i) {
    if (table[i] == text) return 1;
  }
  return 0;
}

// 1 when any roster player other than row `self` is called `name`.
int name_taken(const State& s, int self, const name_field& name) {
  for (int i = 0; i < s.roster_count; ++i) {
    if (i != self && s.roster[i] != nullptr && s.roster[i]->name == name) {
      return 1;
    }
  }
  return 0;
}

// The ninth-character step: a digit '0' to '8' becomes the next digit, any
// other character, '9' included, becomes '0'.
char next_ninth(char c) { return c >= '0' && c <= '8' ? c + 1 : '0'; }

// Makes the name of roster row `self` differ from every other name.
//
// First the ninth character steps as above; ten steps visit every digit, so
// that part ends on its own. Names shorter than nine characters, and names
// whose ten variants are all taken, instead get a number appended to the
// original name: 0 to 9, then 10 to 99, then 100 to 999, then 1000 to 9999,
// the name cut just enough for name and number to fit 48 characters. The
// 9000 four-digit candidates are all different and the roster holds at most
// 1023 other names, so a free one is always found and the search ends.
void make_unique_name(State& s, int self) {
  Player& p = *s.roster[self];
  if (!name_taken(s, self, p.name)) return;
  const name_field original = p.name;
  if (original.size() > kNinth) {
    for (int step = 0; step < 10; ++step) {
      p.name[kNinth] = next_ninth(p.name[kNinth]);
      if (!name_taken(s, self, p.name)) return;
    }
  }
  int first = 0;
  int end = 10;
  for (int digits = 1; digits <= kMaxSuffixDigits; ++digits) {
    std::size_t keep = original.size();
    if (keep + digits > kNameChars) keep = kNameChars - digits;
    for (int number = first; number < end; ++number) {
      char candidate[kNameBytes + 8];
      std::snprintf(candidate, sizeof candidate, "%.*s%d",
                    static_cast<int>(keep), original.c_str(), number);
      p.name.set(candidate);
      if (!name_taken(s, self, p.name)) return;
    }
    first = end;
    end *= 10;
  }
  p.name = original;  // not reached: the roster is too small to take all
}

}  // namespace

void gd_validate_players_and_aifiles(State& s) {
  for (int i = 0; i < s.roster_count; ++i) {
    Player* p = s.roster[i].get();
    if (p == nullptr) continue;
    if (!in_table(s.model_names, s.model_count, p->model)) {
      p->st = 'u';
      p->set = kOverflowSet;
    }
    // The placeholder is in no table, so every player still carrying it
    // passes here and ends active, unless its model is unknown.
    if (!in_table(s.aifile_names, s.aifile_count, p->aifile)) {
      p->aifile.set("default");
      if (p->st != 'u') p->st = 'a';
    }
    make_unique_name(s, i);
  }
}
