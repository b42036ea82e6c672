// The bot files of the active set and their archive kivo.pk3. Every step
// on folders and archives is a host command; what the commands achieved is
// checked on the file system afterwards, so that a missing tool or a folder
// in the way is reported instead of being taken for success.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

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

// Writes <name>.bot; an errno value (with the file removed again) when it
// cannot be written whole. A file or link of that name already in the folder is
// the player's: it is neither replaced nor written through.
int write_bot_file(const Player& p, const char* file) {
  errno = 0;
  std::FILE* f = host().create(file);
  if (f == nullptr) return errno ? errno : EIO;
  gd_write_bot_def(p, f);
  int error = host().close(f, false);
  if (error != 0) host().remove(file);
  return error;
}

// 1 when the player's bot file can go into the folder under its own name.
bool name_usable(const Player& p) {
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
  return true;
}

// Writes and moves in the bot file of one player; false when skipped.
bool add_bot(const Player& p) {
  char file[kNameBytes + 4];
  std::snprintf(file, sizeof file, "%s.bot", p.name.c_str());
  int error = write_bot_file(p, file);
  if (error == EEXIST) {
    say_error("error: cannot write '%s'; player '%s' skipped\n", file,
              p.name.c_str());
    return false;
  }
  if (error != 0) {
    // Not the player's file in the way but the disk: an archive without
    // this bot would not be the complete new one.
    fail_run(
        "error: cannot write '%s' (%s); the old 'kivo.pk3' is left as it "
        "was\n",
        file, std::strerror(error));
    return false;
  }
  CommandStatus moved = sy_cmd_move_bot_in(p.name.view());
  if (!moved.ok() || sy_exists(file)) {
    // The file is ours: it does not stay in the player's folder.
    host().remove(file);
    if (!stopping())
      say_error(
          "error: cannot move '%s' into 'scripts' (status %d); the old "
          "'kivo.pk3' is left as it was\n",
          file, moved.code);
    stop_run();
    return false;
  }
  return true;
}

// Why zip did not give a new archive, for the message that says so.
const char* pack_failure(const CommandStatus& status) {
  if (sy_tool_missing(status)) return "the 'zip' program was not found";
  if (status.code == 14) return "the disk is full or cannot be written";
  return "zip failed";
}

// Sets the old archive aside before the new one is packed; 0 when the step
// cannot be done safely (the run then leaves the old one alone).
int set_old_archive_aside() {
  Entry old = sy_entry("kivo.pk3");
  if (old == Entry::kError) {
    say_error("error: cannot look at 'kivo.pk3'; it is left as it was\n");
    return 0;
  }
  if (old == Entry::kNone) return sy_journal(kJournalPk3Fresh);
  if (old != Entry::kFile && old != Entry::kLink) {
    say_error(
        "error: 'kivo.pk3' is not a file; it is left as it was, and no new "
        "one is written\n");
    return 0;
  }
  if (!sy_journal(kJournalPk3Aside)) return 0;
  int error = host().rename("kivo.pk3", kOldArchive);
  if (error != 0) {
    say_error(
        "error: cannot set the old 'kivo.pk3' aside as '%s' (%s), so no new "
        "one is written\n",
        kOldArchive, std::strerror(error));
    sy_journal(kJournalPk3Done);
    return 0;
  }
  return 1;
}

