#include "catalogue/catalogue.h"

#include <cstddef>

namespace {

// Rows 1 to 23 are the stock models, each with a red and a blue player; the
// last six are the designer models, which serve only the extra players.
constexpr const char* kModels[kBuiltinModels] = {
    "xaero", "orbb", "slash", "sorlag", "major", "uriel", "ranger", "keel",
    "bitterman", "visor", "anarki", "tankjr", "razor", "biker", "lucy", "klesk",
    "doom", "mynx", "hunter", "sarge", "grunt", "bones", "crash",
    // designer models
    "vexlor", "brantok", "quillix", "morvane", "zephrix", "talgrim"};
constexpr int kStockModels = 23;

struct TieredAifile {
  const char* name;
  int tier;
};
constexpr TieredAifile kAifiles[kBuiltinAifiles] = {
    {"xaero", 6},     {"orbb", 1},    {"slash", 2},  {"sorlag", 5},
    {"daemia", 2},    {"uriel", 5},   {"wrack", 1},  {"keel", 5},
    {"bitterman", 2}, {"gorre", 3},   {"anarki", 6}, {"tankjr", 3},
    {"patriot", 4},   {"cadavre", 5}, {"angel", 4},  {"klesk", 3},
    {"phobos", 4},    {"mynx", 1},    {"visor", 4},  {"lucy", 4},
    {"hunter", 6},    {"razor", 3},   {"major", 5},  {"biker", 3},
    {"sarge", 1},     {"stripe", 4},  {"grunt", 2},  {"ranger", 3},
    {"doom", 5},      {"hossman", 2}, {"bones", 4},  {"crash", 0}};

struct ModelSkin {
  const char* model;
  const char* skin;
};
// The extra players: stock skins that no stock bot uses, and the designer
// models with their default skin.
constexpr ModelSkin kExtraSkins[] = {
    {"biker", "stroggo"},   {"biker", "slammer"},   {"hunter", "harpy"},
    {"vexlor", "default"},  {"brantok", "default"}, {"quillix", "default"},
    {"morvane", "default"}, {"zephrix", "default"}, {"talgrim", "default"},
    {"bones", "bones"},     {"klesk", "flisk"},     {"razor", "id"},
    {"sarge", "krusade"},   {"sarge", "roderic"},   {"slash", "grrl"},
    {"slash", "yuriko"},    {"uriel", "zael"}};
static_assert(2 * kStockModels + std::size(kExtraSkins) == kStockPlayers);

// Model letters replaced by gd_abbreviate; '\0' keeps the letter.
struct Abbreviation {
  const char* model;
  char letters[3];
};
constexpr Abbreviation kAbbreviations[] = {{"tankjr", {'T', 'k', 'j'}},
                                           {"alien3", {0, 0, '3'}},
                                           {"animech", {0, 0, 'c'}},
                                           {"bender", {0, 'n', 'd'}},
                                           {"raziel", {0, 'z', 'l'}}};

constexpr std::size_t kNameCut = 9;      // characters kept of a name
constexpr std::size_t kFunnameCut = 13;  // characters kept of a fun name

void add_stock_player(State& s, const char* model, const char* skin,
                      ColourPair colours) {
  Player* p = add_roster_player(s);
  if (p == nullptr) return;
  gd_name_player(*p, model, skin, colours);
  p->aifile.set("default");
  p->pk3file.set("pak0");
}

}  // namespace

void gd_init_models(State& s) {
  s.model_count = 0;
  for (const char* model : kModels)
    append_name(s.model_names, s.model_count, model);
}

void gd_init_aifiles(State& s) {
  s.aifile_count = 0;
  for (const auto& row : kAifiles) {
    s.aifile_tiers[s.aifile_count] = row.tier;
    append_name(s.aifile_names, s.aifile_count, row.name);
  }
}

void gd_init_players(State& s) {
  for (int m = 0; m < kStockModels && m < s.model_count; ++m) {
    add_stock_player(s, s.model_names[m].c_str(), "red", kRedBlueColours);
    add_stock_player(s, s.model_names[m].c_str(), "blue", kRedBlueColours);
  }
  for (const auto& row : kExtraSkins)
    add_stock_player(s, row.model, row.skin, kExtraColours);
}

void gd_init_defaults(State& s) {
  s.default_aifile.set("visor");
  s.tier_hi = 5;
  s.tier_lo = 1;
  s.use_blue = 0;
  s.use_defa = 1;
  s.use_others = 1;
  s.use_pak0 = 1;
  s.use_red = 0;
  s.use_set = 0;
  s.ai_reset = 1;
}

void gd_name_player(Player& p, std::string_view model, std::string_view skin,
                    ColourPair colours) {
  // A model of fewer than three letters ends both texts after its letters:
  // the skin, and in the fun name the second colour code, are left out.
  std::string_view letters = model.substr(0, 3);
  bool whole = letters.size() == 3;

  char text[kNameBytes * 2 + 8];
  std::size_t n = 0;
  for (char c : letters) text[n++] = c;
  if (whole)
    for (std::size_t i = 0; i < skin.size() && n < kNameCut; ++i)
      text[n++] = skin[i];
  p.name.set(std::string_view(text, n < kNameCut ? n : kNameCut));
  p.name[0] = to_upper(p.name[0]);
  p.name[3] = to_upper(p.name[3]);

  n = 0;
  text[n++] = '^';
  text[n++] = colours.first;
  for (char c : letters) text[n++] = c;
  if (whole) {
    text[n++] = '^';
    text[n++] = colours.second;
    for (std::size_t i = 0; i < skin.size() && n < kFunnameCut; ++i)
      text[n++] = skin[i];
  }
  p.funname.set(std::string_view(text, n < kFunnameCut ? n : kFunnameCut));
  p.funname[2] = to_upper(p.funname[2]);
  p.funname[7] = to_upper(p.funname[7]);

  p.model.set(model);
  p.player.set(skin);
  gd_abbreviate(p);
}

void gd_abbreviate(Player& p) {
  for (const auto& row : kAbbreviations) {
    if (!(p.model == row.model)) continue;
    for (std::size_t i = 0; i < 3; ++i) {
      if (row.letters[i] == 0) continue;
      // The model letters are characters 1-3 of the name and 3-5 of the fun
      // name; a shorter text keeps its end where it is.
      if (i < p.name.size()) p.name[i] = row.letters[i];
      if (i + 2 < p.funname.size()) p.funname[i + 2] = row.letters[i];
    }
  }
}
