// archive_helpers.h: the tables the archive phases fill, as strings that
// tests compare whole, and a snapshot of a folder tree.
#ifndef KIVO_TESTS_ARCHIVE_ARCHIVE_HELPERS_H
#define KIVO_TESTS_ARCHIVE_ARCHIVE_HELPERS_H

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "catalogue/catalogue.h"
#include "support/support.h"

namespace test {

// Rows from..count of a name table, or up to its first empty row.
template <std::size_t N>
std::vector<std::string> rows(const std::array<name_field, N>& t, int from,
                              int count = static_cast<int>(N)) {
  std::vector<std::string> out;
  for (int i = from; i < count && !t[i].empty(); ++i)
    out.emplace_back(t[i].view());
  return out;
}

// Players the scan added, "name funname model skin pk3file".
inline std::vector<std::string> added_players(const State& s) {
  std::vector<std::string> out;
  for (int i = kStockPlayers; i < s.roster_count; ++i) {
    const Player& p = *s.roster[i];
    out.push_back(std::string(p.name.view()) + " " + p.funname.c_str() + " " +
                  p.model.c_str() + " " + p.player.c_str() + " " +
                  p.pk3file.c_str());
  }
  return out;
}

// Bot definition rows, "name|funname|aifile|model|skin".
inline std::vector<std::string> xai_rows(const State& s) {
  std::vector<std::string> out;
  for (int i = 0; i < s.xai_count; ++i)
    out.push_back(std::string(s.xai_name[i].view()) + "|" +
                  s.xai_funname[i].c_str() + "|" + s.xai_aifile[i].c_str() +
                  "|" + s.xai_model[i].c_str() + "|" + s.xai_player[i].c_str());
  return out;
}

// The current folder but kivo.tmp: relative path -> content ("/" folders).
inline std::map<std::string, std::string> folder() {
  std::map<std::string, std::string> tree;
  for (const auto& e : std::filesystem::recursive_directory_iterator("."))
    tree[e.path().string()] = e.is_directory() ? "/" : read_file(e.path());
  tree.erase("./kivo.tmp");
  return tree;
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
