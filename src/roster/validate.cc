// validate.cc: makes every roster player fit the tables of this run: unknown
// models are parked, unknown AI files are reset, and names become unique.
#include <cstdint>
#include <cstdio>
#include <memory>

#include "roster/roster.h"

namespace {

// How many names of a table hold each text, found by hashing: with a full
// roster a linear search per name and per candidate costs a million
// comparisons or, for many equal names, a billion. Counts can drop to 0;
// the slot keeps its text, so at most one slot is used per text ever added.
template <int Slots>
class NameCounts {
 public:
  // Adds `delta` to the count of `text`; false when no slot is left.
  bool add(const name_field& text, int delta) {
    int i = find(text);
    if (i < 0) {
      if (used_ == kMaxUsed) return false;
      i = free_slot(text);
      keys_[i] = text;
      taken_[i] = true;
      ++used_;
    }
    counts_[i] += delta;
    return true;
  }
  int count(const name_field& text) const {
    int i = find(text);
    return i < 0 ? 0 : counts_[i];
  }

 private:
  static_assert((Slots & (Slots - 1)) == 0, "a power of two");
  // Half full at most, so every probe soon meets a free slot.
  static constexpr int kMaxUsed = Slots / 2;

  static unsigned hash(const name_field& text) {
    std::uint32_t h = 2166136261u;
    for (const char* c = text.c_str(); *c != '\0'; ++c)
      h = (h ^ static_cast<unsigned char>(*c)) * 16777619u;
    return h;
  }
  int find(const name_field& text) const {
    for (unsigned i = hash(text) & (Slots - 1);; i = (i + 1) & (Slots - 1)) {
      if (!taken_[i]) return -1;
      if (keys_[i] == text) return static_cast<int>(i);
    }
  }
  int free_slot(const name_field& text) const {
    unsigned i = hash(text) & (Slots - 1);
    while (taken_[i]) i = (i + 1) & (Slots - 1);
    return static_cast<int>(i);
  }

  std::array<name_field, Slots> keys_{};
  std::array<int, Slots> counts_{};
  std::array<bool, Slots> taken_{};
  int used_ = 0;
};

// The models and AI files of the run, and the names of the roster, which
// need room for every name before and after validation changed it.
struct Indexes {
  NameCounts<2 * kTableRows> models;
  NameCounts<2 * kTableRows> aifiles;
  NameCounts<4 * kTableRows> names;
  bool names_complete = true;  // false: fall back to searching the roster
};

// Index of the ninth character, the one that duplicate names change first.
constexpr std::size_t kNinth = 8;
// Widths of the number appended when the ninth character cannot help.
constexpr int kMaxSuffixDigits = 4;

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

// Changes p's name until `taken` says no other player holds it.
//
// First the ninth character steps as above; ten steps visit every digit, so
// that part ends on its own. Names shorter than nine characters, and names
// whose ten variants are all taken, instead get a number appended to the
// original name: 0 to 9, then 10 to 99, then 100 to 999, then 1000 to 9999,
// the name cut just enough for name and number to fit 48 characters. The
// 9000 four-digit candidates are all different and the roster holds at most
// 1023 other names, so a free one is always found and the search ends.
template <typename Taken>
void search_unique_name(Player& p, Taken taken) {
  if (!taken()) return;
  const name_field original = p.name;
  if (original.size() > kNinth) {
    for (int step = 0; step < 10; ++step) {
      p.name[kNinth] = next_ninth(p.name[kNinth]);
      if (!taken()) return;
    }
  }
  int first = 0;
  int end = 10;
  for (int digits = 1; digits <= kMaxSuffixDigits; ++digits) {
    std::size_t keep = original.size();
    if (keep + digits > kNameChars) keep = kNameChars - digits;
    for (int number = first; number < end; ++number) {
      // The number has exactly `digits` digits; written by hand, as a
      // roster of one name tries half a million of them.
      char candidate[kNameBytes + 8];
      original.view().substr(0, keep).copy(candidate, keep);
      for (int d = digits - 1, n = number; d >= 0; --d, n /= 10)
        candidate[keep + d] = static_cast<char>('0' + n % 10);
      p.name.set(std::string_view(candidate, keep + digits));
      if (!taken()) return;
    }
    first = end;
    end *= 10;
  }
  p.name = original;  // not reached: the roster is too small to take all
}

// Makes the name of roster row `self` differ from every other name.
void make_unique_name(State& s, int self, Indexes& index) {
  Player& p = *s.roster[self];
  // The player's own name does not count against it while it searches.
  if (index.names_complete) index.names.add(p.name, -1);
  search_unique_name(p, [&] {
    return index.names_complete ? index.names.count(p.name) > 0
                                : name_taken(s, self, p.name) != 0;
  });
  if (index.names_complete && !index.names.add(p.name, 1))
    index.names_complete = false;
}

// Fills the indexes from the tables as validation finds them.
void fill_indexes(const State& s, Indexes& index) {
  for (int i = 0; i < s.model_count; ++i) index.models.add(s.model_names[i], 1);
  for (int i = 0; i < s.aifile_count; ++i)
    index.aifiles.add(s.aifile_names[i], 1);
  for (int i = 0; i < s.roster_count; ++i)
    if (s.roster[i] != nullptr && !index.names.add(s.roster[i]->name, 1))
      index.names_complete = false;
}

}  // namespace

void rename_player(Player& p, const std::function<bool()>& taken) {
  search_unique_name(p, taken);
}

void gd_validate_players_and_aifiles(State& s) {
  auto index = std::make_unique<Indexes>();
  fill_indexes(s, *index);
  for (int i = 0; i < s.roster_count; ++i) {
    Player* p = s.roster[i].get();
    if (p == nullptr) continue;
    if (index->models.count(p->model) == 0) {
      p->st = 'u';
      p->set = kOverflowSet;
    }
    // The placeholder is in no table, so every player still carrying it
    // passes here and ends active, unless its model is unknown.
    if (index->aifiles.count(p->aifile) == 0) {
      p->aifile.set("default");
      if (p->st != 'u') p->st = 'a';
    }
    make_unique_name(s, i, *index);
  }
}
