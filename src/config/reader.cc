// Reads kivo.cfg back at the start of a run: the flags go straight into
// State, the player and tier rows are kept for the apply phases. The file is
// hand-edited, so the reader looks for each block from the top, passes over
// comments and blank lines, and skips rows it cannot use rather than guess.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "config/config.h"
#include "guard/guard.h"

namespace {

// Words of block markers, flag rows and tier rows end at these; a carriage
// return counts too, so a file saved with CR LF line ends reads the same.
constexpr std::string_view kWordSeparators = " \t\n\r";
// Player rows are split at spaces only: a tab stays inside its field.
constexpr std::string_view kFieldSeparators = " ";

// A decimal integer from the word's start: an optional sign, then digits;
// 0 when no digit follows.
int leading_integer(std::string_view word) {
  bool negative = false;
  if (!word.empty() && (word[0] == '+' || word[0] == '-')) {
    negative = word[0] == '-';
    word.remove_prefix(1);
  }
  int value = leading_digits(word);
  return negative ? -value : value;
}

// Reads the next line, or the next 254 characters of a longer one.
bool read_line(std::FILE* f, char (&buf)[kLineBytes]) {
  return std::fgets(buf, kLineBytes, f) != nullptr;
}

// 1 when a line of the file is longer than the reader's buffer: its pieces
// are read as lines of their own, which is seldom what the player meant.
// Leaves the file at its start.
int has_long_lines(std::FILE* f) {
  char buf[kLineBytes];
  int found = 0;
  while (found == 0 && read_line(f, buf)) {
    std::size_t n = std::strlen(buf);
    found = n == kLineBytes - 1 && buf[n - 1] != '\n';
  }
  std::rewind(f);
  return found;
}

// The first two words of a line split at blanks; strlen keeps a NUL byte
// in the file from letting anything look past it.
int line_words(const char* line, std::string_view (&words)[2]) {
  std::string_view rest(line, std::strlen(line));
  int n = 0;
  while (n < 2 && !(words[n] = next_piece(rest, kWordSeparators)).empty()) ++n;
  return n;
}

enum class Block { kMissing, kNoRows, kRows };

// Reads on to the opening line of a block: first word beginning with
// `marker`, second word equal to `word` (`exact`) or beginning with it.
// With a `header`, reads on to the line whose first word begins with it;
// the rows follow that line. A block without its header line has no rows:
// the search for the header does not go past the block's closing '@' line.
Block find_block(std::FILE* f, char marker, std::string_view word, bool exact,
                 std::string_view header) {
  char buf[kLineBytes];
  std::string_view w[2];
  bool opened = false;
  while (!opened && read_line(f, buf)) {
    if (line_words(buf, w) < 2 || w[0][0] != marker) continue;
    opened = exact ? w[1] == word : w[1].starts_with(word);
  }
  if (!opened) return Block::kMissing;
  if (header.empty()) return Block::kRows;
  while (read_line(f, buf)) {
    if (line_words(buf, w) < 1) continue;
    if (w[0].starts_with(header)) return Block::kRows;
    if (w[0][0] == '@') break;
  }
  return Block::kNoRows;
}

// What a line inside the players or tiers block is.
enum class RowLine { kSkip, kEnd, kRow };

RowLine classify_row(const char* line) {
  std::string_view w[2];
  if (line_words(line, w) < 1 || w[0].starts_with("//")) return RowLine::kSkip;
  if (w[0][0] == '@') return RowLine::kEnd;
  return RowLine::kRow;
}

Status read_player_rows(State& s, std::FILE* f) {
  char buf[kLineBytes];
  int short_rows = 0;
  int over_capacity = 0;
  while (read_line(f, buf)) {
    RowLine kind = classify_row(buf);
    if (kind == RowLine::kEnd) break;
    if (kind == RowLine::kSkip) continue;
    Player row;
    if (gd_parse_player_row(row, buf) < 8) {
      ++short_rows;
      continue;
    }
    if (s.cfg_player_count >= kTableRows) {
      ++over_capacity;
      continue;
    }
    s.cfg_players[s.cfg_player_count] = std::make_unique<Player>(row);
    ++s.cfg_player_count;
  }
  s.cfg_unread += short_rows + over_capacity;
  Status st;
  if (short_rows > 0)
    st.note(
        "  warn: %d player rows in 'kivo.cfg' skipped: fewer than 8 "
        "fields\n",
        short_rows);
  if (over_capacity > 0)
    st.note(
        "  warn: %d player rows in 'kivo.cfg' skipped: more than %d "
        "rows\n",
        over_capacity, kTableRows);
  return st;
}

Status read_tier_rows(State& s, std::FILE* f) {
  char buf[kLineBytes];
  int short_rows = 0;
  int over_capacity = 0;
  while (read_line(f, buf)) {
    RowLine kind = classify_row(buf);
    if (kind == RowLine::kEnd) break;
    if (kind == RowLine::kSkip) continue;
    std::string_view w[2];
    if (line_words(buf, w) < 2) {
      ++short_rows;
      continue;
    }
    if (s.cfg_tier_count >= kTableRows) {
      ++over_capacity;
      continue;
    }
    s.cfg_tier_names[s.cfg_tier_count].set(w[0]);
    s.cfg_tier_values[s.cfg_tier_count] = leading_integer(w[1]);
    ++s.cfg_tier_count;
  }
  s.cfg_unread += short_rows + over_capacity;
  Status st;
  if (short_rows > 0)
    st.note("  warn: %d tier rows in 'kivo.cfg' skipped: no tier given\n",
            short_rows);
  if (over_capacity > 0)
    st.note(
        "  warn: %d tier rows in 'kivo.cfg' skipped: more than %d "
        "rows\n",
        over_capacity, kTableRows);
  return st;
}

// Finds a rows block from the start of the file (second word beginning
// with `word`, rows after the `header` line) and reads its rows, with what
// the rows' reader says. ENOENT when the block is not in the file, which a
// note says; a block without its header line has no rows. Both count as
// parts of the file left unread.
Status read_rows_block(State& s, std::FILE* f, const char* word,
                       const char* header, const char* block,
                       Status (*read_rows)(State&, std::FILE*)) {
  std::rewind(f);
  Block found = find_block(f, '@', word, false, header);
  Status st;
  if (found == Block::kMissing) {
    st.note("  note: '%s' block not found in 'kivo.cfg'\n", block);
    st.fail(ENOENT);
    ++s.cfg_unread;
  } else if (found == Block::kRows) {
    st = read_rows(s, f);
  } else {
    ++s.cfg_unread;
  }
  return st;
}

// kivo.cfg is there but cannot be read: the run stops.
Status refuse_unreadable(int error) {
  Status st;
  st.fatal(error,
           "error: cannot read config file 'kivo.cfg' (%s); the run stops and "
           "leaves 'kivo.pk3' and 'kivo.cfg' as they were\n",
           std::strerror(error));
  return st;
}

}  // namespace

