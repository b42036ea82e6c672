#include <gtest/gtest.h>

#include <vector>

#include "roster/roster_rows.h"

namespace {

// `n` equal rows and the set and status each of them must end with.
struct Group {
  int n;
  test::Row in;
  int set;
  char st;
};

TEST(Clip, BothPhases) {
  const char* d = "default";
  const std::vector<std::vector<Group>> cases = {
      {{80, {.st = 'a'}, 0, 'a'}, {20, {.st = 'a'}, 9, 'a'}},
      // 80 archive players fill the set; nobody joins from set 9.
      {{1, {.st = 'A'}, 9, 'A'},
       {80, {.set = 3, .st = 'X'}, 0, 'X'},
       {1, {.set = 3, .st = 'X'}, 3, 'X'},
       {1, {.st = 'a'}, 9, 'a'},
       {1, {.skin = d, .set = 9}, 9, 'i'}},
      {{30, {.st = 'a'}, 0, 'a'},
       {50, {.set = 9}, 0, 'a'},
       {20, {.set = 9}, 9, 'i'}},
      // Room for three: the 'A', the default skin, then the first other.
      {{77, {.st = 'a'}, 0, 'a'},
       {1, {.skin = d, .set = 9, .st = 'u'}, 9, 'u'},
       {1, {.set = 9, .st = 'I'}, 0, 'a'},
       {1, {.set = 9}, 9, 'i'},
       {1, {.skin = d, .set = 9}, 0, 'a'},
       {1, {.set = 9, .st = 'A'}, 0, 'A'},
       {1, {.set = 9, .st = 'u'}, 9, 'u'}},
      // Set 0 holds 85 inactive: only the active players of it count.
      {{80, {.set = 4}, 4, 'i'}, {5, {.set = 4}, 9, 'i'}, {85, {}, 0, 'i'}},
      // With use_set 2: clipping keeps the 80 active, the set limit of 2
      // counts the ten 'I' as well.
      {{10, {.set = 2, .st = 'I'}, 2, 'I'},
       {70, {.set = 2, .st = 'a'}, 2, 'a'},
       {10, {.set = 2, .st = 'a'}, 9, 'a'}},
  };
  for (std::size_t c = 0; c < cases.size(); ++c) {
    auto s = test::empty_roster();
    s->use_set = c == 5 ? 2 : 0;
    for (const Group& g : cases[c]) test::add_rows(*s, g.in, g.n);
    gd_clip_active_set(*s);
    gd_clip_sets(*s);
    int row = 0;
    for (const Group& g : cases[c]) {
      for (int i = 0; i < g.n; ++i, ++row) {
        EXPECT_EQ(s->roster[row]->set, g.set) << "case " << c << " row " << row;
        EXPECT_EQ(s->roster[row]->st, g.st) << "case " << c << " row " << row;
      }
    }
  }
}

}  // namespace
