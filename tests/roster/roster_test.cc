// Classification, validation, AI files by tier and clipping, on rosters made
// from rows of kivo.cfg's players block.
#include "roster/roster.h"

#include <gtest/gtest.h>

#include <ostream>
#include <set>

#include "support/fault_host.h"
#include "support/support.h"

namespace {

// `count` players in a row of the roster with one set and status.
struct Span {
  int count, set;
  char st;
  bool operator==(const Span&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Span& r) {
  return out << r.count << " in set " << r.set << " with status " << r.st;
}

// The roster's sets and statuses, in runs.
std::vector<Span> runs(const State& s) {
  std::vector<Span> out;
  for (int i = 0; i < s.roster_count; ++i) {
    const Player& p = *s.roster[i];
    if (!out.empty() && out.back().set == p.set && out.back().st == p.st)
      ++out.back().count;
    else
      out.push_back({1, p.set, p.st});
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
  // Red and blue players wait in set 9.
  EXPECT_EQ(runs(*stock), (std::vector<Span>{{46, 9, 'a'}, {17, 0, 'a'}}));
  auto s = empty_roster();
  s->use_set = 2, s->use_red = 1, s->use_others = 0, s->use_pak0 = 0;
  for (const char* row :
       {"9 A sarge blue k", "2 I sarge blue k", "2 u sarge blue k",
        "2 X sarge blue k", "3 i sarge blue k", "9 i sarge red k",
        "9 i sarge blue k", "2 a sarge Red k", "2 i sarge default pak0",
        "2 i sarge default pak0x"})
    add(*s, 1, row);
  gd_classify_players(*s);
  EXPECT_EQ(runs(*s), (std::vector<Span>{{1, 9, 'A'},
                                         {1, 2, 'I'},
                                         {1, 2, 'u'},
                                         {1, 2, 'X'},
                                         {1, 3, 'i'},
                                         {1, 2, 'a'},
                                         {3, 9, 'a'},
                                         {1, 2, 'a'}}));
}

TEST(Validate, UnknownModelsParkUnknownAifilesReset) {
  auto s = empty_roster();
  const struct {
    const char *row, *aifile;
    Span after;
    const char* aifile_after;
  } cases[] = {
      {"0 A nomodel green k", "keel", {1, 9, 'u'}, "keel"},
      {"0 a nomodel green k", "default", {1, 9, 'u'}, "default"},
      {"9 u sarge green k", "keel", {1, 9, 'u'}, "keel"},
      {"3 I sarge green k", "default", {1, 3, 'a'}, "default"},
      {"0 X sarge green k", "archai", {1, 0, 'a'}, "default"},
      {"0 i sarge green k", "Keel", {1, 0, 'a'}, "default"},
      {"5 I sarge green k", "keel", {1, 5, 'I'}, "keel"},
  };
  for (const auto& c : cases) add(*s, 1, c.row, c.aifile);
  gd_validate_players_and_aifiles(*s);
  for (int i = 0; i < s->roster_count; ++i) {
    const Player& p = *s->roster[i];
    EXPECT_EQ((Span{1, p.set, p.st}), cases[i].after) << cases[i].row;
    EXPECT_EQ(p.aifile.view(), cases[i].aifile_after) << cases[i].row;
  }
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
  const struct {
    Names names, want;  // want empty: only that they end unique
  } cases[] = {
      {Names(3, "SarDefaul"), {"SarDefau0", "SarDefau1", "SarDefaul"}},
      {{"SarDefau1", "SarDefau2"}, {"SarDefau1", "SarDefau2"}},
      {{"Player123", "Player123"}, {"Player124", "Player123"}},
      {{"Ab", "Ab1", "Ab", "Ab0"}, {"Ab2", "Ab1", "Ab", "Ab0"}},
      {Names(12, w48), twelve48},
      {Names(30, "SarDefaul"), thirty},
      {Names(kTableRows, "SarDefaul"), full},
      {Names(300, z48), {}},  // numbers of different widths overlap here
  };
  for (const auto& c : cases) {
    auto s = empty_roster();
    for (const std::string& name : c.names)
      test::add(*s, name + " f default 0 i sarge green k");
    gd_validate_players_and_aifiles(*s);
    Names got;
    for (int i = 0; i < s->roster_count; ++i)
      got.emplace_back(s->roster[i]->name.view());
    if (!c.want.empty()) {
      EXPECT_EQ(got, c.want) << c.names[0];
    }
    EXPECT_EQ(std::set<std::string>(got.begin(), got.end()).size(), got.size())
        << c.names[0];
  }
}

TEST(Clip, ActiveSetAndOtherSets) {
  struct Group {
    int count, set;
    char st;
    const char* skin;
  };
  const struct {
    int use_set;
    std::vector<Group> roster;
    std::vector<Span> after;
  } cases[] = {
      {0, {{100, 0, 'a', "green"}}, {{80, 0, 'a'}, {20, 9, 'a'}}},
      {0,
       {{1, 0, 'A', "green"},
        {81, 3, 'X', "green"},
        {1, 0, 'a', "green"},
        {1, 9, 'i', "default"}},
       {{1, 9, 'A'}, {80, 0, 'X'}, {1, 3, 'X'}, {1, 9, 'a'}, {1, 9, 'i'}}},
      {0,
       {{30, 0, 'a', "green"}, {70, 9, 'i', "green"}},
       {{80, 0, 'a'}, {20, 9, 'i'}}},
      // Room for three: the 'A', the default skin, then the first other.
      {0,
       {{77, 0, 'a', "green"},
        {1, 9, 'u', "default"},
        {1, 9, 'I', "green"},
        {1, 9, 'i', "green"},
        {1, 9, 'i', "default"},
        {1, 9, 'A', "green"},
        {1, 9, 'u', "green"}},
       {{77, 0, 'a'},
        {1, 9, 'u'},
        {1, 0, 'a'},
        {1, 9, 'i'},
        {1, 0, 'a'},
        {1, 0, 'A'},
        {1, 9, 'u'}}},
      // Only the active players of set 0 count; set 4 keeps 80.
      {0,
       {{85, 4, 'i', "green"}, {85, 0, 'i', "green"}},
       {{80, 4, 'i'}, {5, 9, 'i'}, {85, 0, 'i'}}},
      // The active set keeps 80 active; its set limit counts the 'I' too.
      {2,
       {{10, 2, 'I', "green"}, {80, 2, 'a', "green"}},
       {{10, 2, 'I'}, {70, 2, 'a'}, {10, 9, 'a'}}},
  };
  for (const auto& c : cases) {
    auto s = empty_roster();
    s->use_set = c.use_set;
    for (const Group& g : c.roster)
      add(*s, g.count,
          std::to_string(g.set) + " " + g.st + " sarge " + g.skin + " knight");
    gd_clip_active_set(*s);
    gd_clip_sets(*s);
    EXPECT_EQ(runs(*s), c.after) << "use_set " << c.use_set;
  }
}

// The game lists the bot files of kivo.pk3, of the archives and of the loose
// scripts folder into 1024 bytes: the names, each with ".bot" and one byte
// more, may take 1022. A player the output would write is taken only while
// its name fits; one that does not waits in set 9 with its status.
struct Named {
  int count, length;  // players with distinct names of `length` letters
  const char* row;    // "set st skin"
};

// A name of `length` letters, distinct for each `i`: "Aaaaaaaab" and so on.
std::string distinct_name(int i, int length) {
  std::string name(static_cast<std::size_t>(length), 'a');
  name[0] = 'A';
  for (int at = length - 1; i > 0 && at > 0; --at, i /= 26)
    name[static_cast<std::size_t>(at)] = static_cast<char>('a' + i % 26);
  return name;
}

// Clips a roster of `groups` in the current folder; returns what it printed.
std::string clip(State& s, const std::vector<Named>& groups) {
  int n = 0;
  for (const Named& g : groups) {
    std::string row = g.row;  // "set st skin" to "set st sarge skin knight"
    row.insert(row.rfind(' '), " sarge");
    for (int i = 0; i < g.count; ++i)
      test::add(s,
                distinct_name(n++, g.length) + " f default " + row + " knight");
  }
  return test::printed([&] {
    gd_clip_active_set(s);
    gd_clip_sets(s);
  });
}

std::string note(int players, int bytes) {
  return "note: the active set holds " + std::to_string(players) +
         " players: the game lists only 1024 bytes of bot file names, and "
         "the names it will find take " +
         std::to_string(bytes) + "\n";
}

TEST(Clip, TheGamesListOfBotFiles) {
  const struct {
    const char* about;
    std::vector<Named> roster;
    std::vector<Span> after;
    std::string printed;
  } cases[] = {
      {"73 names of 9 letters take 14 bytes each, 1022 in all",
       {{73, 9, "0 a green"}},
       {{73, 0, 'a'}},
       ""},
      {"a 74th does not fit",
       {{74, 9, "0 a green"}},
       {{73, 0, 'a'}, {1, 9, 'a'}},
       note(73, 1022)},
      {"one byte over: a name of 10 letters waits, a later one of 9 fits",
       {{72, 9, "0 a green"}, {1, 10, "0 a green"}, {1, 9, "0 a green"}},
       {{72, 0, 'a'}, {1, 9, 'a'}, {1, 0, 'a'}},
       note(73, 1022)},
      {"names of 48 letters take 53 bytes: 19 fit, in 1007",
       {{25, 48, "0 a green"}},
       {{19, 0, 'a'}, {6, 9, 'a'}},
       note(19, 1007)},
      {"'X' players are counted but their files are their archives'",
       {{7, 9, "3 X green"}, {74, 9, "0 a green"}},
       {{7, 0, 'X'}, {73, 0, 'a'}, {1, 9, 'a'}},
       ""},  // 80 players: the 80, not the list, is the limit
      {"'A' players first; a refused one keeps 'A' in set 9",
       {{73, 9, "0 a green"}, {1, 9, "0 A green"}, {1, 9, "9 A green"}},
       {{72, 0, 'a'}, {1, 9, 'a'}, {1, 0, 'A'}, {1, 9, 'A'}},
       note(73, 1022)},
      {"set 9 fills the set while names fit; 'I' and 'i' there keep theirs",
       {{70, 9, "0 a green"},
        {2, 48, "9 I green"},
        {1, 9, "9 i green"},
        {1, 48, "9 i default"},
        {5, 9, "9 i green"}},
       {{70, 0, 'a'},
        {2, 9, 'I'},
        {1, 0, 'a'},
        {1, 9, 'i'},
        {2, 0, 'a'},
        {3, 9, 'i'}},
       note(73, 1022)},
  };
  for (const auto& c : cases) {
    test::ScratchDir dir;
    auto s = empty_roster();
    EXPECT_EQ(clip(*s, c.roster), c.printed) << c.about;
    EXPECT_EQ(runs(*s), c.after) << c.about;
  }
}

TEST(Clip, BotFilesTheGameFindsElsewhere) {
  test::ScratchDir dir;
  // Archives: 11 and 65 bytes; the loose folder: 10 more (Kivo5.BOT); a
  // name of another ending, and one the archives have in other letters,
  // take none.
  test::write_file("scripts/Kivo5.BOT", "");
  test::write_file("scripts/notes.txt", "");
  test::write_file("scripts/ZEALOT.bot", "");
  auto s = empty_roster();
  s->pk3_bot_files[0].set("zealot.bot");
  s->pk3_bot_bytes[0] = 11;
  s->pk3_bot_files[1].set(std::string(48, 'l'));
  s->pk3_bot_bytes[1] = 65;
  s->pk3_bot_count = 2;
  // 1022 - 86 = 936 bytes: 66 names of 9 letters (924); a player named like
  // a bot file already listed costs nothing.
  test::add(*s, "Zealot f default 0 a sarge green knight");
  EXPECT_EQ(clip(*s, {{67, 9, "0 a green"}}), note(67, 1010));
  EXPECT_EQ(runs(*s), (std::vector<Span>{{67, 0, 'a'}, {1, 9, 'a'}}));
}

TEST(Clip, ALooseFolderThatCannotBeListedStopsTheRun) {
  test::ScratchDir dir;
  test::FaultHost host(test::Fault::kFail, 1);
  auto s = empty_roster();
  EXPECT_EQ(clip(*s, {{3, 9, "0 a green"}, {2, 9, "9 i green"}}),
            "error: cannot list the folder 'scripts' (" +
                std::string(std::strerror(EIO)) +
                "); 'kivo.pk3' and 'kivo.cfg' are left as they were\n");
  EXPECT_EQ(host.faulted, "list_folder scripts");
  EXPECT_EQ(stopping(), 1);
}

// The randomizer draws only from a range within 0 to 9, lowest first: the
// edges are taken, one past either end, or a range upside down, is refused
// with the error line and leaves every placeholder as it was.
TEST(Tiers, RangeEdges) {
  const struct {
    int lo, hi;
    bool drawn;
  } cases[] = {{0, 9, true},   {9, 9, true},    {0, 0, true},
               {1, 10, false}, {10, 10, false}, {5, 4, false}};
  for (const auto& c : cases) {
    auto s = empty_roster();
    test::add(*s, "x default default 0 a visor default k", 20);
    s->tier_lo = c.lo, s->tier_hi = c.hi;
    const std::string out =
        test::printed([&] { gd_supplimental_ai_mapping(*s); });
    int placeholders = 0;
    for (int i = 0; i < s->roster_count; ++i)
      placeholders += s->roster[i]->aifile == "default";
    const std::string range = std::to_string(c.lo) + "," + std::to_string(c.hi);
    if (c.drawn) {
      EXPECT_EQ(placeholders, 0) << range << "\n" << out;
      EXPECT_EQ(out.find("error: "), std::string::npos) << range;
    } else {
      EXPECT_EQ(placeholders, 20) << range;
      EXPECT_EQ(out, "error: invalid tier boundaries (" + range +
                         ")\n       must be ascending ints between 0 and 9\n");
    }
  }
}

}  // namespace