void gd_read_config(State& s) {
  RunContext& run = *s.run;
  s.cfg_player_count = 0;
  s.cfg_tier_count = 0;
  s.cfg_unread = 0;
  s.cfg_seen = Identity{};
  s.cfg_seen_error = 0;
  Entry there = Entry::kNone;
  if (!sy_entry(run, kConfigFile, there)) return;
  // What was read, so that the writer can tell whether someone else saved
  // kivo.cfg since; taken before the open, so a change in between shows.
  if (there != Entry::kNone)
    s.cfg_seen_error = run.host.identify(kConfigFile, true, s.cfg_seen);
  std::FILE* f = nullptr;
  int error = 0;
  std::string owner;
  // 1: not a link, or one of the runner's own; -1: not known (`error`).
  int mine = 1;
  if (there == Entry::kLink) {
    bool runners = false;
    error = link_is_runners(run, kConfigFile, runners, owner);
    mine = error != 0 ? -1 : runners ? 1 : 0;
  }
  if (there == Entry::kFolder) {
    error = EISDIR;  // a folder opens on some hosts, then reads as empty
  } else if (mine == 0) {
    // Another user's link may lead anywhere that user chose: not read, and
    // so not written over either.
    fail_run(
        run,
        "error: 'kivo.cfg' is a link that belongs to the user '%s', not to "
        "you; it is not read, and the run stops and leaves 'kivo.pk3' and "
        "'kivo.cfg' as they were\n",
        owner.c_str());
    return;
  } else if (there != Entry::kNone && mine > 0) {
    // Only a link of the runner's own is followed; one swapped in fails.
    error = run.host.open_read(kConfigFile, there == Entry::kLink, f);
  }
  if (f == nullptr && there != Entry::kNone) {
    // A file that is there but cannot be read must not be written over as
    // if the player had none.
    say_status(run, refuse_unreadable(error != 0 ? error : EIO));
    return;
  }
  if (f == nullptr) {
    std::printf("  cannot open config file 'kivo.cfg' for read\n");
    return;
  }
  s.cfg_unread += has_long_lines(f);
  gd_read_flags(s, f);

  if (say_status(run, read_rows_block(s, f, "ai_play", "name", "ai_players",
                                      read_player_rows))) {
    std::printf("  found %d player configs in file 'kivo.cfg'\n",
                s.cfg_player_count);
    if (say_status(run, read_rows_block(s, f, "ai_tiers", "aifile", "ai_tiers",
                                        read_tier_rows)))
      std::printf("  found %d ai bot names in file 'kivo.cfg'\n",
                  s.cfg_tier_count);
  }
  const bool unreadable = std::ferror(f) != 0;
  std::fclose(f);
  if (unreadable) say_status(run, refuse_unreadable(EIO));
}

void gd_read_flags(State& s, std::FILE* f) {
  if (find_block(f, '$', "flags", true, "") == Block::kMissing) {
    ++s.cfg_unread;
    std::printf("err: cannot find block '$ flags' in config file 'kivo.cfg'\n");
    std::printf("...using defaults...\n");
    return;
  }
  char buf[kLineBytes];
  std::string_view w[2];
  while (read_line(f, buf)) {
    int n = line_words(buf, w);
    if (n >= 1 && w[0][0] == '$') break;
    if (n < 2 || !is_digit(w[1][0])) continue;
    for (const ConfigFlag& flag : kConfigFlags) {
      if (w[0] != flag.name) continue;
      int value = leading_digits(w[1]);
      // The overflow set can never be made the active set from the file.
      if (flag.field == &State::use_set && value >= kOverflowSet) value = 0;
      s.*flag.field = value;
    }
  }
}

int gd_parse_player_row(Player& p, const char* row) {
  std::string_view text(row, std::strlen(row));
  // The line's own end is not part of the last field.
  if (text.ends_with('\n')) text.remove_suffix(1);
  if (text.ends_with('\r')) text.remove_suffix(1);
  std::string_view f[8];
  int n = 0;
  while (n < 8 && !(f[n] = next_piece(text, kFieldSeparators)).empty()) ++n;
  name_field* names[8] = {&p.name, &p.funname, &p.aifile, nullptr,
                          nullptr, &p.model,   &p.player, &p.pk3file};
  for (int i = 0; i < n; ++i)
    if (names[i] != nullptr) names[i]->set(f[i]);
  if (n > 3) p.set = leading_integer(f[3]);
  if (n > 4) p.st = f[4][0];
  return n;
}
