// roster.h: the phases that decide each roster player's set, status, name
// and AI file: the archives' own bot definitions and the group filters
// (classification), the check against the known models and AI files and the
// uniqueness of names (validation), the random AI file of a tier range, and
// the limit of 80 players per set (clipping). They read the flags of State
// and change the Player records of the roster.
#ifndef KIVO_ROSTER_ROSTER_H
#define KIVO_ROSTER_ROSTER_H

#include <functional>

#include "core/core.h"

// Players matching a bot definition of an archive take it over ('X').
void gd_apply_xai(State& s);
// The use_ flags decide who of the active set and set 9 stays active.
void gd_classify_players(State& s);
// Parks unknown models, resets unknown AI files, makes names unique.
void gd_validate_players_and_aifiles(State& s);
// Changes p's name as validation makes a taken one unique (its ninth
// character first, else a number appended) until `taken` says it is free.
void rename_player(Player& p, const std::function<bool()>& taken);
// Gives every "default" AI file a random one of the tier range.
void gd_supplimental_ai_mapping(State& s);
// Keeps at most 80 counted players in the active set, filling from set 9.
void gd_clip_active_set(State& s);
// Keeps at most 80 players in each of the sets 1 to 8.
void gd_clip_sets(State& s);

#endif  // KIVO_ROSTER_ROSTER_H
