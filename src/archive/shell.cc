// The shell command layer: every command line of both command sets and the
// list-file reader. Commands and file operations go through the host, which
// reports how each one ended.
#include <cerrno>
#include <cstring>

#include "archive/archive.h"

namespace {

// Every command line of the program, for the set this build uses. "%s" is
// filled with one shell argument built by shell_argument(). The lines
// that are null by default are steps one of the sets does not take.
struct CommandSet {
  const char* list_folder;
  const char* list_archive;
  const char* extract;  // archive, "scripts/" + member
  const char* set_aside;
  const char* make_scripts;
  const char* open_up_file = nullptr;  // "scripts/" + member
  const char* move_bot_in;             // name + ".bot"
  const char* pack;
  const char* delete_extracted;          // scripts path of the member
  const char* delete_written = nullptr;  // scripts path of name + ".bot"
  const char* remove_output_scripts;
  const char* give_back;
  char separator;    // between "scripts" and a file inside it
  const char* here;  // prefix that keeps a name from reading as an option
};

#ifdef KIVO_DOS_COMMANDS
constexpr CommandSet kCommands = {
    .list_folder = "dir /b >kivo.tmp",
    .list_archive = "unzip -l %s >kivo.tmp",
    .extract = "unzip %s %s",
    .set_aside = "move scripts tscripts >kivo.tmp",
    .make_scripts = "mkdir scripts >kivo.tmp",
    .move_bot_in = "move %s scripts >kivo.tmp",
    .pack = "zip -r kivo.pk3 scripts >kivo.tmp",
    .delete_extracted = "del %s",
    .delete_written = "del %s >kivo.tmp",
    .remove_output_scripts = "rmdir scripts >kivo.tmp",
    .give_back = "move tscripts scripts >kivo.tmp",
    .separator = '\\',
    .here = ".\\",
};
#else
constexpr CommandSet kCommands = {
    .list_folder = "ls -p >kivo.tmp",
    .list_archive = "unzip -l %s >kivo.tmp 2>/dev/null",
    .extract = "unzip %s %s",
    .set_aside = "mv scripts tscripts 2>/dev/null",
    .make_scripts = "mkdir scripts",
    .open_up_file = "chmod 777 %s",
    .move_bot_in = "mv %s scripts",
    .pack = "zip -r kivo.pk3 scripts >kivo.tmp >/dev/null",
    .delete_extracted = "rm %s",
    .remove_output_scripts = "rm -R scripts",
    .give_back = "mv tscripts scripts 2>/dev/null",
    .separator = '/',
    .here = "./",
};
#endif

// The lines spell the names of core/names.h as the shell reads them; these
// checks keep the two spellings one.
constexpr bool names(const char* line, std::string_view name) {
  return std::string_view(line).find(name) != std::string_view::npos;
}
static_assert(names(kCommands.list_folder, kListFile) &&
              names(kCommands.set_aside, kSetAside) &&
              names(kCommands.give_back, kSetAside) &&
              names(kCommands.give_back, kScripts) &&
              names(kCommands.make_scripts, kScripts) &&
              names(kCommands.pack, kArchiveFile));

bool plain_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
         (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '+' || c == '-';
}

// Appends text to out[0..size) at *n; false when it does not fit.
bool append(char* out, std::size_t size, std::size_t* n, std::string_view t) {
  if (*n + t.size() >= size) return false;
  std::memcpy(out + *n, t.data(), t.size());
  *n += t.size();
  out[*n] = '\0';
  return true;
}

constexpr CommandStatus kNotRun = {kCommandNotRun, 0};

// Formats `pattern` with one argument into a fixed line and runs it.
Status run_pattern(RunContext& run, const char* pattern, const char* argument,
                   CommandStatus& out) {
  out = kNotRun;
  char line[kCommandBytes];
  int n = std::snprintf(line, sizeof line, pattern, argument);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof line) return {};
  return run_command(run, line, out);
}

// Runs a pattern whose one "%s" is prefix+name+suffix; not run when the
// name cannot be passed safely.
Status run_with_name(RunContext& run, const char* pattern,
                     std::string_view prefix, std::string_view name,
                     std::string_view suffix, CommandStatus& out) {
  out = {};
  if (pattern == nullptr) return {};
  out = kNotRun;
  char argument[kCommandBytes];
  if (!shell_argument(prefix, name, suffix, argument, sizeof argument))
    return {};
  return run_pattern(run, pattern, argument, out);
}

