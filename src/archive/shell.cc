// The shell command layer: every command line of both command sets, the
// list-file reader and the loan of the scripts folder. Commands and file
// operations go through the host, which reports how each one ended.
#include <cerrno>
#include <cstring>

#include "archive/archive.h"
#include "guard/guard.h"

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
CommandStatus run_pattern(RunContext& run, const char* pattern,
                          const char* argument) {
  char line[kCommandBytes];
  int n = std::snprintf(line, sizeof line, pattern, argument);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof line) return kNotRun;
  return run_command(run, line);
}

// Runs a pattern whose one "%s" is prefix+name+suffix; not run when the
// name cannot be passed safely.
CommandStatus run_with_name(RunContext& run, const char* pattern,
                            std::string_view prefix, std::string_view name,
                            std::string_view suffix) {
  if (pattern == nullptr) return {};
  char argument[kCommandBytes];
  if (!shell_argument(prefix, name, suffix, argument, sizeof argument))
    return kNotRun;
  return run_pattern(run, pattern, argument);
}

std::string_view scripts_prefix() {
  return kCommands.separator == '/' ? kScriptsMember : "scripts\\";
}

}  // namespace

int sy_exists(RunContext& run, const char* path) {
  // What cannot be looked at counts as there: it is never taken for room.
  return sy_entry(run, path) != Entry::kNone;
}

CommandStatus run_command(RunContext& run, const char* line) {
  // The old list file goes first, so that a command that fails cannot leave
  // an earlier listing to be read as its own; a link there is removed, never
  // written through.
  if (std::strstr(line, kListFile) != nullptr && sy_exists(run, kListFile)) {
    int error = run.host.remove(kListFile);
    if (error != 0) {
      fail_run(
          run,
          "error: cannot remove the old list file '%s' (%s); the run stops "
          "and leaves 'kivo.pk3' and 'kivo.cfg' as they were\n",
          kListFile, std::strerror(error));
      return kNotRun;
    }
  }
  trace("  system: '%s'\n", line);
  return run.host.run(line);
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

void warn_unsafe_name(const char* what, std::string_view name) {
  std::printf(
      "warn: %s '%.*s' skipped: its name cannot be passed safely to the "
      "shell\n",
      what, static_cast<int>(name.size()), name.data());
}

CommandStatus sy_cmd_list_folder(RunContext& run) {
  return run_command(run, kCommands.list_folder);
}

const char* sy_list_folder_line() { return kCommands.list_folder; }

CommandStatus sy_cmd_list_archive(RunContext& run, std::string_view archive) {
  return run_with_name(run, kCommands.list_archive, "", archive, "");
}

CommandStatus sy_cmd_extract(RunContext& run, std::string_view archive,
                             std::string_view member) {
  char a[kCommandBytes];
  char m[kCommandBytes];
  // A member name always uses "/", as archives store it.
  if (!shell_argument("", archive, "", a, sizeof a) ||
      !shell_argument(kScriptsMember, member, "", m, sizeof m))
    return kNotRun;
  char line[kCommandBytes];
  int n = std::snprintf(line, sizeof line, kCommands.extract, a, m);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof line) return kNotRun;
  return run_command(run, line);
}

CommandStatus sy_cmd_open_up_file(RunContext& run, std::string_view member) {
  return run_with_name(run, kCommands.open_up_file, scripts_prefix(), member,
                       "");
}

CommandStatus sy_cmd_make_scripts(RunContext& run) {
  return run_command(run, kCommands.make_scripts);
}

CommandStatus sy_cmd_move_bot_in(RunContext& run, std::string_view name) {
  return run_with_name(run, kCommands.move_bot_in, "", name, ".bot");
}

CommandStatus sy_cmd_pack(RunContext& run) {
  return run_command(run, kCommands.pack);
}

CommandStatus sy_cmd_delete_extracted(RunContext& run,
                                      std::string_view member) {
  return run_with_name(run, kCommands.delete_extracted, scripts_prefix(),
                       member, "");
}

CommandStatus sy_cmd_delete_written_bot(RunContext& run,
                                        std::string_view name) {
  return run_with_name(run, kCommands.delete_written, scripts_prefix(), name,
                       ".bot");
}

CommandStatus sy_cmd_remove_output_scripts(RunContext& run) {
  return run_command(run, kCommands.remove_output_scripts);
}

int sy_tool_missing(const CommandStatus& status) {
  // sh says 127 for a command it cannot find, cmd says 9009.
  return status.signal == 0 && (status.code == 127 || status.code == 9009);
}

int sy_name_passes(std::string_view prefix, std::string_view name) {
  char argument[kCommandBytes];
  return shell_argument(prefix, name, "", argument, sizeof argument);
}

