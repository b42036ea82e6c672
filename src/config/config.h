// config.h: kivo.cfg, the player's memory between runs and the file they
// edit by hand. The reader takes its flags into State and keeps its player
// and tier rows (cfg_players, cfg_tier_names/values); the apply phases carry
// those rows over to the roster and the AI file table; the writer puts the
// whole file out anew, from State, at the end of every run.
#ifndef KIVO_CONFIG_CONFIG_H
#define KIVO_CONFIG_CONFIG_H

#include <cstdio>

#include "core/core.h"

// The configuration file, in the current folder.
inline constexpr char kConfigFile[] = "kivo.cfg";

// Reads kivo.cfg if there is one: flags into State, rows kept for applying.
void gd_read_config(State& s);
// Reads the flags block from the stream's current position.
void gd_read_flags(State& s, std::FILE* f);
// Fills `p` from the eight space-separated fields of one players-block row.
void gd_parse_player_row(Player& p, const char* row);

// Carries the kept player rows over to the roster, keyed by model and skin.
void gd_apply_config(State& s);
// Gives the AI file table the tiers of the kept tier rows.
void gd_apply_ai_cfg(State& s);

// Writes the whole file text (flags, players, tiers) to `f`.
void gd_write_config(State& s, std::FILE* f);
// Replaces kivo.cfg with the writer's text, only once every write has
// succeeded, and prints "wrote 'kivo.cfg'"; on failure an "error: " line and
// the old file untouched. Returns 1 when the file was replaced.
int gd_save_config(State& s);

#endif  // KIVO_CONFIG_CONFIG_H
