// The content scan: every archive of the list is listed with unzip -l and
// each member path teaches a model, a player (one per skin file), an AI file
// or a bot file to read.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive.h"
#include "catalogue/catalogue.h"

namespace {

// The bot files of one archive, read once its listing is closed: reading one
// runs commands that may overwrite the list file.
struct PendingBotFiles {
  std::array<name_field, kTableRows> names{};
  int count = 0;
  bool roster_full = false;  // a skin found no room in the roster
};

// unzip's exit statuses that say something about the archive itself: its
// listing is read for what it holds, as that of any archive.
bool archive_problem(int code) {
  switch (code) {
    case 0:   // all well
    case 1:   // warnings
    case 2:   // a format error
    case 3:   // a severe format error
    case 9:   // not found or not a zip archive
    case 11:  // no such member
    case 51:  // cut short
    case 81:  // an unsupported compression method
    case 82:  // a bad password
      return true;
    default:
      return false;
  }
}

// Ends in `tail`, each letter matched in upper or lower case.
bool ends_with_any_case(std::string_view text, std::string_view tail) {
  if (text.size() < tail.size()) return false;
  text = text.substr(text.size() - tail.size());
  for (std::size_t i = 0; i < tail.size(); ++i)
    if (to_lower(text[i]) != tail[i]) return false;
  return true;
}

void learn_model(State& s, const name_field& model) {
  trace("    found model %s\n", model.c_str());
  for (int i = 0; i < s.model_count; ++i)
    if (s.model_names[i] == model) return;
  if (s.model_count >= kTableRows) return;
  trace("    found model '%s'\n", model.c_str());
  append_name(s.model_names, s.model_count, model.view());
}

void learn_player(State& s, const name_field& model, const name_field& skin,
                  std::string_view archive, bool& roster_full) {
  trace("    found player %s/%s\n", model.c_str(), skin.c_str());
  Player* p = add_roster_player(s);
  if (p == nullptr) {
    roster_full = true;
    return;
  }
  trace("    found player: %s/%s'\n", model.c_str(), skin.c_str());
  gd_name_player(*p, model.view(), skin.view(), kArchiveColours);
  p->pk3file.set(archive.substr(0, archive.find('.')));
}

// botfiles/bots/<rest>: <name>_c.c makes <name> an AI file of tier 9.
// Archives often carry AI files under the names of the game's own (a bot
// pack's sarge_c.c): such a name is learned once, so it keeps one row, one
// tier and the player's tier edits. "default" is the word kivo.cfg uses for
// "no AI file chosen yet", so a file of that name never becomes a choice.
void learn_aifile(State& s, std::string_view rest) {
  std::string_view base = next_piece(rest, ".");
  std::string_view extension = next_piece(rest, ".");
  if (base.empty() || extension.empty() || extension[0] != 'c') return;
  if (!base.ends_with("_c")) return;
  name_field name;
  name.set(base.substr(0, base.size() - 2));
  name.lower();
  trace("    found aifile: '%s_c.c'\n", name.c_str());
  if (name == "default") return;
  for (int i = 0; i < s.aifile_count; ++i)
    if (s.aifile_names[i] == name) return;
  if (s.aifile_count < 0 || s.aifile_count >= kTableRows) return;
  s.aifile_tiers[s.aifile_count] = kUnranked;
  append_name(s.aifile_names, s.aifile_count, name.view());
}

// The game searches the archives of its folder by name, the last first, in
// the order of their names with letters as capitals and '\\' and ':' as
// '/'. 1 when it searches `archive` before kivo.pk3.
bool searched_before_output(std::string_view archive) {
  constexpr std::string_view kOutput = kArchiveFile;
  auto at = [](std::string_view name, std::size_t i) -> int {
    if (i >= name.size()) return 0;
    const char c = to_upper(name[i]);
    return c == '\\' || c == ':' ? '/' : static_cast<signed char>(c);
  };
  for (std::size_t i = 0;; ++i) {
    if (at(archive, i) != at(kOutput, i))
      return at(archive, i) > at(kOutput, i);
    if (at(archive, i) == 0) return false;
  }
}

// Records the member of a listing line as the game lists bot files: a path
// that begins with "scripts" and ends in ".bot" (any case), at most two
// folders deep, with a folder ending at its 8th character or later, named
// by the path without its first 8 characters; each name once, letter case
// aside. A note when the name would stop the game.
Status record_game_bot_file(State& s, std::string_view member,
                            std::string_view archive) {
  Status st;
  const std::size_t last = member.find_last_of("/\\");
  const auto folders = std::count_if(member.begin(), member.end(), [](char c) {
    return c == '/' || c == '\\';
  });
  if (!same_but_case(member.substr(0, 7), kScripts) ||
      !ends_with_any_case(member, ".bot") || last == std::string_view::npos ||
      last < 7 || folders > 2)
    return st;
  const std::string_view name = member.substr(8);
  if (name.size() >= kGameBotNameLimit)
    st.note(
        "warn: archive '%.*s' holds the bot file '%.*s', whose name of %d "
        "characters stops the game when it loads its bots\n",
        static_cast<int>(archive.size()), archive.data(),
        static_cast<int>(member.size()), member.data(),
        static_cast<int>(name.size()));
  const bool before = searched_before_output(archive);
  for (GameBotFile& f : s.game_bot_files)
    if (same_but_case(f.name, name)) {
      f.before_output = f.before_output || before;
      return st;
    }
  if (s.game_bot_files.size() < kTableRows)
    s.game_bot_files.push_back({std::string(name), before});
  return st;
}

// The member path of a whole listing line: from the fourth word of a line
// whose first word begins with a digit (size, date, clock, path) to the
// line's end; empty for other lines.
std::string_view member_of(std::string_view line) {
  constexpr std::string_view kBlanks = " \t\n";
  std::string_view rest = line;
  std::string_view size = next_piece(rest, kBlanks);
  if (size.empty() || !is_digit(size[0])) return {};
  next_piece(rest, kBlanks);
  next_piece(rest, kBlanks);
  std::string_view path = next_piece(rest, kBlanks);
  if (path.empty()) return {};
  return line.substr(path.data() - line.data());
}

// Reads the listing in kivo.tmp line by line: each whole line goes to
// `whole`, and then, as the line reader of a 255-byte buffer gives it, in
// pieces of at most 254 characters, each without its last one, to `piece`.
template <typename Whole, typename Piece>
void read_listing(std::FILE* f, Whole whole, Piece piece) {
  std::string line;
  for (int c = std::fgetc(f); c != EOF;) {
    line.clear();
    for (; c != EOF; c = std::fgetc(f)) {
      line += static_cast<char>(c);
      if (c == '\n') break;
    }
    if (c != EOF) c = std::fgetc(f);
    whole(std::string_view(line).substr(
        0, line.back() == '\n' ? line.size() - 1 : line.size()));
    for (std::size_t at = 0; at < line.size(); at += kLineBytes - 1) {
      char buf[kLineBytes];
      buf[line.copy(buf, kLineBytes - 1, at)] = '\0';
      if (const std::size_t n = std::strlen(buf); n > 0) buf[n - 1] = '\0';
      piece(buf);
    }
  }
}

// Learns what one line of an archive listing names.
void parse_listing_line(State& s, std::string_view line,
                        std::string_view archive, PendingBotFiles& bots) {
  trace("  zpl: '%.*s'\n", static_cast<int>(line.size()), line.data());
  constexpr std::string_view kBlanks = " \t\n";
  std::string_view path = next_piece(line, kBlanks);
  if (path.empty()) return;
  // A member line starts with the size column: size, date, clock, path.
  if (is_digit(path[0])) {
    next_piece(line, kBlanks);
    next_piece(line, kBlanks);
    path = next_piece(line, kBlanks);
    if (path.empty()) return;
  }
  // unzip shows unprintable characters as "^X": the path ends before them.
  std::string_view cut = next_piece(path, "^");
  if (cut.empty()) return;

  std::string_view top = next_piece(cut, "/");
  if (top == "models") {
    if (next_piece(cut, "/") != "players") return;
    std::string_view model_part = next_piece(cut, "/");
    if (model_part.empty()) return;
    name_field model;
    model.set(model_part);
    model.lower();
    std::string_view file_part = next_piece(cut, "/");
    if (file_part.empty()) return;
    // parse_player_name takes a C string: the component alone.
    char file[kLineBytes];
    std::size_t n = file_part.copy(file, sizeof file - 1);
    file[n] = '\0';
    name_field skin;
    char kind = parse_player_name(file, skin);
    if (kind == 'm') learn_model(s, model);
    if (kind == 's') learn_player(s, model, skin, archive, bots.roster_full);
  } else if (top == "botfiles") {
    if (next_piece(cut, "/") != "bots") return;
    learn_aifile(s, cut);
  } else if (top == kScripts) {
    std::string_view file_part = next_piece(cut, "/");
    if (file_part.empty()) return;
    name_field file;
    file.set(file_part);
    std::string_view pieces = file.view();
    next_piece(pieces, ".");
    if (next_piece(pieces, ".") != "bot") return;
    if (bots.count < kTableRows) bots.names[bots.count++] = file;
  }
}

// Has unzip list `archive`, named to it as `argument`, into kivo.tmp and
// opens that into `f`. Null when it did not: with `unsafe` set when the
// name cannot be passed to the shell, else the run stops.
Status open_listing(RunContext& run, std::string_view archive,
                    std::string_view argument, bool& unsafe, std::FILE*& f) {
  f = nullptr;
  Status st;
  CommandStatus status = sy_cmd_list_archive(run, argument, &st);
  unsafe = status.code == kCommandNotRun && !stopping(run, st);
  if (unsafe || stopping(run, st)) return st;
  const int n = static_cast<int>(archive.size());
  if (!archive_problem(status.code)) {
    if (sy_tool_missing(status))
      st.fatal(ENOENT,
               "error: cannot list archive '%.*s': the 'unzip' program was not "
               "found (status %d); 'kivo.pk3' and 'kivo.cfg' are left as they "
               "were\n",
               n, archive.data(), status.code);
    else
      st.fatal(
          EIO,
          "error: cannot list archive '%.*s': 'unzip' ended with status %d%s; "
          "'kivo.pk3' and 'kivo.cfg' are left as they were\n",
          n, archive.data(), status.code,
          status.code == 50 ? " (the disk is full)" : "");
    return st;
  }
  if (int error = run.host.open_read(kListFile, false, f); error != 0)
    st.fatal(error,
             "  error: cannot open 'kivo.tmp' for read (%s); 'kivo.pk3' and "
             "'kivo.cfg' are left as they were\n",
             std::strerror(error));
  return st;
}

// The game loads every archive of its folder, letter case of ".pk3" aside,
// that is no folder: those the scan did not read (the game's own, names
// the archive list skips) are listed too, each for its bot files only, so
// that the game's list of them is known whole. A failure when the run stops.
Status list_unread_archives(State& s, const std::vector<std::string>& listed) {
  RunContext& run = *s.run;
  Status st;
  std::vector<std::string> names;
  if (int error = run.host.list_folder(".", names); error != 0) {
    st.fatal(
        error,
        "error: cannot list this folder (%s); 'kivo.pk3' and 'kivo.cfg' are "
        "left as they were\n",
        std::strerror(error));
    return st;
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    if (stopping(run, st)) {
      st.fail(EINTR);
      return st;
    }
    // kivo.pk3 is this run's to replace.
    if (!ends_with_any_case(name, ".pk3") ||
        (kDosCommands ? same_but_case(name, kArchiveFile)
                      : name == kArchiveFile) ||
        std::find(listed.begin(), listed.end(), name) != listed.end())
      continue;
    Identity id;
    const int error = run.host.identify(name.c_str(), true, id);
    if (error == ENOENT || error == ELOOP ||
        (error == 0 && id.type == Entry::kFolder))
      continue;
    // Within brackets unzip takes "*", "?" and "[" for themselves.
    std::string argument;
    for (char c : name)
      argument += c == '*' || c == '?' || c == '[' ? std::string{'[', c, ']'}
                                                   : std::string(1, c);
    bool unsafe = false;
    std::FILE* f = nullptr;
    st.add(open_listing(run, name, argument, unsafe, f));
    if (unsafe) {
      bool warned = false;  // the scan did, for an archive of the list
      for (int i = 0; i < kPk3Slots && !s.pk3_list[i].empty(); ++i)
        warned = warned || s.pk3_list[i] == name;
      if (!warned) st.add(warn_unsafe_name("archive", name));
      continue;
    }
    if (f == nullptr) {
      st.fail(EINTR);
      return st;
    }
    read_listing(
        f,
        [&](std::string_view line) {
          st.add(record_game_bot_file(s, member_of(line), name));
        },
        [](const char*) {});
    std::fclose(f);
  }
  return st;
}

}  // namespace