// What a command family hands back: the lines of `st` go to `pending` when
// the caller gathers them, else they are said.
CommandStatus hand_back(RunContext& run, const Status& st, CommandStatus out,
                        Status* pending) {
  if (pending != nullptr)
    pending->add(st);
  else
    say_status(run, st);
  return out;
}

std::string_view scripts_prefix() {
  return kCommands.separator == '/' ? kScriptsMember : "scripts\\";
}

}  // namespace

int sy_exists(RunContext& run, const char* path) {
  // What cannot be looked at counts as there: it is never taken for room.
  Entry there = Entry::kNone;
  return !sy_entry(run, path, there) || there != Entry::kNone;
}

Status run_command(RunContext& run, const char* line, CommandStatus& out) {
  out = kNotRun;
  // The old list file goes first, so that a command that fails cannot leave
  // an earlier listing to be read as its own; a link there is removed, never
  // written through. A look that fails stops the run here: the command does
  // not run.
  Status st;
  if (std::strstr(line, kListFile) != nullptr) {
    Entry there = Entry::kNone;
    st = look_at(run, kListFile, there);
    if (!st.ok()) return st;
    if (there != Entry::kNone) {
      int error = run.host.remove(kListFile);
      if (error != 0) {
        st.fatal(
            error,
            "error: cannot remove the old list file '%s' (%s); the run stops "
            "and leaves 'kivo.pk3' and 'kivo.cfg' as they were\n",
            kListFile, std::strerror(error));
        return st;
      }
    }
  }
  trace("  system: '%s'\n", line);
  out = run.host.run(line);
  return st;
}

int shell_argument(std::string_view prefix, std::string_view name,
                   std::string_view suffix, char* out, std::size_t size) {
  if (size == 0) return 0;
  out[0] = '\0';
  std::size_t n = 0;
  // A name that begins with '-' would be read as an option by the tools.
  if (prefix.empty() && !name.empty() && name.front() == '-')
    prefix = kCommands.here;
  bool plain = true;
  for (char c : name) plain = plain && plain_char(c);
  if (plain && !name.empty())
    return append(out, size, &n, prefix) && append(out, size, &n, name) &&
           append(out, size, &n, suffix);
  if constexpr (kDosCommands) {
    // Inside double quotes cmd takes every character literally except '"'
    // itself and the '%' of variables; a line end would end the command.
    for (char c : name)
      if (c == '"' || c == '%' || static_cast<unsigned char>(c) < 0x20)
        return 0;
    return append(out, size, &n, "\"") && append(out, size, &n, prefix) &&
           append(out, size, &n, name) && append(out, size, &n, suffix) &&
           append(out, size, &n, "\"");
  } else {
    // Inside single quotes sh takes every character literally; a quote is
    // closed, escaped and opened again.
    if (!append(out, size, &n, "'") || !append(out, size, &n, prefix)) return 0;
    for (char c : name) {
      std::string_view piece = c == '\'' ? "'\\''" : std::string_view(&c, 1);
      if (!append(out, size, &n, piece)) return 0;
    }
    return append(out, size, &n, suffix) && append(out, size, &n, "'");
  }
}

Status warn_unsafe_name(const char* what, std::string_view name) {
  Status st;
  st.note(
      "warn: %s '%.*s' skipped: its name cannot be passed safely to the "
      "shell\n",
      what, static_cast<int>(name.size()), name.data());
  return st;
}

CommandStatus sy_cmd_list_folder(RunContext& run, Status* pending) {
  CommandStatus out;
  Status st = run_command(run, kCommands.list_folder, out);
  return hand_back(run, st, out, pending);
}

const char* sy_list_folder_line() { return kCommands.list_folder; }

CommandStatus sy_cmd_list_archive(RunContext& run, std::string_view archive,
                                  Status* pending) {
  CommandStatus out;
  Status st = run_with_name(run, kCommands.list_archive, "", archive, "", out);
  return hand_back(run, st, out, pending);
}

