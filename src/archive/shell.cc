// The host command layer: every command line of both command sets, the one
// place that calls std::system, the list-file reader and the loan of the
// scripts folder.
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "archive/archive.h"

namespace {

int system_runner(const char* line) { return std::system(line); }

CommandRunner g_runner = system_runner;

// Every command line of the program, for the set this build uses. "%s" is
// filled with one shell argument built by shell_argument().
struct CommandSet {
  const char* list_folder;
  const char* list_archive;
  const char* extract;          // archive, "scripts/" + member
  const char* open_up_scripts;  // null: the set has no such step
  const char* set_aside;
  const char* make_scripts;
  const char* open_up_file;  // "scripts/" + member
  const char* move_bot_in;   // name + ".bot"
  const char* pack;
  const char* delete_extracted;  // scripts path of the member
  const char* delete_written;    // scripts path of name + ".bot"
  const char* delete_output;
  const char* remove_extract_scripts[2];
  const char* remove_output_scripts;
  const char* give_back;
  char separator;    // between "scripts" and a file inside it
  const char* here;  // prefix that keeps a name from reading as an option
};

#ifdef KIVO_DOS_COMMANDS
constexpr CommandSet kCommands = {
    "dir /b >kivo.tmp",
    "unzip -l %s >kivo.tmp",
    "unzip %s %s",
    nullptr,
    "move scripts tscripts >kivo.tmp",
    "mkdir scripts >kivo.tmp",
    nullptr,
    "move %s scripts >kivo.tmp",
    "zip -r kivo.pk3 scripts >kivo.tmp",
    "del %s",
    "del %s >kivo.tmp",
    "del kivo.pk3",
    {"rmdir scripts", nullptr},
    "rmdir scripts >kivo.tmp",
    "move tscripts scripts >kivo.tmp",
    '\\',
    ".\\",
};
#else
constexpr CommandSet kCommands = {
    "ls -p >kivo.tmp",
    "unzip -l %s >kivo.tmp 2>/dev/null",
    "unzip %s %s",
    "chmod +rw scripts/*",
    "mv scripts tscripts 2>/dev/null",
    "mkdir scripts",
    "chmod 777 %s",
    "mv %s scripts",
    "zip -r kivo.pk3 scripts >kivo.tmp >/dev/null",
    "rm %s",
    nullptr,
    "rm kivo.pk3 >/dev/null",
    {"rmdir scripts", "rm -R scripts 2>/dev/null"},
    "rm -R scripts",
    "mv tscripts scripts 2>/dev/null",
    '/',
    "./",
};
#endif

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

// Formats `pattern` with one argument into a fixed line and runs it.
void run_pattern(const char* pattern, const char* argument) {
  char line[kCommandBytes];
  int n = std::snprintf(line, sizeof line, pattern, argument);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof line) return;
  run_command(line);
}

// Runs a pattern whose one "%s" is prefix+name+suffix; 0 when refused.
int run_with_name(const char* pattern, std::string_view prefix,
                  std::string_view name, std::string_view suffix) {
  if (pattern == nullptr) return 1;
  char argument[kCommandBytes];
  if (!shell_argument(prefix, name, suffix, argument, sizeof argument))
    return 0;
  run_pattern(pattern, argument);
  return 1;
}

std::string_view scripts_prefix() {
  return kCommands.separator == '/' ? "scripts/" : "scripts\\";
}

}  // namespace

int sy_exists(const char* path) {
  std::error_code ec;
  auto st = std::filesystem::symlink_status(path, ec);
  return !ec && st.type() != std::filesystem::file_type::not_found;
}

CommandRunner set_command_runner(CommandRunner runner) {
  CommandRunner previous = g_runner;
  g_runner = runner != nullptr ? runner : system_runner;
  return previous;
}

void run_command(const char* line) {
  std::fflush(stdout);
  std::fflush(stderr);
  // The shell writes through a link, so a kivo.tmp that is one would carry
  // a listing out of the folder; the list file is the program's own.
  std::error_code ec;
  if (std::strstr(line, kListFile) != nullptr &&
      std::filesystem::is_symlink(
          std::filesystem::symlink_status(kListFile, ec)))
    std::filesystem::remove(kListFile, ec);
  trace("  system: '%s'\n", line);
  g_runner(line);
}

int is_plain_name(std::string_view name) {
  if (name.empty() || name.front() == '-') return 0;
  for (char c : name)
    if (!plain_char(c)) return 0;
  return 1;
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

void sy_cmd_list_folder() { run_command(kCommands.list_folder); }

int sy_cmd_list_archive(std::string_view archive) {
  return run_with_name(kCommands.list_archive, "", archive, "");
}

int sy_cmd_extract(std::string_view archive, std::string_view member) {
  char a[kCommandBytes];
  char m[kCommandBytes];
  // A member name always uses "/", as archives store it.
  if (!shell_argument("", archive, "", a, sizeof a) ||
      !shell_argument("scripts/", member, "", m, sizeof m))
    return 0;
  char line[kCommandBytes];
  int n = std::snprintf(line, sizeof line, kCommands.extract, a, m);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof line) return 0;
  run_command(line);
  return 1;
}

