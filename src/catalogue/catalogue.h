// catalogue.h: what the program knows before any archive is read: the stock
// and designer player models, the 32 stock AI files with their skill tiers,
// the 63 stock players, the start values of the flags, and the naming rule
// that turns a model and a skin into a player's name and fun name.
// The four gd_init_ operations fill a fresh State record, in that order.
#ifndef KIVO_CATALOGUE_CATALOGUE_H
#define KIVO_CATALOGUE_CATALOGUE_H

#include <string_view>

#include "core/core.h"

// Number of built-in models, AI files and stock players.
inline constexpr int kBuiltinModels = 29;
inline constexpr int kBuiltinAifiles = 32;
inline constexpr int kStockPlayers = 63;

// The two colour digits of a fun name: "^<first>Mod^<second>Skin".
struct ColourPair {
  char first;
  char second;
};
inline constexpr ColourPair kRedBlueColours{'1', '4'};
inline constexpr ColourPair kExtraColours{'3', '1'};
inline constexpr ColourPair kArchiveColours{'5', '6'};

// Writes the 29 built-in models; model_count becomes 29.
void gd_init_models(State& s);
// Writes the 32 stock AI files and their tiers; aifile_count becomes 32.
void gd_init_aifiles(State& s);
// Appends the 63 stock players to an empty roster (needs the models).
void gd_init_players(State& s);
// Sets default_aifile and the flags to their start values.
void gd_init_defaults(State& s);

// Sets name, funname, model and player of `p` from a model and a skin by the
// naming rule ("SarRed", "^1Sar^4Red"), then applies gd_abbreviate.
void gd_name_player(Player& p, std::string_view model, std::string_view skin,
                    ColourPair colours);
// Replaces the three model letters of name and funname for the few models
// with an abbreviation (tankjr gives Tkj); nothing for any other model.
void gd_abbreviate(Player& p);

#endif  // KIVO_CATALOGUE_CATALOGUE_H
