// Bot files inside archives: scripts/<file>.bot is extracted into a scripts
// folder of the program's own, its bot definitions are read into the bot
// definition table, and the folder is removed again, so that a scripts
// folder of the player's is back as it was.
#include <cerrno>
#include <cstring>
#include <string_view>

#include "archive/archive.h"
#include "guard/guard.h"

namespace {

// `plain`: the extracted member is a file of its own; a link that an
// archive restores must be neither opened up nor read, since it points
// outside. A failure that stops the run when it cannot be looked at.
Status is_plain_file(RunContext& run, const char* path, bool& plain) {
  Entry there = Entry::kNone;
  Status st = look_at(run, path, there);
  plain = st.ok() && there == Entry::kFile;
  return st;
}

// The key of a first word: its first three letters in lower case.
bool key_is(std::string_view word, const char (&key)[4]) {
  if (word.size() < 3) return false;
  for (int i = 0; i < 3; ++i)
    if (to_lower(word[i]) != key[i]) return false;
  return true;
}

// Reads one line of a bot file into the row at xai_count.
void parse_bot_line(State& s, std::string_view line, bool& in_block) {
  constexpr std::string_view kBlanks = " \t\n";
  std::string_view word = next_piece(line, kBlanks);
  if (word.empty()) return;
  std::string_view value = next_piece(line, kBlanks);
  // A full table takes no more definitions: nothing is written past it.
  if (s.xai_count < 0 || s.xai_count >= kTableRows) return;
  int row = s.xai_count;

  if (word[0] == '{') {
    in_block = true;
    s.xai_name[row].clear();
    s.xai_funname[row].clear();
    s.xai_aifile[row].clear();
    s.xai_model[row].clear();
    s.xai_player[row].clear();
    return;
  }
  if (word[0] == '}') {
    in_block = false;
    if (s.xai_player[row].empty()) s.xai_player[row].set("default");
    trace_to(stderr, "xai[%d]: model='%s' player='%s' aifile='%s'\n", row,
             s.xai_model[row].c_str(), s.xai_player[row].c_str(),
             s.xai_aifile[row].c_str());
    ++s.xai_count;
    return;
  }
  if (!in_block || value.empty()) return;

  if (key_is(word, "aif")) {
    next_piece(value, "/");
    std::string_view part = next_piece(value, "/");
    if (part.ends_with("_c.c"))
      s.xai_aifile[row].set(part.substr(0, part.size() - 4));
  } else if (key_is(word, "fun")) {
    s.xai_funname[row].set(value);
  } else if (key_is(word, "mod")) {
    std::string_view model = next_piece(value, "/");
    if (model.empty()) return;
    s.xai_model[row].set(model);
    std::string_view skin = next_piece(value, "/");
    if (!skin.empty()) s.xai_player[row].set(skin);
  } else if (key_is(word, "nam")) {
    std::string_view name = next_piece(value, "/");
    if (!name.empty()) s.xai_name[row].set(name);
  }
}

}  // namespace

namespace {

// Reads the next line of a bot file as fgets reads it into a buffer of
// `size` bytes; with `unix_ends`, a CR before a LF is dropped first, as the
// Unix set's line-end conversion would leave the file. 0 at the end.
int next_bot_line(std::FILE* f, char* buf, int size, bool unix_ends) {
  int n = 0;
  while (n + 1 < size) {
    int c = std::fgetc(f);
    if (c == EOF) break;
    if (unix_ends && c == '\r') {
      int next = std::fgetc(f);
      if (next == '\n')
        c = next;
      else if (next != EOF)
        std::ungetc(next, f);
    }
    buf[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buf[n] = '\0';
  return n > 0;
}

}  // namespace

void gd_read_bot_defs(State& s, std::FILE* f) {
  bool in_block = false;
  char line[kLineBytes];
  while (next_bot_line(f, line, kLineBytes, !kDosCommands)) {
    trace("    bot_ln: '%s'\n", line);
    parse_bot_line(s, line, in_block);
  }
  for (int i = 0; i < s.xai_count; ++i) {
    s.xai_model[i].lower();
    s.xai_player[i].lower();
    s.xai_aifile[i].lower();
  }
}

void gd_parse_aifile(State& s, std::string_view archive,
                     std::string_view bot_file) {
  RunContext& run = *s.run;
  trace("  gd_parse_aifile()\n");
  // Both names must reach the shell safely before anything is moved.
  if (!sy_name_passes("", archive)) {
    say_status(run, warn_unsafe_name("archive", archive));
    return;
  }
  // unzip reads "*", "?" and "[" in a member name as a pattern, which would
  // extract other members than this one.
  char path[kCommandBytes];
  if (!sy_name_passes(kScriptsMember, bot_file) ||
      bot_file.find_first_of("*?[") != std::string_view::npos ||
      scripts_path(bot_file, path, sizeof path) != 0) {
    say_status(run, warn_unsafe_name("bot file", bot_file));
    return;
  }

  ScriptsLoan loan;
  if (!sy_borrow_scripts(run, loan)) return;

  CommandStatus status = sy_cmd_extract(run, archive, bot_file);
  if (sy_tool_missing(status) || status.code == 50) {
    fail_run(
        run,
        "error: cannot extract 'scripts/%.*s' from '%.*s': %s (status %d); "
        "'kivo.pk3' and 'kivo.cfg' are left as they were\n",
        static_cast<int>(bot_file.size()), bot_file.data(),
        static_cast<int>(archive.size()), archive.data(),
        status.code == 50 ? "the disk is full"
                          : "the 'unzip' program was not found",
        status.code);
  }
  // What unzip made is recorded at once: it is the proof by which a run
  // stopped from here on is cleaned up.
  bool made = false;
  say_status(run, is_plain_file(run, path, made));
  if (made && !say_status(run, loan_record_member(run, bot_file)) &&
      !stopping(run))
    fail_run(run, "error: cannot look at the extracted '%s'; the run stops\n",
             path);
  std::FILE* f = nullptr;
  if (!stopping(run) && made) {
    sy_cmd_open_up_file(run, bot_file);
    if (int error = run.host.open_read(path, false, f); error != 0) {
      // The file is there: what fails now is the host, not the archive.
      fail_run(run,
               "error: cannot read the extracted '%s' (%s); the run stops and "
               "leaves 'kivo.pk3' and 'kivo.cfg' as they were\n",
               path, std::strerror(error));
    }
  } else if (!stopping(run)) {
    std::fflush(stdout);  // the console shows both streams in order
    std::fprintf(stderr, "err: cannot open '%s' for read\n", path);
  }
  if (f != nullptr) {
    gd_read_bot_defs(s, f);
    std::fclose(f);
  }

  // Whatever happened, the folder of our own goes and the player's returns.
  if (sy_exists(run, path)) sy_cmd_delete_extracted(run, bot_file);
  sy_give_back_scripts(run, loan);
}