CommandStatus sy_cmd_extract(RunContext& run, std::string_view archive,
                             std::string_view member, Status* pending) {
  char a[kCommandBytes];
  char m[kCommandBytes];
  // A member name always uses "/", as archives store it.
  if (!shell_argument("", archive, "", a, sizeof a) ||
      !shell_argument(kScriptsMember, member, "", m, sizeof m))
    return kNotRun;
  char line[kCommandBytes];
  int n = std::snprintf(line, sizeof line, kCommands.extract, a, m);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof line) return kNotRun;
  CommandStatus out;
  Status st = run_command(run, line, out);
  return hand_back(run, st, out, pending);
}

CommandStatus sy_cmd_open_up_file(RunContext& run, std::string_view member,
                                  Status* pending) {
  CommandStatus out;
  Status st = run_with_name(run, kCommands.open_up_file, scripts_prefix(),
                            member, "", out);
  return hand_back(run, st, out, pending);
}

CommandStatus sy_cmd_make_scripts(RunContext& run, Status* pending) {
  CommandStatus out;
  Status st = run_command(run, kCommands.make_scripts, out);
  return hand_back(run, st, out, pending);
}

CommandStatus sy_cmd_move_bot_in(RunContext& run, std::string_view name,
                                 Status* pending) {
  CommandStatus out;
  Status st = run_with_name(run, kCommands.move_bot_in, "", name, ".bot", out);
  return hand_back(run, st, out, pending);
}

CommandStatus sy_cmd_pack(RunContext& run, Status* pending) {
  CommandStatus out;
  Status st = run_command(run, kCommands.pack, out);
  return hand_back(run, st, out, pending);
}

CommandStatus sy_cmd_delete_extracted(RunContext& run, std::string_view member,
                                      Status* pending) {
  CommandStatus out;
  Status st = run_with_name(run, kCommands.delete_extracted, scripts_prefix(),
                            member, "", out);
  return hand_back(run, st, out, pending);
}

CommandStatus sy_cmd_delete_written_bot(RunContext& run, std::string_view name,
                                        Status* pending) {
  CommandStatus out;
  Status st = run_with_name(run, kCommands.delete_written, scripts_prefix(),
                            name, ".bot", out);
  return hand_back(run, st, out, pending);
}

CommandStatus sy_cmd_set_aside(RunContext& run, Status* pending) {
  CommandStatus out;
  Status st = run_command(run, kCommands.set_aside, out);
  return hand_back(run, st, out, pending);
}

CommandStatus sy_cmd_give_back(RunContext& run, Status* pending) {
  CommandStatus out;
  Status st = run_command(run, kCommands.give_back, out);
  return hand_back(run, st, out, pending);
}

CommandStatus sy_cmd_remove_output_scripts(RunContext& run, Status* pending) {
  CommandStatus out;
  Status st = run_command(run, kCommands.remove_output_scripts, out);
  return hand_back(run, st, out, pending);
}

int sy_tool_missing(const CommandStatus& status) {
  // sh says 127 for a command it cannot find, cmd says 9009.
  return status.signal == 0 && (status.code == 127 || status.code == 9009);
}

int sy_name_passes(std::string_view prefix, std::string_view name) {
  char argument[kCommandBytes];
  return shell_argument(prefix, name, "", argument, sizeof argument);
}

int scripts_path(std::string_view member, char* out, std::size_t size) {
  int n = std::snprintf(out, size, "%s%c%.*s", kScripts, kCommands.separator,
                        static_cast<int>(member.size()), member.data());
  return n >= 0 && static_cast<std::size_t>(n) < size ? 0 : ENAMETOOLONG;
}

int read_list_piece(std::FILE* f, char* buf, int size) {
  if (std::fgets(buf, size, f) == nullptr) return 0;
  std::size_t n = std::strlen(buf);
  if (n > 0) buf[n - 1] = '\0';
  return 1;
}

int read_list_line(std::FILE* f, char* buf, int size, std::size_t* length) {
  std::size_t n = 0;  // characters of the line, its newline included
  int c = std::fgetc(f);
  if (c == EOF) return 0;
  for (; c != EOF; c = std::fgetc(f)) {
    if (n + 1 < static_cast<std::size_t>(size)) buf[n] = static_cast<char>(c);
    ++n;
    if (c == '\n') break;
  }
  // The last character goes, whatever it is: it is taken to be the newline.
  std::size_t kept = n - 1;
  std::size_t stored = kept < static_cast<std::size_t>(size) - 1
                           ? kept
                           : static_cast<std::size_t>(size) - 1;
  buf[stored] = '\0';
  if (length != nullptr) *length = kept;
  return 1;
}
