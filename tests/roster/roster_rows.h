// roster_rows.h: small rosters built row by row for the roster tests.
#ifndef KIVO_TESTS_ROSTER_ROSTER_ROWS_H
#define KIVO_TESTS_ROSTER_ROSTER_ROWS_H

#include <memory>
#include <string>

#include "catalogue/catalogue.h"
#include "roster/roster.h"

namespace test {

// One roster row; what is left out is that of a fresh archive player.
struct Row {
  std::string name = "KniRed";
  std::string model = "sarge";
  std::string skin = "green";
  int set = 0;
  char st = 'i';
  std::string aifile = "default";
  std::string pk3 = "knight";
};

inline void add_rows(State& s, const Row& r, int times = 1) {
  for (int i = 0; i < times; ++i) {
    Player& p = *add_roster_player(s);
    p.name.set(r.name);
    p.model.set(r.model);
    p.player.set(r.skin);
    p.aifile.set(r.aifile);
    p.set = r.set;
    p.st = r.st;
    p.pk3file.set(r.pk3);
  }
}

// The built-in models, AI files and start flags, but no players.
inline std::unique_ptr<State> empty_roster(std::uint32_t seed = 1) {
  auto s = std::make_unique<State>();
  gd_init_models(*s);
  gd_init_aifiles(*s);
  gd_init_defaults(*s);
  rng_seed(*s, seed);
  return s;
}

}  // namespace test

#endif  // KIVO_TESTS_ROSTER_ROSTER_ROWS_H