// Ends the archive step: the new archive stays when it is whole, otherwise
// what zip left goes and the old one returns. A step that fails is left to
// the repair at the end of the run, which the journal still asks for.
void finish_archive(bool packed) {
  bool done = true;
  if (packed) {
    sy_journal(kJournalPk3New);
    if (sy_exists(kOldArchive)) done = host().remove(kOldArchive) == 0;
  } else {
    if (sy_exists("kivo.pk3")) done = host().remove("kivo.pk3") == 0;
    if (done && sy_exists(kOldArchive))
      done = host().rename(kOldArchive, "kivo.pk3") == 0;
  }
  if (sy_exists(kZipTempFolder))
    done = host().remove_tree(kZipTempFolder) == 0 && done;
  if (done) sy_journal(kJournalPk3Done);
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

// zip leaves its temporary file's private mode on the new archive; it gets
// the old one's, or that of any new file. 0 when that fails.
bool give_archive_its_mode() {
  int error = sy_exists(kOldArchive) ? host().copy_mode(kOldArchive, "kivo.pk3")
                                     : host().fresh_mode("kivo.pk3");
  if (error == 0) return true;
  fail_run(
      "error: cannot give the new 'kivo.pk3' its mode (%s); the old one is "
      "left as it was\n",
      std::strerror(error));
  return false;
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
  // out before the old archive is touched, so the player keeps it.
  if (sy_exists("tscripts")) {
    sy_borrow_scripts(loan);  // says why
    say_error("error: 'kivo.pk3' was not written\n");
    return;
  }
  // The old archive waits aside until the new one is whole: zip adds to an
  // archive that is there, and a failed packing must not cost the old one.
  if (!set_old_archive_aside()) return;
  std::fflush(stdout);  // the console shows both streams in order
  std::fprintf(stderr, "please wait while 'kivo.pk3' is being created...\n");

  if (!sy_borrow_scripts(loan)) {
    say_error("error: 'kivo.pk3' was not written\n");
    finish_archive(false);
    return;
  }
  CommandStatus made = sy_cmd_make_scripts();
  // The folder is looked at once: the steps below only fill it.
  const bool have_scripts =
      !stopping() && sy_entry("scripts") == Entry::kFolder;
  if (!stopping() && !have_scripts) {
    say_error(
        "error: the folder 'scripts' could not be made (status %d), so "
        "'kivo.pk3' was not written\n",
        made.code);
  }

  // Every bot file is announced in the journal, in one record each, before
  // any is made; only names with nothing in the folder yet are announced.
  int rows[kTableRows];
  int count = 0;
  std::string announced;
  if (have_scripts) {
    for (int i = 0; i < s.roster_count; ++i) {
      const Player* p = s.roster[i].get();
      if (p == nullptr || !written(*p, s.use_set) || !name_usable(*p)) continue;
      char file[kNameBytes + 4];
      std::snprintf(file, sizeof file, "%s.bot", p->name.c_str());
      if (sy_exists(file)) {
        say_error("error: cannot write '%s'; player '%s' skipped\n", file,
                  p->name.c_str());
        continue;
      }
      announced += kJournalBot;
      announced += p->name.view();
      announced += '\n';
      rows[count++] = i;
    }
    if (!announced.empty() &&
        !sy_journal(announced.substr(0, announced.size() - 1)))
      count = 0;
  }
  int added = 0;
  for (int i = 0; i < count && !stopping(); ++i)
    if (add_bot(*s.roster[rows[i]])) rows[added++] = rows[i];

  bool packed = false;
  if (have_scripts && !stopping() && sy_journal(kJournalZipTemp)) {
    int error =
        sy_exists(kZipTempFolder) ? 0 : host().make_folder(kZipTempFolder);
    if (error != 0) {
      fail_run(
          "error: cannot make the folder '%s' (%s), so 'kivo.pk3' was not "
          "written\n",
          kZipTempFolder, std::strerror(error));
    }
    if (!stopping()) {
      CommandStatus pack = sy_cmd_pack();
      packed = pack.ok() && sy_entry("kivo.pk3") == Entry::kFile;
      if (!packed && !stopping())
        say_error(
            "error: 'kivo.pk3' was not created: %s (status %d); the old one "
            "is left as it was\n",
            pack_failure(pack), pack.code);
      packed = packed && !stopping() && give_archive_its_mode();
    }
  }
  finish_archive(packed);

  for (int i = 0; i < added; ++i)
    sy_cmd_delete_written_bot(s.roster[rows[i]]->name.view());
  sy_cmd_remove_output_scripts();
  sy_give_back_scripts(loan);

  if (!packed) return;
  int lost = bots_beyond_buffer(s, rows, added);
  if (lost > 0) {
    std::printf(
        "warn: the game reads only %d bytes of bot file names; %d of the %d "
        "bots in 'kivo.pk3' will not be found\n",
        kGameBotNameBytes, lost, added);
    std::printf(
        "  use fewer bots: in 'kivo.cfg' mark players 'I' in the active set "
        "or move them to another set; set 9 refills the active set up to "
        "80\n");
  }
  std::fflush(stdout);
  std::fprintf(stderr, "wrote 'kivo.pk3'\n");
}
