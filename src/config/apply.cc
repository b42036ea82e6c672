// Carries what kivo.cfg says over to this run's roster and AI file table.
// A player is known by its model and skin, not its name, so a renamed
// player keeps its row; rows for models no archive holds any more do
// nothing. Every matching row is applied in file order: the last one wins.
//
// Two archives may carry the same model and skin, which gives two players
// with one key. The writer puts each player's archive in its row, so when
// rows of the player's own archive are there, the player takes only those:
// otherwise both would take the same row, the name check would rename one of
// them, and its name would change again on every run.
#include <array>

#include "config/config.h"

namespace {

bool same_key(const Player& row, const Player& p) {
  return row.model == p.model && row.player == p.player;
}

// 1 when a row for the player's model and skin names its archive too.
int has_own_archive_row(const State& s, const Player& p) {
  for (int j = 0; j < s.cfg_player_count; ++j) {
    const Player* row = s.cfg_players[j].get();
    if (row != nullptr && same_key(*row, p) && row->pk3file == p.pk3file)
      return 1;
  }
  return 0;
}

}  // namespace

void gd_apply_config(State& s) {
  // Rows that no player takes are not written again; the save keeps the old
  // file when there are any.
  std::array<bool, kTableRows> taken{};
  for (int i = 0; i < s.roster_count; ++i) {
    Player* p = s.roster[i].get();
    if (p == nullptr) continue;
    int own_archive_only = has_own_archive_row(s, *p);
    for (int j = 0; j < s.cfg_player_count; ++j) {
      const Player* row = s.cfg_players[j].get();
      if (row == nullptr || !same_key(*row, *p)) continue;
      if (own_archive_only && !(row->pk3file == p->pk3file)) continue;
      taken[j] = true;
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
  s.cfg_lost = 0;
  for (int j = 0; j < s.cfg_player_count; ++j)
    if (s.cfg_players[j] != nullptr && !taken[j]) ++s.cfg_lost;
}

// Each AI file takes the tier of its last row. Files written before an AI
// file was learned only once list the game's own AI files twice when an
// archive carries one of them, the second time with the 9 of an unranked
// find: a row of 9 therefore gives way to any other row of the same AI file,
// so the stock tier, or the one the player chose, is what counts.
void gd_apply_ai_cfg(State& s) {
  for (int i = 0; i < s.aifile_count; ++i) {
    bool ranked = false;
    for (int j = 0; j < s.cfg_tier_count; ++j) {
      if (!(s.aifile_names[i] == s.cfg_tier_names[j])) continue;
      int tier = s.cfg_tier_values[j];
      if (tier == kUnranked && ranked) continue;
      ranked = ranked || tier != kUnranked;
      s.aifile_tiers[i] = tier;
    }
  }
}
