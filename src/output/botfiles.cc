// The bot files of the active set and their archive kivo.pk3. Every step
// on folders and archives is a host command; what the commands achieved is
// checked on the file system afterwards, so that a missing tool or a folder
// in the way is reported instead of being taken for success.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "archive/archive.h"
#include "output/output.h"

namespace {

// The game reads the names of all bot files into one buffer of this size,
// each name with one byte more; the files beyond it are never read.
constexpr int kGameBotNameBytes = 1024;

bool written(const Player& p, int use_set) {
  return p.set == use_set && (p.st == 'a' || p.st == 'A');
}

// A name becomes "<name>.bot" in the current folder and nowhere else.
bool plain_file_name(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("/\\") == std::string_view::npos;
}

bool is_file(const char* path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

bool is_folder(const char* path) {
  std::error_code ec;
  return std::filesystem::is_directory(path, ec);
}

// Writes <name>.bot; false (with the file removed again) when it cannot be
// written whole. A file or link of that name already in the folder is the
// player's: it is neither replaced nor written through.
bool write_bot_file(const Player& p, const char* file) {
  std::FILE* f = std::fopen(file, "wx");
  if (f == nullptr) return false;
  gd_write_bot_def(p, f);
  bool ok = std::ferror(f) == 0;
  ok = std::fclose(f) == 0 && ok;
  if (!ok) std::remove(file);
  return ok;
}

// Writes and moves in the bot file of one player; false when skipped.
bool add_bot(const Player& p) {
  std::string_view name = p.name.view();
  if (!plain_file_name(name)) {
    std::printf(
        "warn: player '%s' skipped: its name cannot be a file name in this "
        "folder\n",
        p.name.c_str());
    return false;
  }
  // The same rule the move applies: a refused name never reaches the disk.
  char argument[kCommandBytes];
  if (!shell_argument("", name, ".bot", argument, sizeof argument)) {
    warn_unsafe_name("player", name);
    return false;
  }
  char file[kNameBytes + 4];
  std::snprintf(file, sizeof file, "%s.bot", p.name.c_str());
  if (!write_bot_file(p, file)) {
    std::printf("error: cannot write '%s'; player '%s' skipped\n", file,
                p.name.c_str());
    return false;
  }
  if (!sy_cmd_move_bot_in(name)) {
    warn_unsafe_name("player", name);
    std::remove(file);
    return false;
  }
  return true;
}

// Counts the bots whose file names no longer fit the game's buffer, in the
// order they were written.
int bots_beyond_buffer(const State& s, const int* rows, int count) {
  int bytes = 0;
  int lost = 0;
  for (int i = 0; i < count; ++i) {
    bytes += static_cast<int>(s.roster[rows[i]]->name.size()) + 5;
    if (bytes > kGameBotNameBytes) ++lost;
  }
  return lost;
}

}  // namespace

void gd_write_bot_def(const Player& p, std::FILE* f) {
  std::fprintf(f, "{\n");
  std::fprintf(f, "name\t\t%s\n", p.name.c_str());
  // An empty fun name would swallow the next key when the game reads it.
  if (!(p.funname == "default") && !p.funname.empty())
    std::fprintf(f, "funname %s\n", p.funname.c_str());
  std::fprintf(f, "model\t\t%s", p.model.c_str());
  if (!(p.player == "default"))
    std::fprintf(f, "/%s\n", p.player.c_str());
  else
    std::fprintf(f, "\n");
  std::fprintf(f, "aifile  bots/%s_c.c\n", p.aifile.c_str());
  std::fprintf(f, "}\n\n");
}

void gd_write_descrete_players(State& s) {
  ScriptsLoan loan;
  // A tscripts in the way refuses the loan of the scripts folder; find that
  // out before the old archive is deleted, so the player keeps it.
  if (sy_exists("tscripts")) {
    sy_borrow_scripts(loan);  // says why
    std::printf("error: 'kivo.pk3' was not written\n");
    return;
  }
  sy_cmd_delete_output();
  // zip adds to an archive that is there, so an old one that stayed would
  // keep the bots of earlier runs.
  if (sy_exists("kivo.pk3")) {
    std::printf(
        "error: the old 'kivo.pk3' could not be deleted, so no new one is "
        "written\n");
    return;
  }
  std::fprintf(stderr, "please wait while 'kivo.pk3' is being created...\n");

  if (!sy_borrow_scripts(loan)) {
    std::printf("error: 'kivo.pk3' was not written\n");
    return;
  }
  sy_cmd_make_scripts();
  if (!is_folder("scripts")) {
    std::printf(
        "error: the folder 'scripts' could not be made, so 'kivo.pk3' was "
        "not written\n");
    sy_give_back_scripts(loan);
    return;
  }

  int rows[kTableRows];
  int count = 0;
  for (int i = 0; i < s.roster_count && i < kTableRows; ++i) {
    const Player* p = s.roster[i].get();
    if (p == nullptr || !written(*p, s.use_set)) continue;
    if (add_bot(*p)) rows[count++] = i;
  }

  sy_cmd_pack();
  bool packed = is_file("kivo.pk3");

  for (int i = 0; i < count; ++i)
    sy_cmd_delete_written_bot(s.roster[rows[i]]->name.view());
  sy_cmd_remove_output_scripts();
  sy_give_back_scripts(loan);

  if (!packed) {
    std::printf(
        "error: 'kivo.pk3' was not created; is the 'zip' program "
        "installed?\n");
    return;
  }
  int lost = bots_beyond_buffer(s, rows, count);
  if (lost > 0) {
    std::printf(
        "warn: the game reads only %d bytes of bot file names; %d of the %d "
        "bots in 'kivo.pk3' will not be found\n",
        kGameBotNameBytes, lost, count);
    std::printf(
        "  use fewer bots: give players status 'I' in 'kivo.cfg', move them "
        "to another set, or leave out groups with -a\n");
  }
  std::fprintf(stderr, "wrote 'kivo.pk3'\n");
}
