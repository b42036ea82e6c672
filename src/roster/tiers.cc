// tiers.cc: gives every player still carrying the placeholder AI file a
// random AI file of the tier range, from the run's one generator.
#include <cstdio>

#include "roster/roster.h"

namespace {

// Rows of the AI file table with tier `tier`.
int count_tier(const State& s, int tier) {
  int n = 0;
  for (int i = 0; i < s.aifile_count; ++i) {
    if (s.aifile_tiers[i] == tier) ++n;
  }
  return n;
}

// Row of the (k+1)-th AI file of tier `tier`, in table order.
int nth_of_tier(const State& s, int tier, int k) {
  for (int i = 0; i < s.aifile_count; ++i) {
    if (s.aifile_tiers[i] != tier) continue;
    if (k == 0) return i;
    --k;
  }
  return -1;
}

}  // namespace

void gd_supplimental_ai_mapping(State& s) {
  RunContext& run = *s.run;
  const int lo = s.tier_lo;
  const int hi = s.tier_hi;
  if (lo > hi || lo < kLowestTier || lo > kHighestTier || hi < kLowestTier ||
      hi > kHighestTier) {
    say_error(run,
              "error: invalid tier boundaries (%d,%d)\n"
              "       must be ascending ints between 0 and 9\n",
              lo, hi);
    return;
  }
  const int span = hi - lo + 1;
  for (int i = 0; i < s.roster_count; ++i) {
    Player* p = s.roster[i].get();
    if (p == nullptr || !(p->aifile == "default")) continue;
    // The tier is drawn first, whatever each tier holds; the file second.
    const int tier = lo + rng_draw(s) % span;
    const int n = count_tier(s, tier);
    if (n == 0) {
      std::printf("warn: no aifiles found for selected tier, %d\n", tier);
      std::printf("       defaulting to '%s'\n", s.default_aifile.c_str());
      p->aifile = s.default_aifile;
      continue;
    }
    const int row = nth_of_tier(s, tier, rng_draw(s) % n);
    if (row >= 0) p->aifile = s.aifile_names[row];
  }
}
