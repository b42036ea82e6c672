// helpers.h: small builders the kivo.cfg tests share.
#ifndef KIVO_TESTS_CONFIG_HELPERS_H
#define KIVO_TESTS_CONFIG_HELPERS_H

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "config/config.h"
#include "support/support.h"

namespace cfgtest {

// What `body` prints on standard output.
template <class Body>
std::string printed(Body body) {
  testing::internal::CaptureStdout();
  body();
  return testing::internal::GetCapturedStdout();
}

// The writer's whole text for `s`.
inline std::string written(State& s) {
  std::FILE* f = std::tmpfile();
  gd_write_config(s, f);
  std::string text(static_cast<std::size_t>(std::ftell(f)), '\0');
  std::rewind(f);
  text.resize(std::fread(text.data(), 1, text.size(), f));
  std::fclose(f);
  return text;
}

// The eight values of a player, "|"-separated, to compare in one go.
inline std::string fields(const Player& p) {
  return std::string(p.name.view()) + "|" + std::string(p.funname.view()) +
         "|" + std::string(p.aifile.view()) + "|" + std::to_string(p.set) +
         "|" + p.st + "|" + std::string(p.model.view()) + "|" +
         std::string(p.player.view()) + "|" + std::string(p.pk3file.view());
}

// Appends a roster player from a players-block row.
inline Player& add(State& s, const char* row) {
  Player* p = add_roster_player(s);
  gd_parse_player_row(*p, row);
  return *p;
}

// Reads `text` as kivo.cfg in the current folder into `s`; returns what the
// reader printed.
inline std::string read_text(State& s, const std::string& text) {
  test::write_file(kConfigFile, text);
  return printed([&] { gd_read_config(s); });
}

// A players block with the header line and the given row lines.
inline std::string players_block(const std::string& rows) {
  return "@ ai_players\ntotal_players\n\nname funname\n" + rows + "@ end\n";
}

}  // namespace cfgtest

#endif  // KIVO_TESTS_CONFIG_HELPERS_H