void scripts_path(std::string_view member, char* out, std::size_t size) {
  std::snprintf(out, size, "%s%c%.*s", kScripts, kCommands.separator,
                static_cast<int>(member.size()), member.data());
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

int sy_borrow_scripts(RunContext& run, ScriptsLoan& loan) {
  loan = ScriptsLoan{};
  Entry in_the_way = sy_entry(run, kSetAside);
  if (in_the_way == Entry::kError) return 0;
  if (in_the_way != Entry::kNone) {
    run.status.bot_files_unread = 1;
    // The advice must be one that works: with a scripts there, renaming
    // tscripts back would move it into that folder.
    Entry scripts = run.host.entry(kScripts);
    say_error(
        run,
        "error: 'tscripts' is in the way; the 'scripts' folder cannot be "
        "set aside, so this step is skipped (if 'tscripts' is your "
        "'scripts' folder, set aside by a run that was stopped, %s)\n",
        scripts == Entry::kNone
            ? "rename it back to 'scripts'"
            : "move what you keep of 'scripts' into it, remove 'scripts' and "
              "rename 'tscripts' back to 'scripts'");
    return 0;
  }
  // The program's own folder, its token and its record are on the disk
  // before the player's folder is touched: a run stopped at any later
  // instant leaves the next one all it needs to give it back.
  if (!loan_make_own(run)) {
    run.status.bot_files_unread = 1;
    return 0;
  }
  loan.made = true;
  Identity player;
  int error = run.host.identify(kScripts, false, player);
  if (error != 0 && error != ENOENT) {
    fail_run(run, "error: cannot look at '%s' (%s); the run stops\n", kScripts,
             std::strerror(error));
    sy_give_back_scripts(run, loan);
    return 0;
  }
  if (error == 0) {
    // The journal says so before the move, with the folder's identity: a
    // run stopped dead after it leaves the next run the proof of whose
    // folder 'tscripts' is.
    if (!loan_record_aside(run, player)) {
      sy_give_back_scripts(run, loan);
      return 0;
    }
    run_command(run, kCommands.set_aside);
    // Where the player's folder is decides what the loan must give back,
    // whatever else went wrong.
    if (loan_aside_is_there(run, player)) {
      loan.set_aside = true;
      loan.player = player;
    }
    if (!loan.set_aside || stopping(run) || sy_exists(run, kScripts)) {
      // Where the player's folder went cannot be told: the journal keeps
      // the loan open, and the repair at the end looks again.
      loan.unsure =
          !loan.set_aside && run.host.entry(kSetAside) != Entry::kNone;
      sy_give_back_scripts(run, loan);
      fail_run(run,
               "error: the 'scripts' folder could not be set aside as "
               "'tscripts'; the run stops\n");
      return 0;
    }
  }
  if (!loan_move_own(run, true)) {
    sy_give_back_scripts(run, loan);
    return 0;
  }
  loan.lent = true;
  return 1;
}

int sy_give_back_scripts(RunContext& run, ScriptsLoan& loan) {
  if (!loan.made && !loan.set_aside) return !loan.unsure;
  // The program's folder leaves the name scripts first, so that the
  // player's can come back; it is emptied and removed after, elsewhere.
  if (loan.lent) {
    if (!loan_move_own(run, false)) {
      if (loan.set_aside)
        say_error(
            run,
            "error: your 'scripts' folder waits in 'tscripts'; the next run "
            "will put it back\n");
      return 0;
    }
    loan.lent = false;
  }
  if (loan.set_aside) {
    if (loan_aside_is_there(run, loan.player) && sy_exists(run, kScripts)) {
      fail_run(run,
               "error: a 'scripts' folder is in the way; your 'scripts' folder "
               "waits in 'tscripts'\n");
      return 0;
    }
    if (loan_aside_is_there(run, loan.player)) {
      run_command(run, kCommands.give_back);
      if (loan_aside_is_there(run, loan.player) && !sy_exists(run, kScripts))
        run.host.rename(kSetAside, kScripts);
    }
    if (!is_object(run, kScripts, loan.player)) {
      fail_run(run,
               "error: 'tscripts' could not be moved back to 'scripts'; your "
               "'scripts' folder waits in 'tscripts'\n");
      return 0;
    }
    loan.set_aside = false;
  }
  if (loan.made) {
    if (!loan_clear_own(run)) {
      fail_run(run,
               "error: the program's own folder '%s' could not be removed; the "
               "next run will try again\n",
               kSpareFolder);
      return 0;
    }
    loan.made = false;
  }
  if (loan.unsure) return 0;
  return loan_record_over(run);
}
