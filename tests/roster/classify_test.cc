#include <gtest/gtest.h>

#include "roster/roster_rows.h"
#include "support/support.h"

namespace {

TEST(Classify, StartFlagsParkRedAndBlueStockPlayers) {
  auto s = test::fresh_state();
  gd_classify_players(*s);
  for (int i = 0; i < s->roster_count; ++i) {
    const Player& p = *s->roster[i];
    const bool team = p.player == "red" || p.player == "blue";
    EXPECT_EQ(p.set, team ? 9 : 0) << p.name.c_str();
    EXPECT_EQ(p.st, 'a') << p.name.c_str();
  }
}

TEST(Classify, StatusesSetsAndGroups) {
  struct Case {
    test::Row in;
    int set;
    char st;
  };
  const Case cases[] = {
      {{.skin = "blue", .set = 9, .st = 'A'}, 9, 'A'},
      {{.skin = "blue", .set = 2, .st = 'I'}, 2, 'I'},
      {{.skin = "blue", .set = 2, .st = 'u'}, 2, 'u'},
      {{.skin = "blue", .set = 2, .st = 'X'}, 2, 'X'},
      {{.skin = "blue", .set = 3}, 3, 'i'},
      {{.skin = "red", .set = 9}, 2, 'a'},
      {{.skin = "blue", .set = 9}, 9, 'a'},
      {{.skin = "Red", .set = 2, .st = 'a'}, 9, 'a'},  // others, not red
      {{.skin = "default", .set = 2, .pk3 = "pak0"}, 9, 'a'},
      {{.skin = "default", .set = 2, .pk3 = "pak0x"}, 2, 'a'},
  };
  auto s = test::empty_roster();
  s->use_set = 2;
  s->use_red = 1;
  s->use_others = 0;
  s->use_pak0 = 0;
  for (const Case& c : cases) test::add_rows(*s, c.in);
  gd_classify_players(*s);
  for (int i = 0; i < s->roster_count; ++i) {
    EXPECT_EQ(s->roster[i]->set, cases[i].set) << "row " << i;
    EXPECT_EQ(s->roster[i]->st, cases[i].st) << "row " << i;
  }
}

TEST(ApplyXai, MatchesModelAndSkinLaterRowWins) {
  for (int override : {0, 1}) {
    auto s = test::empty_roster();
    s->use_set = 4;
    s->ai_override = override;
    test::add_rows(*s, {.model = "knight", .skin = "red", .aifile = "keel"});
    test::add_rows(*s, {.model = "knight", .skin = "blue"});
    test::add_rows(*s, {.model = "Knight", .skin = "red", .set = 3});
    test::add_rows(*s, {.model = "red", .skin = "knight", .set = 3});
    const char* defs[][5] = {{"Sir", "^2Sir", "sirai", "knight", "red"},
                             {"Blu", "", "bluai", "knight", "blue"},
                             {"Sir2", "^3Sir2", "sir2ai", "knight", "red"}};
    for (const auto& d : defs) {
      const int n = s->xai_count++;
      s->xai_name[n].set(d[0]);
      s->xai_funname[n].set(d[1]);
      s->xai_aifile[n].set(d[2]);
      s->xai_model[n].set(d[3]);
      s->xai_player[n].set(d[4]);
    }
    gd_apply_xai(*s);
    const Player& red = *s->roster[0];
    const Player& blue = *s->roster[1];
    EXPECT_TRUE(red.st == 'X' && red.set == 4 && red.name == "Sir2" &&
                red.funname == "^3Sir2");
    EXPECT_TRUE(blue.st == 'X' && blue.name == "Blu" &&
                blue.funname == "default");
    EXPECT_EQ(red.aifile, override ? "keel" : "sir2ai");
    EXPECT_EQ(blue.aifile, override ? "default" : "bluai");
    for (int i : {2, 3}) {
      EXPECT_TRUE(s->roster[i]->st == 'i' && s->roster[i]->set == 3 &&
                  s->roster[i]->name == "KniRed");
    }
  }
}

}  // namespace
