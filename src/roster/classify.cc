// classify.cc: the archives' own bot definitions, then the group filters
// that decide who of the active set and the overflow set stays active.
#include "roster/roster.h"

namespace {

// Statuses that classification leaves alone: the user's own choices, the
// archive-defined players and the players with an unknown model.
bool is_kept_status(char st) {
  return st == 'A' || st == 'I' || st == 'u' || st == 'X';
}

// Moves `p` to the overflow set when it is still in the active set and its
// group is not wanted.
void exclude_unless(const State& s, Player& p, int wanted) {
  if (p.set == s.use_set && wanted == 0) p.set = kOverflowSet;
}

}  // namespace

void gd_apply_xai(State& s) {
  for (int i = 0; i < s.roster_count; ++i) {
    Player* p = s.roster[i].get();
    if (p == nullptr) continue;
    // Every matching row is applied, so the last one of the archives wins.
    for (int j = 0; j < s.xai_count; ++j) {
      if (!(p->player == s.xai_player[j]) || !(p->model == s.xai_model[j])) {
        continue;
      }
      trace("   %s %s, %s\n", p->model.c_str(), p->player.c_str(),
            s.xai_aifile[j].c_str());
      p->st = 'X';
      p->name = s.xai_name[j];
      if (s.xai_funname[j].empty()) {
        p->funname.set("default");
      } else {
        p->funname = s.xai_funname[j];
      }
      p->set = s.use_set;
      // With the override on, the AI file kivo.cfg gave the player stays.
      if (s.ai_override == 0) p->aifile = s.xai_aifile[j];
    }
  }
}

void gd_classify_players(State& s) {
  for (int i = 0; i < s.roster_count; ++i) {
    Player* p = s.roster[i].get();
    if (p == nullptr || is_kept_status(p->st)) continue;
    // The overflow set is decided again every run, like the active set.
    if (p->set == kOverflowSet) p->set = s.use_set;
    if (p->set != s.use_set) continue;
    p->st = 'a';
    bool grouped = false;
    if (p->pk3file == "pak0") exclude_unless(s, *p, s.use_pak0);
    if (p->player == "blue") {
      grouped = true;
      exclude_unless(s, *p, s.use_blue);
    }
    if (p->player == "default") {
      grouped = true;
      exclude_unless(s, *p, s.use_defa);
    }
    if (p->player == "red") {
      grouped = true;
      exclude_unless(s, *p, s.use_red);
    }
    if (!grouped) exclude_unless(s, *p, s.use_others);
  }
}
