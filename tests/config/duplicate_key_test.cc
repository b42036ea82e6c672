#include <gtest/gtest.h>

#include <string>

#include "config/config.h"
#include "support/support.h"

namespace {

void add_player(State& s, const char* name, const char* pk3file) {
  Player* p = add_roster_player(s);
  p->name.set(name);
  p->model.set("knight");
  p->player.set("red");
  p->pk3file.set(pk3file);
}

void add_row(State& s, const char* text) {
  auto row = std::make_unique<Player>();
  gd_parse_player_row(*row, text);
  s.cfg_players[s.cfg_player_count++] = std::move(row);
}

// Two archives carrying the same model and skin: each player keeps the row
// written for its own archive, so names do not drift from run to run.
TEST(ConfigApply, SameModelAndSkinInTwoArchives) {
  auto s = std::make_unique<State>();
  add_player(*s, "KniRed", "a");
  add_player(*s, "KniRed", "b");
  add_row(*s, "KniRed0 F0 crash 0 a knight red a");
  add_row(*s, "KniRed F1 doom 0 a knight red b");
  gd_apply_config(*s);
  EXPECT_EQ(s->roster[0]->name.view(), "KniRed0");
  EXPECT_EQ(s->roster[0]->aifile.view(), "crash");
  EXPECT_EQ(s->roster[1]->name.view(), "KniRed");
  EXPECT_EQ(s->roster[1]->aifile.view(), "doom");

  // Rows of another archive still apply when none names the player's own.
  add_player(*s, "KniRed", "c");
  gd_apply_config(*s);
  EXPECT_EQ(s->roster[2]->name.view(), "KniRed");
  EXPECT_EQ(s->roster[2]->aifile.view(), "doom");
}

}  // namespace
