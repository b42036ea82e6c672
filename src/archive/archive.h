// archive.h: everything the program learns through the host's shell.
// The command layer builds every command line of the command set the build
// chose, runs it through one replaceable runner (std::system by default) and
// reads what listings print back from the list file kivo.tmp. On top of it:
// the archive list (sy_get_pk3_list), the content scan of every archive
// (gd_get_models_players_aifiles) and the reading of the bot files that
// archives carry (gd_parse_aifile), which fill the archive list, the model
// and AI file tables, the roster and the bot definition table of State.
#ifndef KIVO_ARCHIVE_ARCHIVE_H
#define KIVO_ARCHIVE_ARCHIVE_H

#include <cstddef>
#include <cstdio>
#include <string_view>

#include "core/core.h"
#include "core/names.h"

// ---- Host command layer ----

// Hands `line` to the host and waits for it; `out` says how it ended. A
// line that writes the list file first has the old one removed, so that
// what is read back is this command's; when that cannot be done the command
// is not run, and the Status says so and stops the run.
Status run_command(RunContext& run, const char* line, CommandStatus& out);

// Room for one command line: every pattern with three quoted 48-character
// names fits.
inline constexpr std::size_t kCommandBytes = 1024;

// Writes prefix+name+suffix as one literal shell argument into out: as it
// stands when the name is plain (not empty, only letters, digits and "._+-";
// without a prefix, a leading '-' gets "./" or ".\" put before it),
// otherwise quoted for the command set. 0 when that cannot be done safely
// (DOS/Windows: a name holding '"' or '%', or a control character) or it
// does not fit.
int shell_argument(std::string_view prefix, std::string_view name,
                   std::string_view suffix, char* out, std::size_t size);
// The note "warn: <what> '<name>' skipped: its name cannot be passed safely
// to the shell".
Status warn_unsafe_name(const char* what, std::string_view name);

// The command families. Each builds its line for the build's command set,
// runs it and says how it ended; a line that takes a name is not run (code
// kCommandNotRun) when the name cannot be passed safely. What there is to
// say of it (run_command) goes to `pending` when the caller gathers its
// lines; without, it is said.
inline constexpr int kCommandNotRun = -1;
CommandStatus sy_cmd_list_folder(RunContext& run,
                                 Status* pending = nullptr);  // into kivo.tmp
const char* sy_list_folder_line();  // ... and its command line
CommandStatus sy_cmd_list_archive(RunContext& run, std::string_view archive,
                                  Status* pending = nullptr);  // unzip -l
CommandStatus sy_cmd_extract(RunContext& run, std::string_view archive,
                             std::string_view member,
                             Status* pending = nullptr);
CommandStatus sy_cmd_open_up_file(RunContext& run, std::string_view member,
                                  Status* pending = nullptr);  // chmod 777
CommandStatus sy_cmd_make_scripts(RunContext& run, Status* pending = nullptr);
CommandStatus sy_cmd_move_bot_in(RunContext& run, std::string_view name,
                                 Status* pending = nullptr);  // <name>.bot in
CommandStatus sy_cmd_pack(RunContext& run,
                          Status* pending = nullptr);  // zip -r kivo.pk3
CommandStatus sy_cmd_delete_extracted(RunContext& run, std::string_view member,
                                      Status* pending = nullptr);
CommandStatus sy_cmd_delete_written_bot(RunContext& run, std::string_view name,
                                        Status* pending = nullptr);  // DOS
CommandStatus sy_cmd_remove_output_scripts(
    RunContext& run, Status* pending = nullptr);  // after packing
// The loan's moves of the player's scripts to tscripts and back.
CommandStatus sy_cmd_set_aside(RunContext& run, Status* pending = nullptr);
CommandStatus sy_cmd_give_back(RunContext& run, Status* pending = nullptr);
// 1 when the shell could not find the command's program.
int sy_tool_missing(const CommandStatus& status);
// 1 when prefix+name can be put into a command line of this build's set.
int sy_name_passes(std::string_view prefix, std::string_view name);
// 1 when anything is at `path` in the current folder, a link included
// (whatever it points to).
int sy_exists(RunContext& run, const char* path);
// Path of a file inside scripts: "scripts\<member>" or "scripts/<member>".
// 0, or ENAMETOOLONG when it does not fit.
int scripts_path(std::string_view member, char* out, std::size_t size);

// Reads one whole line of a list file: its first size - 1 characters go to
// buf, without the line's last character (taken to be the newline), and its
// whole length, less that character, to *length. Returns 0 at the end.
int read_list_line(std::FILE* f, char* buf, int size, std::size_t* length);
// Reads the next piece of a list file into buf (at most size - 1 characters,
// as fgets does) and removes its last character, whatever it is: it is taken
// to be the newline. Returns 0 at the end of the file.
int read_list_piece(std::FILE* f, char* buf, int size);

// ---- Archive list ----

// Lists the current folder's add-on archives into `list` (`capacity` name
// fields of which the first empty one ends the list). Returns 1, or 0 when
// kivo.tmp cannot be opened.
int sy_get_pk3_list(RunContext& run, name_field* list, int name_length,
                    int capacity);

// ---- Archive content scan ----

// Lists every archive of pk3_list and learns its models, skins (one player
// each), AI files and bot files. 1 when all were read, 0 when kivo.tmp could
// not be opened for one of them.
int gd_get_models_players_aifiles(State& s);
// Classifies a file name of a model folder: 'm' a model file, 's' a skin
// file (its skin name goes to `skin`), 'u' anything else or a null name.
char parse_player_name(const char* file, name_field& skin);

// ---- Bot files inside archives ----

// Extracts scripts/<bot_file> from `archive` and reads its bot definitions
// into the bot definition table.
void gd_parse_aifile(State& s, std::string_view archive,
                     std::string_view bot_file);
// Reads every bot definition of an open bot file into the xai table.
void gd_read_bot_defs(State& s, std::FILE* f);

#endif  // KIVO_ARCHIVE_ARCHIVE_H