int gd_get_models_players_aifiles(State& s) {
  RunContext& run = *s.run;
  PendingBotFiles bots;
  bool full_reported = false;
  std::vector<std::string> listed;
  for (int i = 0; i < kPk3Slots && !s.pk3_list[i].empty(); ++i) {
    if (stopping(run)) return 0;
    std::string_view archive = s.pk3_list[i].view();
    std::printf("  reading pk3 file '%s'\n", s.pk3_list[i].c_str());
    // unzip reads "*", "?" and "[" in an archive name as a pattern, which
    // would list other archives than this one.
    if (archive.find_first_of("*?[") != std::string_view::npos) {
      say_status(run, warn_unsafe_name("archive", archive));
      continue;
    }
    bool unsafe = false;
    std::FILE* f = nullptr;
    say_status(run, open_listing(run, archive, archive, unsafe, f));
    if (unsafe) {
      say_status(run, warn_unsafe_name("archive", archive));
      continue;
    }
    if (f == nullptr) return 0;
    listed.emplace_back(archive);
    bots.count = 0;
    bots.roster_full = false;
    int sized = 0;  // lines that start with a number: members and totals
    read_listing(
        f,
        [&](std::string_view line) {
          say_status(run, record_game_bot_file(s, member_of(line), archive));
        },
        [&](const char* line) {
          std::string_view rest(line);
          std::string_view first = next_piece(rest, " \t\n");
          if (!first.empty() && is_digit(first[0])) ++sized;
          parse_listing_line(s, line, archive, bots);
        });
    std::fclose(f);
    // A listing without a single member line is no reading at all; say so
    // rather than let the archive pass for one without models.
    if (sized == 0)
      std::printf(
          "warn: archive '%s' lists no members: it is empty or not a zip "
          "archive\n",
          s.pk3_list[i].c_str());
    if (bots.roster_full && !full_reported) {
      std::printf(
          "warn: the roster is full (%d players); the skins of '%s' and of "
          "later archives are not taken\n",
          kTableRows, s.pk3_list[i].c_str());
      full_reported = true;
    }
    for (int b = 0; b < bots.count && !stopping(run); ++b)
      gd_parse_aifile(s, archive, bots.names[b].view());
  }
  if (stopping(run)) return 0;
  return say_status(run, list_unread_archives(s, listed));
}

char parse_player_name(const char* file, name_field& skin) {
  if (file == nullptr) return 'u';
  std::string_view n(file);
  if (!n.starts_with("head") && !n.starts_with("HEAD")) return 'u';
  if (ends_with_any_case(n, "md3")) {
    trace("    found a model, in parse_player_name()\n");
    return 'm';
  }
  if (!ends_with_any_case(n, "skin")) return 'u';
  std::string_view name = n.size() > 10 ? n.substr(5, n.size() - 10) : "";
  skin.set(name);
  skin.lower();
  trace("    found player '%s', in parse_player_name()\n", skin.c_str());
  return 's';
}