void sy_cmd_open_up_scripts() {
  if (kCommands.open_up_scripts != nullptr)
    run_command(kCommands.open_up_scripts);
}

int sy_cmd_open_up_file(std::string_view member) {
  return run_with_name(kCommands.open_up_file, scripts_prefix(), member, "");
}

void sy_cmd_make_scripts() { run_command(kCommands.make_scripts); }

int sy_cmd_move_bot_in(std::string_view name) {
  return run_with_name(kCommands.move_bot_in, "", name, ".bot");
}

void sy_cmd_pack() { run_command(kCommands.pack); }

int sy_cmd_delete_extracted(std::string_view member) {
  return run_with_name(kCommands.delete_extracted, scripts_prefix(), member,
                       "");
}

int sy_cmd_delete_written_bot(std::string_view name) {
  return run_with_name(kCommands.delete_written, scripts_prefix(), name,
                       ".bot");
}

void sy_cmd_delete_output() { run_command(kCommands.delete_output); }

void sy_cmd_remove_extract_scripts() {
  for (const char* line : kCommands.remove_extract_scripts)
    if (line != nullptr) run_command(line);
}

void sy_cmd_remove_output_scripts() {
  run_command(kCommands.remove_output_scripts);
}

int sy_cmd_line_ends(std::string_view member) {
  if constexpr (kDosCommands) {
    (void)member;
    return 1;
  } else {
    char path[kCommandBytes];
    char temp[kCommandBytes + 8];
    scripts_path(member, path, sizeof path);
    std::snprintf(temp, sizeof temp, "%s~lf", path);
    std::FILE* in = std::fopen(path, "rb");
    if (in == nullptr) return 0;
    std::FILE* out = std::fopen(temp, "wb");
    if (out == nullptr) {
      std::fclose(in);
      return 0;
    }
    // A CR is held back until the next character shows whether a LF follows.
    bool held_cr = false;
    for (int c = std::fgetc(in); c != EOF; c = std::fgetc(in)) {
      if (held_cr && c != '\n') std::fputc('\r', out);
      held_cr = c == '\r';
      if (!held_cr) std::fputc(c, out);
    }
    if (held_cr) std::fputc('\r', out);
    bool ok = !std::ferror(in) && !std::ferror(out);
    std::fclose(in);
    ok = std::fclose(out) == 0 && ok;
    if (!ok || std::rename(temp, path) != 0) {
      std::remove(temp);
      return 0;
    }
    return 1;
  }
}

int sy_name_passes(std::string_view prefix, std::string_view name) {
  char argument[kCommandBytes];
  return shell_argument(prefix, name, "", argument, sizeof argument);
}

void scripts_path(std::string_view member, char* out, std::size_t size) {
  std::snprintf(out, size, "scripts%c%.*s", kCommands.separator,
                static_cast<int>(member.size()), member.data());
}

int read_list_piece(std::FILE* f, char* buf, int size) {
  if (std::fgets(buf, size, f) == nullptr) return 0;
  std::size_t n = std::strlen(buf);
  if (n > 0) buf[n - 1] = '\0';
  return 1;
}

int sy_borrow_scripts(ScriptsLoan& loan) {
  loan.set_aside = false;
  if (sy_exists("tscripts")) {
    std::printf(
        "error: 'tscripts' is in the way; the 'scripts' folder cannot be "
        "set aside, so this step is skipped\n");
    return 0;
  }
  if (!sy_exists("scripts")) return 1;
  // Opening up the files of a linked folder would change files elsewhere.
  std::error_code ec;
  if (!std::filesystem::is_symlink(
          std::filesystem::symlink_status("scripts", ec)))
    sy_cmd_open_up_scripts();
  run_command(kCommands.set_aside);
  if (sy_exists("scripts") || !sy_exists("tscripts")) {
    std::printf(
        "error: the 'scripts' folder could not be set aside as "
        "'tscripts', so this step is skipped\n");
    return 0;
  }
  loan.set_aside = true;
  return 1;
}

int sy_give_back_scripts(ScriptsLoan& loan) {
  if (!loan.set_aside) return 1;
  if (sy_exists("scripts")) {
    std::printf(
        "error: the program's own 'scripts' folder could not be removed; "
        "your 'scripts' folder waits in 'tscripts'\n");
    return 0;
  }
  run_command(kCommands.give_back);
  if (sy_exists("tscripts") || !sy_exists("scripts")) {
    std::printf(
        "error: 'tscripts' could not be moved back to 'scripts'; your "
        "'scripts' folder waits in 'tscripts'\n");
    return 0;
  }
  loan.set_aside = false;
  return 1;
}
