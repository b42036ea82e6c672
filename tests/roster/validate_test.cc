#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "roster/roster_rows.h"

namespace {

using Names = std::vector<std::string>;

TEST(Validate, ModelThenAifile) {
  struct Case {
    test::Row in;
    int set;
    char st;
    const char* aifile;
  };
  const Case cases[] = {
      {{.model = "nomodel", .st = 'A', .aifile = "keel"}, 9, 'u', "keel"},
      {{.model = "nomodel", .st = 'a'}, 9, 'u', "default"},
      {{.set = 9, .st = 'u', .aifile = "keel"}, 9, 'u', "keel"},
      {{.set = 3, .st = 'I'}, 3, 'a', "default"},
      {{.st = 'X', .aifile = "archai"}, 0, 'a', "default"},
      {{.aifile = "Keel"}, 0, 'a', "default"},
      {{.set = 5, .st = 'I', .aifile = "keel"}, 5, 'I', "keel"},
  };
  auto s = test::empty_roster();
  for (const Case& c : cases) test::add_rows(*s, c.in);
  gd_validate_players_and_aifiles(*s);
  for (int i = 0; i < s->roster_count; ++i) {
    EXPECT_EQ(s->roster[i]->set, cases[i].set) << "row " << i;
    EXPECT_EQ(s->roster[i]->st, cases[i].st) << "row " << i;
    EXPECT_EQ(s->roster[i]->aifile, cases[i].aifile) << "row " << i;
  }
}

Names validated(const Names& in) {
  auto s = test::empty_roster();
  for (const std::string& n : in) test::add_rows(*s, {.name = n});
  gd_validate_players_and_aifiles(*s);
  Names out;
  for (int i = 0; i < s->roster_count; ++i)
    out.emplace_back(s->roster[i]->name.view());
  return out;
}

TEST(Validate, DuplicateNames) {
  const std::string w48(48, 'w');
  Names twelve48, thirty;
  for (char d = '0'; d <= '9'; ++d) {
    twelve48.push_back(w48.substr(0, 8) + d + w48.substr(9));
    thirty.push_back(std::string("SarDefau") + d);
  }
  twelve48.insert(twelve48.end(), {w48.substr(0, 47) + "0", w48});
  for (int n = 0; n <= 18; ++n)
    thirty.push_back("SarDefaul" + std::to_string(n));
  thirty.push_back("SarDefaul");
  const Names kni12 = {"Kni0", "Kni1", "Kni2", "Kni3", "Kni4",  "Kni5",
                       "Kni6", "Kni7", "Kni8", "Kni9", "Kni10", "Kni"};
  const std::pair<Names, Names> cases[] = {
      {{"SarDefaul", "SarDefaul"}, {"SarDefau0", "SarDefaul"}},
      {Names(3, "SarDefaul"), {"SarDefau0", "SarDefau1", "SarDefaul"}},
      {{"SarDefau1", "SarDefau2"}, {"SarDefau1", "SarDefau2"}},
      {{"Player123", "Player123"}, {"Player124", "Player123"}},
      {{"SarDefau", "SarDefau"}, {"SarDefau0", "SarDefau"}},
      {{"Ab", "Ab1", "Ab", "Ab0"}, {"Ab2", "Ab1", "Ab", "Ab0"}},
      {{"", ""}, {"0", ""}},
      {Names(12, "Kni"), kni12},
      {Names(12, w48), twelve48},
      {Names(30, "SarDefaul"), thirty},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(validated(in), out) << in[0];
}

TEST(Validate, ManyEqualLongNamesEndUniqueAndFit) {
  // The appended numbers of different widths overlap for this name.
  const std::string name = std::string(46, 'z') + "11";
  Names in(300, name);
  in.push_back(name.substr(0, 47) + "0");
  const Names out = validated(in);
  EXPECT_EQ(std::set<std::string>(out.begin(), out.end()).size(), out.size());
  for (const std::string& n : out) EXPECT_LE(n.size(), 48u) << n;
}

}  // namespace
