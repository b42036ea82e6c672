// core.h: the State record that every phase of a run works on, the Player
// record, the fixed 49-byte name field, the run's one random generator, the
// trace switch, the run sequence and the command line.
// The State record owns every table and every Player record from creation to
// destruction; phases borrow it for the length of one call. Tables have a
// fixed capacity and a count of rows in use; rows are appended, never removed.
#ifndef KIVO_CORE_CORE_H
#define KIVO_CORE_CORE_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/host.h"

// Every name is a 49-byte field: at most 48 characters and a NUL.
inline constexpr std::size_t kNameBytes = 49;
inline constexpr std::size_t kNameChars = kNameBytes - 1;
// Capacity of the model, AI file, roster, configuration and bot tables.
inline constexpr int kTableRows = 1024;
// Slots of the archive list; an empty slot ends it, so 1535 names fit.
inline constexpr int kPk3Slots = 1536;
// Lines of kivo.cfg, of archive listings and of bot files are read into
// buffers of this size: one read gives at most 254 characters and a NUL, so
// longer lines come in pieces.
inline constexpr int kLineBytes = 255;
// Players per set that clipping keeps.
inline constexpr int kSetLimit = 80;
// The overflow set, never active; the sets 0 to 8 below it can be.
inline constexpr int kOverflowSet = 9;
// The tiers an AI file can have and the randomizer can pick from.
inline constexpr int kLowestTier = 0;
inline constexpr int kHighestTier = 9;
// The tier of an AI file found in an archive, until the player ranks it.
inline constexpr int kUnranked = 9;

#ifdef KIVO_TRACE
inline constexpr bool kTrace = true;
#else
inline constexpr bool kTrace = false;
#endif

#ifdef KIVO_DOS_COMMANDS
inline constexpr bool kDosCommands = true;
#else
inline constexpr bool kDosCommands = false;
#endif

// Lowers/raises one character; only 'A'..'Z' / 'a'..'z' change.
inline char to_lower(char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; }
inline char to_upper(char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

// 1 when `a` and `b` differ at most in the case of their letters.
inline bool same_but_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (to_lower(a[i]) != to_lower(b[i])) return false;
  return true;
}

// A name held inline, cut to 48 characters by construction; no heap.
struct name_field {
  std::array<char, kNameBytes> bytes{};  // the tail after the text is NUL

  // Copies `text` cut to 48 characters; 1 if it fit whole, 0 if it was cut.
  int set(std::string_view text) {
    std::size_t n = text.size() < kNameChars ? text.size() : kNameChars;
    bytes.fill('\0');
    text.copy(bytes.data(), n);
    return n == text.size() ? 1 : 0;
  }
  void clear() { bytes.fill('\0'); }
  // Changes the letters 'A' to 'Z' of the text to lower case.
  void lower() {
    for (char* c = bytes.data(); *c != '\0'; ++c) *c = to_lower(*c);
  }
  std::string_view view() const { return bytes.data(); }
  const char* c_str() const { return bytes.data(); }
  char* data() { return bytes.data(); }
  std::size_t size() const { return view().size(); }
  bool empty() const { return bytes[0] == '\0'; }
  char& operator[](std::size_t i) { return bytes[i]; }
  char operator[](std::size_t i) const { return bytes[i]; }
  // Compares the text only, exactly and case-sensitively.
  // Tables are searched with this a million times a run: most names differ
  // in their first byte, which is looked at before any call.
  bool operator==(const name_field& o) const {
    return bytes[0] == o.bytes[0] &&
           (bytes[0] == '\0' ||
            std::strcmp(bytes.data() + 1, o.bytes.data() + 1) == 0);
  }
  bool operator==(std::string_view text) const { return view() == text; }
};
static_assert(sizeof(name_field) == kNameBytes);

// One roster entry, or one row of the players block of kivo.cfg.
struct Player {
  name_field name;     // bot name as the game shows it
  name_field funname;  // display name with colour codes, or "default"
  name_field model;    // player model
  name_field player;   // skin of the model; "default" is the default skin
  name_field aifile;   // AI file base name, or the placeholder "default"
  int set = 0;         // 0 to 8, 9 the overflow set
  char st = 'i';       // status: a i A I X u
  name_field pk3file;  // archive the player came from, "pak0" for stock
};

// A bot file the game lists from an archive: a member scripts*/[folder/]
// <name>.bot, letters in any case, named by its path without the first 8
// characters ("sub/x.bot", or "/x.bot" for scripts2/x.bot). `before_output`:
// an archive the game searches before kivo.pk3 holds it, so that its file
// is read for scripts/<name> rather than one of kivo.pk3.
struct GameBotFile {
  std::string name;
  bool before_output = false;
};
// The game puts a bot file's name into "scripts/<name>" of 128 bytes: one
// of this many characters or more overflows it, and the game stops.
inline constexpr std::size_t kGameBotNameLimit = 120;

