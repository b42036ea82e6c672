// config.h: kivo.cfg, the player's memory between runs and the file they
// edit by hand. The reader takes its flags into State and keeps its player
// and tier rows (cfg_players, cfg_tier_names/values); the apply phases carry
// those rows over to the roster and the AI file table; the writer puts the
// whole file out anew, from State, at the end of every run.
#ifndef KIVO_CONFIG_CONFIG_H
#define KIVO_CONFIG_CONFIG_H

#include <cstdio>

#include "core/core.h"
#include "core/names.h"

// One row of the flags block: its name, its comment, and the State field it
// stands for. Reader and writer share the table, so a flag cannot be written
// under one name and read back under another.
struct ConfigFlag {
  const char* name;
  const char* comment;
  int State::*field;
};
// The nine flags of the file, in the order they are written.
inline constexpr ConfigFlag kConfigFlags[] = {
    {"tier_hi", "integer, range (0,9), randomizer's highest allowable tier",
     &State::tier_hi},
    {"tier_lo", "integer, range (0,9), randomizer's lowest allowable tier",
     &State::tier_lo},
    {"use_blue", "if 1, include 'blue' players", &State::use_blue},
    {"use_defa", "if 1, include 'default' players", &State::use_defa},
    {"use_others", "if 1, include those *not* in the set (blue, default, red)",
     &State::use_others},
    {"use_pak0", "if 1, include pak0 extra players and designer models",
     &State::use_pak0},
    {"use_red", "if 1, include 'red' players", &State::use_red},
    {"use_set", "current active set, default=0, range=(0,8); 9 is overflow",
     &State::use_set},
    {"ai_reset", "if 1, re-randomize all player ai (non-persistant flag)",
     &State::ai_reset},
};

// ---- Reading ----

// Reads kivo.cfg if there is one: flags into State, rows kept for applying.
void gd_read_config(State& s);
// Reads the flags block, searching from the stream's current position.
void gd_read_flags(State& s, std::FILE* f);
// Fills `p` from the space-separated fields of one players-block row;
// returns how many of the eight fields the row had (8 for a usable row).
int gd_parse_player_row(Player& p, const char* row);

// ---- Applying ----

// Carries the kept player rows over to the roster, keyed by model and skin.
void gd_apply_config(State& s);
// Gives the AI file table the tiers of the kept tier rows.
void gd_apply_ai_cfg(State& s);

// ---- Writing ----

// Replaces kivo.cfg with the writer's text, only once every write has
// succeeded, and prints "wrote 'kivo.cfg'"; on failure an "error: " line and
// the old file untouched. When the reader skipped parts of the old file, it
// is kept as kivo.cfg.bak first. kivo.cfg changed since it was read is not
// replaced. Returns 1 when the file was replaced.
int gd_save_config(State& s);

#endif  // KIVO_CONFIG_CONFIG_H
