#include "roster/roster.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "support/support.h"

namespace {

// The roster's sets and statuses in runs: "46x9a 17x0a".
std::string runs(const State& s) {
  std::string out;
  for (int i = 0, n = 1; i < s.roster_count; ++i, ++n) {
    const Player& p = *s.roster[i];
    if (i + 1 < s.roster_count && s.roster[i + 1]->set == p.set &&
        s.roster[i + 1]->st == p.st)
      continue;
    out += (out.empty() ? "" : " ") + std::to_string(n) + "x" +
           std::to_string(p.set) + p.st;
    n = 0;
  }
  return out;
}

// A State with the catalogue but no players.
std::unique_ptr<State> empty_roster(std::uint32_t seed = 1) {
  auto s = test::fresh_state(seed);
  s->roster_count = 0;
  return s;
}

// Adds `n` players KniRed from "set st model skin pk3file".
void add(State& s, int n, const std::string& row, const char* ai = "default") {
  test::add(s, std::string("KniRed f ") + ai + " " + row, n);
}

TEST(Classify, StartFlagsAndKeptStatuses) {
  auto stock = test::fresh_state();
  gd_classify_players(*stock);
  EXPECT_EQ(runs(*stock), "46x9a 17x0a");  // red and blue players wait in 9
  auto s = empty_roster();
  s->use_set = 2, s->use_red = 1, s->use_others = 0, s->use_pak0 = 0;
  for (const char* row :
       {"9 A sarge blue k", "2 I sarge blue k", "2 u sarge blue k",
        "2 X sarge blue k", "3 i sarge blue k", "9 i sarge red k",
        "9 i sarge blue k", "2 a sarge Red k", "2 i sarge default pak0",
        "2 i sarge default pak0x"})
    add(*s, 1, row);
  gd_classify_players(*s);
  EXPECT_EQ(runs(*s), "1x9A 1x2I 1x2u 1x2X 1x3i 1x2a 3x9a 1x2a");
}

// Bot definitions of archives: matched by model and skin, the later row
// wins, an empty fun name gives "default", and with ai_override the AI file
// stays the one the player had.
TEST(ApplyXai, LaterRowWinsAndOverrideKeepsTheAifile) {
  for (int override : {0, 1}) {
    auto s = empty_roster();
    s->use_set = 4, s->ai_override = override;
    add(*s, 1, "0 i knight red k", "keel");
    add(*s, 1, "3 i Knight red k", "keel");  // another model: no match
    const char* defs[][5] = {{"Sir", "^2Sir", "sirai", "knight", "red"},
                             {"Sir2", "", "sir2ai", "knight", "red"}};
    for (const auto& d : defs) {
      const int n = s->xai_count++;
      NameTable* columns[] = {&s->xai_name, &s->xai_funname, &s->xai_aifile,
                              &s->xai_model, &s->xai_player};
      for (int i = 0; i < 5; ++i) (*columns[i])[n].set(d[i]);
    }
    gd_apply_xai(*s);
    const Player& p = *s->roster[0];
    EXPECT_EQ(std::string(p.name.view()) + " " + p.funname.c_str() + " " +
                  p.aifile.c_str() + " " + std::to_string(p.set) + p.st,
              override ? "Sir2 default keel 4X" : "Sir2 default sir2ai 4X");
    EXPECT_EQ(s->roster[1]->st, 'i');
  }
}

TEST(Validate, ModelThenAifile) {
  auto s = empty_roster();
  add(*s, 1, "0 A nomodel green k", "keel");
  add(*s, 1, "0 a nomodel green k");
  add(*s, 1, "9 u sarge green k", "keel");
  add(*s, 1, "3 I sarge green k");
  add(*s, 1, "0 X sarge green k", "archai");
  add(*s, 1, "0 i sarge green k", "Keel");
  add(*s, 1, "5 I sarge green k", "keel");
  gd_validate_players_and_aifiles(*s);
  EXPECT_EQ(runs(*s), "3x9u 1x3a 2x0a 1x5I");
  std::string aifiles;
  for (int i = 0; i < s->roster_count; ++i)
    aifiles += s->roster[i]->aifile.view().substr(0, 1);
  EXPECT_EQ(aifiles, "kdkdddk");  // keel kept, unknown ones reset
}

TEST(Validate, NamesEndUnique) {
  using Names = std::vector<std::string>;
  const std::string w48(48, 'w'), z48 = std::string(46, 'z') + "11";
  Names twelve48, thirty;
  for (char d = '0'; d <= '9'; ++d) {
    twelve48.push_back(w48.substr(0, 8) + d + w48.substr(9));
    thirty.push_back(std::string("SarDefau") + d);
  }
  twelve48.insert(twelve48.end(), {w48.substr(0, 47) + "0", w48});
  for (int n = 0; n <= 18; ++n)
    thirty.push_back("SarDefaul" + std::to_string(n));
  thirty.push_back("SarDefaul");
  // A hand-edited kivo.cfg can give a full roster one name.
  Names full(thirty.begin(), thirty.begin() + 10);
  for (int n = 0; n < kTableRows - 11; ++n)
    full.push_back("SarDefaul" + std::to_string(n));
  full.push_back("SarDefaul");
  const std::pair<Names, Names> cases[] = {
      {Names(3, "SarDefaul"), {"SarDefau0", "SarDefau1", "SarDefaul"}},
      {{"SarDefau1", "SarDefau2"}, {"SarDefau1", "SarDefau2"}},
      {{"Player123", "Player123"}, {"Player124", "Player123"}},
      {{"Ab", "Ab1", "Ab", "Ab0"}, {"Ab2", "Ab1", "Ab", "Ab0"}},
      {Names(12, w48), twelve48},
      {Names(30, "SarDefaul"), thirty},
      {Names(kTableRows, "SarDefaul"), full},
      {Names(300, z48), {}},  // numbers of different widths overlap here
  };
  for (const auto& [in, want] : cases) {
    auto s = empty_roster();
    for (const std::string& name : in)
      test::add(*s, name + " f default 0 i sarge green k");
    gd_validate_players_and_aifiles(*s);
    Names got;
    for (int i = 0; i < s->roster_count; ++i)
      got.emplace_back(s->roster[i]->name.view());
    if (!want.empty()) {
      EXPECT_EQ(got, want) << in[0];
    }
    EXPECT_EQ(std::set<std::string>(got.begin(), got.end()).size(), got.size())
        << in[0];
  }
}

// What the randomizer prints for a tier range, then the AI files.
std::string assign(State& s, int lo, int hi) {
  s.tier_lo = lo, s.tier_hi = hi;
  std::string out = test::printed([&] { gd_supplimental_ai_mapping(s); });
  for (int i = 0; i < s.roster_count; ++i)
    out += std::string(s.roster[i]->aifile.view()) + " ";
  return out;
}

// Seed 1 draws 41, 18467, 6334, 26500, 19169. Tiers 1 to 7: 41 % 7 = 6,
// tier 7 is empty: visor; crash is valid and draws nothing; 18467 % 7 = 1,
// tier 2 of five files: 6334 % 5 = 4, hossman; 26500 % 7 = 5, tier 6 of
// three files: 19169 % 3 = 2, hunter.
TEST(Tiers, DrawsTierThenFile) {
  auto s = empty_roster(1);
  add(*s, 1, "0 i sarge green k");
  add(*s, 1, "0 i sarge green k", "crash");
  add(*s, 2, "9 u sarge green k");
  EXPECT_EQ(assign(*s, 1, 7),
            "warn: no aifiles found for selected tier, 7\n"
            "       defaulting to 'visor'\nvisor crash hossman hunter ");
  s->roster[0]->aifile.set("default");
  s->default_aifile.set("grunt");
  EXPECT_EQ(assign(*s, 8, 8),
            "warn: no aifiles found for selected tier, 8\n"
            "       defaulting to 'grunt'\ngrunt crash hossman hunter ");
  s->roster[0]->aifile.set("default");
  EXPECT_EQ(assign(*s, 0, 0), "crash crash hossman hunter ");
  for (auto [lo, hi] : {std::pair{5, 2}, {0, 10}, {-1, 3}}) {
    s->roster[0]->aifile.set("default");
    EXPECT_EQ(assign(*s, lo, hi),
              "error: invalid tier boundaries (" + std::to_string(lo) + "," +
                  std::to_string(hi) +
                  ")\n       must be ascending ints between 0 and 9\n"
                  "default crash hossman hunter ");
  }
}

TEST(Clip, ActiveSetAndOtherSets) {
  // use_set, then groups "count set st skin" of players of the model sarge,
  // then the sets and statuses afterwards.
  const char* cases[][3] = {
      {"0", "100 0 a green", "80x0a 20x9a"},
      {"0", "1 0 A green,81 3 X green,1 0 a green,1 9 i default",
       "1x9A 80x0X 1x3X 1x9a 1x9i"},
      {"0", "30 0 a green,70 9 i green", "80x0a 20x9i"},
      // Room for three: the 'A', the default skin, then the first other.
      {"0",
       "77 0 a green,1 9 u default,1 9 I green,1 9 i green,1 9 i default,"
       "1 9 A green,1 9 u green",
       "77x0a 1x9u 1x0a 1x9i 1x0a 1x0A 1x9u"},
      // Only the active players of set 0 count; set 4 keeps 80.
      {"0", "85 4 i green,85 0 i green", "80x4i 5x9i 85x0i"},
      // The active set keeps 80 active; its set limit counts the 'I' too.
      {"2", "10 2 I green,80 2 a green", "10x2I 70x2a 10x9a"},
  };
  for (const auto& c : cases) {
    auto s = empty_roster();
    s->use_set = std::atoi(c[0]);
    std::istringstream groups(c[1]);
    for (std::string group; std::getline(groups, group, ',');) {
      std::istringstream in(group);
      int n;
      std::string set, st, skin;
      in >> n >> set >> st >> skin;
      add(*s, n, set + " " + st + " sarge " + skin + " knight");
    }
    gd_clip_active_set(*s);
    gd_clip_sets(*s);
    EXPECT_EQ(runs(*s), c[2]) << c[1];
  }
}

}  // namespace
