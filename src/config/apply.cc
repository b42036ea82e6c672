// Carries what kivo.cfg says over to this run's roster and AI file table.
// A player is known by its model and skin, not its name, so a renamed
// player keeps its row; rows for models no archive holds any more do
// nothing. Every matching row is applied in file order: the last one wins.
#include "config/config.h"

void gd_apply_config(State& s) {
  for (int i = 0; i < s.roster_count && i < kTableRows; ++i) {
    Player* p = s.roster[i].get();
    if (p == nullptr) continue;
    for (int j = 0; j < s.cfg_player_count && j < kTableRows; ++j) {
      const Player* row = s.cfg_players[j].get();
      if (row == nullptr || !(row->model == p->model) ||
          !(row->player == p->player))
        continue;
      // A player of an archive's bot definition takes its name, status and
      // set from that definition again; the file may only give its AI file.
      if (to_lower(row->st) == 'x') {
        if (s.ai_override != 0) p->aifile = row->aifile;
        continue;
      }
      p->name = row->name;
      p->funname = row->funname;
      p->st = row->st;
      p->set = row->set;
      if (s.ai_reset == 0) p->aifile = row->aifile;
    }
  }
}

void gd_apply_ai_cfg(State& s) {
  for (int i = 0; i < s.aifile_count && i < kTableRows; ++i)
    for (int j = 0; j < s.cfg_tier_count && j < kTableRows; ++j)
      if (s.aifile_names[i] == s.cfg_tier_names[j])
        s.aifile_tiers[i] = s.cfg_tier_values[j];
}
