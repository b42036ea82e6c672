// output.h: the run's result for the game: one <name>.bot file per active
// player of the active set, packed under scripts/ into kivo.pk3 with the
// host's zip, in a work folder of the program's own; the new archive
// replaces the old in one rename. Reads the roster and use_set of State and
// changes nothing in it.
#ifndef KIVO_OUTPUT_OUTPUT_H
#define KIVO_OUTPUT_OUTPUT_H

#include <cstdio>
#include <string>

#include "core/core.h"

// The roster rows whose bot files this run writes, in roster order, into
// `rows` (room for every roster row); returns how many.
int gd_choose_bots(const State& s, int* rows);
// Writes the bot files of the active set and packs them into kivo.pk3.
void gd_write_descrete_players(State& s);
// One player's bot definition block, as its bot file holds it.
std::string bot_def_text(const Player& p);
// Writes one player's bot definition block to an open text stream.
void gd_write_bot_def(const Player& p, std::FILE* f);

#endif  // KIVO_OUTPUT_OUTPUT_H