using NameTable = std::array<name_field, kTableRows>;
using PlayerTable = std::array<std::unique_ptr<Player>, kTableRows>;

struct RunContext;

// All of a run's data. Field order follows the record's description; the
// nine flags from tier_hi to ai_reset are the ones kivo.cfg holds.
struct State {
  int argc = 0;
  char** argv = nullptr;
  std::array<name_field, kPk3Slots> pk3_list{};  // archive list, empty ends
  NameTable model_names{};                       // built-in models first
  int model_count = 0;
  name_field default_aifile;  // given when a drawn tier holds no AI file
  int tier_hi = 0;            // highest tier the randomizer may pick
  int tier_lo = 0;            // lowest tier the randomizer may pick
  int use_blue = 0;           // group filters of classification
  int use_defa = 0;
  int use_others = 0;
  int use_pak0 = 0;
  int use_red = 0;
  int use_set = 0;           // the active set, 0 to 8
  int ai_reset = 0;          // 1: AI files of kivo.cfg are not applied this run
  int ai_override = 0;       // 1: 'X' players take the AI file of kivo.cfg
  NameTable aifile_names{};  // AI file table, built-in rows first
  std::array<int, kTableRows> aifile_tiers{};
  int aifile_count = 0;
  NameTable cfg_tier_names{};  // rows of the tiers block of kivo.cfg
  std::array<int, kTableRows> cfg_tier_values{};
  int cfg_tier_count = 0;
  int xai_count = 0;  // bot definitions found inside archives
  NameTable xai_name{};
  NameTable xai_funname{};
  NameTable xai_aifile{};
  NameTable xai_model{};
  NameTable xai_player{};
  // The bot files of the archives the game loads, as it lists them: each
  // name once, letter case aside (at most kTableRows names).
  std::vector<GameBotFile> game_bot_files;
  PlayerTable cfg_players;  // rows of the players block of kivo.cfg
  std::array<int, kTableRows> written_marks{};  // writer's scratch marks
  int cfg_player_count = 0;
  PlayerTable roster;  // stock players first, then those of the archives
  int roster_count = 0;
  std::uint32_t rng_state = 0;  // the run's one random generator
  int cfg_unread = 0;  // blocks, rows or lines of kivo.cfg the reader skipped
  int cfg_lost = 0;    // rows of kivo.cfg that no roster player took
  Identity cfg_seen;   // kivo.cfg as it was read (type kNone: there was none)
  int cfg_seen_error = 0;  // why who it was is not known, or 0
  RunContext* run =
      nullptr;  // the host, status and guard of the run it belongs to
};

// Creates the State record with the built-in catalogue and start flags, and
// seeds the random generator from the clock.
std::unique_ptr<State> create_state(RunContext& run, int argc, char** argv);

// Appends `text` to a name table; 1 when stored, 0 when the table is full.
template <std::size_t N>
int append_name(std::array<name_field, N>& table, int& count,
                std::string_view text) {
  if (count < 0 || count >= static_cast<int>(N)) return 0;
  table[count].set(text);
  ++count;
  return 1;
}

// Appends a new Player record to the roster; null when the roster is full.
Player* add_roster_player(State& s);

// Seeds the generator; the program does this once, from `time`.
void rng_seed(State& s, std::uint32_t seed);
// Next draw: s = s * 214013 + 2531011 (mod 2^32), yields (s >> 16) & 0x7FFF.
int rng_draw(State& s);

// Prints a trace line to standard output when the build has tracing on.
[[gnu::format(printf, 1, 2)]] void trace(const char* format, ...);
// The same, to another stream (some trace lines go to standard error).
[[gnu::format(printf, 2, 3)]] void trace_to(std::FILE* stream,
                                            const char* format, ...);

// 1 for the decimal digits '0' to '9'.
inline bool is_digit(char c) { return c >= '0' && c <= '9'; }
// The value of the leading decimal digits of `text` (0 without any); a value
// too large for an int stays at the largest int instead of wrapping.
inline int leading_digits(std::string_view text) {
  long long value = 0;
  for (char c : text) {
    if (!is_digit(c)) break;
    value = value * 10 + (c - '0');
    if (value > 2147483647LL) return 2147483647;
  }
  return static_cast<int>(value);
}

