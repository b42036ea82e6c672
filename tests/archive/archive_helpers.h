// archive_helpers.h: what the archive phases added to State, as one text to
// compare whole, and listings played back into kivo.tmp.
#ifndef KIVO_TESTS_ARCHIVE_ARCHIVE_HELPERS_H
#define KIVO_TESTS_ARCHIVE_ARCHIVE_HELPERS_H

#include "catalogue/catalogue.h"
#include "support/support.h"

namespace test {

// Added models, players ("name funname model skin pk3file"), AI files with
// their tier, and bot definitions ("name|funname|aifile|model|skin"), each
// ended by "; ".
inline std::string added(const State& s) {
  std::string out;
  for (int i = kBuiltinModels; i < s.model_count; ++i)
    out += "model " + std::string(s.model_names[i].view()) + "; ";
  for (int i = kStockPlayers; i < s.roster_count; ++i) {
    const Player& p = *s.roster[i];
    out += std::string(p.name.view()) + " " + p.funname.c_str() + " " +
           p.model.c_str() + " " + p.player.c_str() + " " + p.pk3file.c_str() +
           "; ";
  }
  for (int i = kBuiltinAifiles; i < s.aifile_count; ++i)
    out += "ai " + std::string(s.aifile_names[i].view()) + " " +
           std::to_string(s.aifile_tiers[i]) + "; ";
  for (int i = 0; i < s.xai_count; ++i)
    out += "bot " + std::string(s.xai_name[i].view()) + "|" +
           s.xai_funname[i].c_str() + "|" + s.xai_aifile[i].c_str() + "|" +
           s.xai_model[i].c_str() + "|" + s.xai_player[i].c_str() + "; ";
  return out;
}

// Puts `archives` into the archive list and runs the content scan.
inline int scan(State& s, const std::vector<std::string>& archives) {
  std::size_t i = 0;
  for (; i < archives.size(); ++i) s.pk3_list[i].set(archives[i]);
  s.pk3_list[i].clear();
  return gd_get_models_players_aifiles(s);
}

// Plays back `listing` into kivo.tmp for every command starting `command`.
struct Playback {
  std::string command;
  std::string listing;
  CommandRecorder recorder{[this](const std::string& line) {
    if (line.starts_with(command)) write_file(kListFile, listing);
  }};
};

}  // namespace test

#endif  // KIVO_TESTS_ARCHIVE_ARCHIVE_HELPERS_H