// The one tokenizer of the program (listings, bot files and kivo.cfg): cuts
// the next piece off `rest`, skipping runs of separator characters before
// it, and leaves `rest` after the one separator that ends the piece. An
// empty piece means `rest` held separators only.
// Every character of every listing line passes through here: the separator
// sets are a few characters, so a plain loop beats a library search per
// character.
inline std::string_view next_piece(std::string_view& rest,
                                   std::string_view separators) {
  auto is_separator = [separators](char c) {
    for (char sep : separators)
      if (c == sep) return true;
    return false;
  };
  std::size_t start = 0;
  while (start < rest.size() && is_separator(rest[start])) ++start;
  if (start == rest.size()) {
    rest = {};
    return {};
  }
  std::size_t end = start;
  while (end < rest.size() && !is_separator(rest[end])) ++end;
  std::string_view piece = rest.substr(start, end - start);
  rest = end == rest.size() ? std::string_view{} : rest.substr(end + 1);
  return piece;
}

// ---- The run's own status ----

// What the run has said and whether it must stop; the run's, not the host's.
struct RunStatus {
  int errors = 0;            // "error: " lines printed so far
  int failed = 0;            // 1: a failure stops the run before its output
  int pk3_written = 0;       // the new kivo.pk3 is in place
  int cfg_written = 0;       // the new kivo.cfg is in place
  int bot_files_unread = 0;  // archives' bot files could not be read
};

struct Guard;

// What a run works with besides its data: the host that reaches the
// operating system, what the run has said so far, and the guard of the game
// folder (its journal and what the run made), which the guard makes and
// fills in (guard/guard.h); core knows it by name only. One context lives
// for the whole program; the guarded run makes it around the host.
struct RunContext {
  explicit RunContext(Host& h, Guard& g) : host(h), guard(g) {}
  Host& host;
  RunStatus status;
  Guard& guard;
};
// Prints an "error: " message (the format holds it) and counts it.
[[gnu::format(printf, 2, 3)]] void say_error(RunContext& run,
                                             const char* format, ...);
// Marks the run as failed: the phases stop before the output is touched.
void stop_run(RunContext& run);
// Says an "error: " message as say_error does, then stops the run.
[[gnu::format(printf, 2, 3)]] void fail_run(RunContext& run, const char* format,
                                            ...);
// 1 once the run must stop: a failure or a signal.
int stopping(RunContext& run);
// ---- What a step below the phases reports ----

// Steps below the phases never print: they return a Status (or, when there
// is nothing to say, 0 or an errno value) and the phase that called them
// decides what to say and whether the run goes on (say_status). A Status is
// success or a failure (an errno value, EIO when none applies), with the
// lines that tell of it, in order, each ending in a newline.
class Status {
 public:
  Status() = default;
  // A "warn: " or "note: " line; the step goes on.
  [[gnu::format(printf, 2, 3)]] void note(const char* format, ...);
  // An "error: " line, counted when said; with `error` not 0 the step has
  // failed, but the run goes on.
  [[gnu::format(printf, 3, 4)]] void error(int error, const char* format, ...);
  // An "error: " line and a failure that stops the run.
  [[gnu::format(printf, 3, 4)]] void fatal(int error, const char* format, ...);
  // A failure with nothing more to say (the run asked to stop, say).
  void fail(int error);
  // A failure that stops the run, with nothing more to say.
  void stop(int error);
  // Appends the lines of `other` and takes its failure, when this has none.
  void add(const Status& other);
  bool ok() const { return error_ == 0; }
  int code() const { return error_; }
  bool stops() const { return stops_; }
  // The lines, in order; `counted`: an error line.
  struct Line {
    std::string text;
    bool counted = false;
  };
  const std::vector<Line>& lines() const { return lines_; }

 private:
  int error_ = 0;
  bool stops_ = false;
  std::vector<Line> lines_;
};
// Says the lines of `st` (its error lines counted) and stops the run when
// it asks to; 1 when `st` is a success, 0 when it is a failure.
int say_status(RunContext& run, const Status& st);
// 1 once the run must stop, counting `pending` as said: a step that gathers
// what it says asks this before each of its operations.
int stopping(RunContext& run, const Status& pending);

// What is at `path`, in `out`: 1. When that cannot be found out, says so
// with an "error: " line, stops the run and returns 0.
int sy_entry(RunContext& run, const char* path, Entry& out);
// What is at `path`, into `out`; when that cannot be found out, a failure
// that stops the run, with the line sy_entry says.
Status look_at(RunContext& run, const char* path, Entry& out);

// One phase of a run: its name (null for a step without a trace line) and
// the operation, which takes the State record.
struct Phase {
  const char* name;
  void (*run)(State& s);
};
// The phases after the help check, in the order every run takes them.
std::span<const Phase> run_phases();
// 1 when an argument asks for help: first character '-' or '+', second 'h'.
int gd_help_requested(int argc, char** argv);
// Prints both help texts and ends the program with status 0 when an
// argument asks for help; otherwise returns having changed nothing.
void gd_show_help(int argc, char** argv);
// Applies the command-line options to the flags of `s`, left to right.
void gd_parse_options(State& s, int argc, char** argv);

#endif  // KIVO_CORE_CORE_H
