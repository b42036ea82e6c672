// The bot files of the active set and their archive kivo.pk3. They are
// written and packed in the program's own work folder, never among the
// player's files, and the new archive replaces the old in one rename. Every
// step on folders and archives is a host command; what the commands
// achieved is checked on the file system afterwards, so that a missing tool
// is reported instead of being taken for success.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "archive/archive.h"
#include "core/names.h"
#include "guard/guard.h"
#include "output/output.h"

namespace {

bool written(const Player& p, int use_set) {
  return p.set == use_set && (p.st == 'a' || p.st == 'A');
}

// A name becomes "<name>.bot" in the current folder and nowhere else.
bool plain_file_name(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find_first_of("/\\") == std::string_view::npos;
}

// The end of a line saying that no new archive was made: what the game
// folder holds instead, in the words `old` when it has an old archive.
const char* instead(bool had_old, const char* old) {
  return had_old ? old : "there is no 'kivo.pk3' yet";
}

// Writes `text` as <name>.bot in the work folder; an errno value (with the
// file removed again) when it cannot be written whole.
int write_bot_file(RunContext& run, const std::string& text, const char* file) {
  std::FILE* f = nullptr;
  if (int error = run.host.create(file, f); error != 0) return error;
  std::fputs(text.c_str(), f);
  int error = run.host.close(f, false);
  if (error != 0) run.host.remove(file);
  return error;
}

// A failure (with a "warn: " line) when the player's bot file cannot go
// into the folder under its own name.
Status name_usable(const Player& p) {
  Status st;
  std::string_view name = p.name.view();
  if (!plain_file_name(name)) {
    st.note(
        "warn: player '%s' skipped: its name cannot be a file name in this "
        "folder\n",
        p.name.c_str());
    st.fail(EINVAL);
    return st;
  }
  // The same rule the move applies: a refused name never reaches the disk.
  char argument[kCommandBytes];
  if (!shell_argument("", name, ".bot", argument, sizeof argument)) {
    st = warn_unsafe_name("player", name);
    st.fail(EINVAL);
  }
  return st;
}

// Writes and moves in the bot file of one player, with the text recorded
// for it; `added` stays false when it is skipped.
Status add_bot(RunContext& run, const Player& p, const std::string& text,
               bool had_old, bool& added) {
  added = false;
  Status st;
  char file[kNameBytes + 4];
  std::snprintf(file, sizeof file, "%s.bot", p.name.c_str());
  int error = write_bot_file(run, text, file);
  if (error == EEXIST) {
    st.error(error, "error: cannot write '%s'; player '%s' skipped\n", file,
             p.name.c_str());
    return st;
  }
  if (error != 0) {
    // Not the player's file in the way but the disk: an archive without
    // this bot would not be the complete new one.
    st.fatal(error, "error: cannot write '%s' (%s); %s\n", file,
             std::strerror(error),
             instead(had_old, "the old 'kivo.pk3' is left as it was"));
    return st;
  }
  CommandStatus moved = sy_cmd_move_bot_in(run, p.name.view(), &st);
  // What cannot be looked at counts as there: the move is not trusted.
  Entry left = Entry::kNone;
  Status look;
  if (moved.ok()) look = look_at(run, file, left);
  st.add(look);
  if (!moved.ok() || !look.ok() || left != Entry::kNone) {
    // The file does not stay behind to be packed another time.
    run.host.remove(file);
    if (!stopping(run, st))
      st.fatal(EIO, "error: cannot move '%s' into 'scripts' (status %d); %s\n",
               file, moved.code,
               instead(had_old, "the old 'kivo.pk3' is left as it was"));
    st.stop(EIO);
    return st;
  }
  added = true;
  return st;
}

// Why zip did not give a new archive, for the message that says so.
const char* pack_failure(const CommandStatus& status) {
  if (sy_tool_missing(status)) return "the 'zip' program was not found";
  if (status.code == 14) return "the disk is full or cannot be written";
  return "zip failed";
}

// zip leaves its temporary file's private mode on the new archive; it gets
// the old file's (`old`: kivo.pk3, or the file its link names), or that of
// any new file when there was none. A failure that stops the run when that
// fails.
Status give_archive_its_mode(RunContext& run, const char* made,
                             const char* old) {
  Entry there = Entry::kNone;
  Status st = look_at(run, old, there);
  if (!st.ok()) return st;
  int error = there == Entry::kFile ? run.host.copy_mode(old, made)
                                    : run.host.fresh_mode(made);
  if (error != 0)
    st.fatal(error, "error: cannot give the new 'kivo.pk3' its mode (%s); %s\n",
             std::strerror(error),
             instead(there != Entry::kNone, "the old one is left as it was"));
  return st;
}

// Decides, before anything is packed, what the new archive replaces:
// kivo.pk3 itself, or the file it names when it is a link of the runner's
// own (which stays a link). A failure (with an "error: " line) when
// kivo.pk3 is to be left as it is: another user's link, or read-only, as
// the player's way of keeping it. `had_old`: something is there to be
// replaced.
Status choose_archive_target(RunContext& run, Replacement& r, bool& had_old) {
  r = Replacement{};
  Entry there = Entry::kNone;
  Status st = look_at(run, kArchiveFile, there);
  if (!st.ok()) return st;
  if (there == Entry::kLink) {
    Status prepared = replace_prepare(run, kArchiveFile, r);
    st.add(prepared);
    if (!prepared.ok()) return st;
  } else {
    r.target = kArchiveFile;
  }
  Entry old = there;
  if (there == Entry::kLink) st = look_at(run, r.target.c_str(), old);
  if (!st.ok()) return st;
  had_old = old != Entry::kNone;
  bool frozen = false;
  int error =
      old == Entry::kFile ? run.host.read_only(r.target.c_str(), frozen) : 0;
  if (error != 0)
    st.error(
        error,
        "error: the new '%s' cannot take the place of the old one (%s); the "
        "old one is left as it was\n",
        kArchiveFile, std::strerror(error));
  else if (frozen)
    st.error(EROFS, "error: archive '%s' is read-only; it is left as it was\n",
             kArchiveFile);
  return st;
}

// In the work folder: the bot files of `rows` moved into a scripts folder
// of their own and packed into kivo.pk3 there, with the same commands as in
// the game folder. The player's files are never in this folder, so nothing
// here can touch them. A failure when the archive was not packed whole.
Status pack_in_work_folder(const State& s, const int* rows, int count,
                           bool had_old) {
  RunContext& run = *s.run;
  Status st;
  CommandStatus made = sy_cmd_make_scripts(run, &st);
  Entry scripts = Entry::kNone;
  if (!stopping(run, st)) {
    Status look = look_at(run, kScripts, scripts);
    st.add(look);
    if (look.ok() && scripts != Entry::kFolder) {
      st.error(EIO,
               "error: the folder 'scripts' could not be made (status %d), so "
               "'kivo.pk3' was not written\n",
               made.code);
      return st;
    }
  }
  // What the work folder is given is recorded before it is made, so that
  // a run stopped meanwhile leaves the proof of each file by its text.
  if (!stopping(run, st)) {
    Status made = work_record_made(run, kScripts);
    st.add(made);
    if (!made.ok()) return st;
  }
  std::vector<std::pair<std::string, std::string>> texts;
  for (int i = 0; i < count; ++i) {
    const Player& p = *s.roster[rows[i]];
    texts.emplace_back(std::string(p.name.view()) + ".bot", bot_def_text(p));
  }
  if (!stopping(run, st)) {
    Status recorded = work_record_texts(run, texts);
    st.add(recorded);
    if (!recorded.ok()) return st;
  }
  int added = 0;
  int written[kTableRows];
  for (int i = 0; i < count && !stopping(run, st); ++i) {
    bool in = false;
    st.add(add_bot(run, *s.roster[rows[i]], texts[i].second, had_old, in));
    if (in) written[added++] = rows[i];
  }
  bool packed = false;
  if (!stopping(run, st)) {
    CommandStatus pack = sy_cmd_pack(run, &st);
    Entry there = Entry::kNone;
    if (pack.ok()) st.add(look_at(run, kArchiveFile, there));
    if (pack.ok() && there == Entry::kFile) {
      Status made = work_record_made(run, kArchiveFile);
      st.add(made);
      packed = made.ok();
    }
    if (!packed && !stopping(run, st))
      st.error(EIO, "error: 'kivo.pk3' was not created: %s (status %d); %s\n",
               pack_failure(pack), pack.code,
               instead(had_old, "the old one is left as it was"));
  }
  for (int i = 0; i < added; ++i)
    sy_cmd_delete_written_bot(run, s.roster[written[i]]->name.view(), &st);
  sy_cmd_remove_output_scripts(run, &st);
  if (!packed || stopping(run, st)) st.fail(EIO);
  return st;
}

}  // namespace

std::string bot_def_text(const Player& p) {
  std::string t = "{\nname\t\t" + std::string(p.name.view()) + "\n";
  // An empty fun name would swallow the next key when the game reads it.
  if (!(p.funname == "default") && !p.funname.empty())
    t += "funname " + std::string(p.funname.view()) + "\n";
  t += "model\t\t" + std::string(p.model.view());
  if (!(p.player == "default")) t += "/" + std::string(p.player.view());
  t += "\naifile  bots/" + std::string(p.aifile.view()) + "_c.c\n}\n\n";
  return t;
}

void gd_write_bot_def(const Player& p, std::FILE* f) {
  std::fputs(bot_def_text(p).c_str(), f);
}

int gd_choose_bots(const State& s, int* rows) {
  int count = 0;
  for (int i = 0; i < s.roster_count; ++i) {
    const Player* p = s.roster[i].get();
    if (p != nullptr && written(*p, s.use_set) &&
        say_status(*s.run, name_usable(*p)))
      rows[count++] = i;
  }
  return count;
}

void gd_write_descrete_players(State& s) {
  RunContext& run = *s.run;
  // Without the archives' own bot files the set would be a wrong one: bots
  // they define would come twice, under other names.
  if (run.status.bot_files_unread) {
    say_error(run,
              "error: the bot files of the archives could not be read, so "
              "'kivo.pk3' is left as it was\n");
    return;
  }
  int rows[kTableRows];
  const int count = gd_choose_bots(s, rows);
  // Else an empty kivo.pk3 comes without a word (-s of a set never used).
  if (count == 0)
    std::printf(
        "note: set %d, the active set, has no bots to write into 'kivo.pk3'\n",
        s.use_set);
  Replacement r;
  bool had_old = false;
  if (!say_status(run, choose_archive_target(run, r, had_old))) return;
  // The new archive is made in a folder of the program's own and replaces
  // the old one in one rename: the game sees the old kivo.pk3 or the new
  // one, whole, at every instant.
  if (!say_status(run, work_begin(run))) return;
  std::fflush(stdout);  // the console shows both streams in order
  std::fprintf(stderr, "please wait while 'kivo.pk3' is being created...\n");
  bool packed = false;
  if (say_status(run, work_enter(run))) {
    packed = say_status(run, pack_in_work_folder(s, rows, count, had_old));
    if (!say_status(run, work_leave(run))) packed = false;
  }
  // Away from the game folder no path names what it should: the journal
  // tells the next run what to remove.
  if (run.guard.away) return;
  packed = packed && say_status(run, give_archive_its_mode(
                                         run, work_path(kArchiveFile).c_str(),
                                         r.target.c_str()));
  if (packed) {
    Status st = work_commit(run, kArchiveFile, r);
    say_status(run, st);
    if (!r.done) {
      say_error(
          run,
          "error: the new 'kivo.pk3' cannot take the place of the old one "
          "(%s); the old one is left as it was\n",
          std::strerror(st.code()));
      packed = false;
    }
  }
  if (!say_status(run, work_end(run)))
    say_error(
        run,
        "error: the folder '%s' could not be removed; the next run will try "
        "again\n",
        kWorkFolder);
  if (!packed) return;
  run.status.pk3_written = 1;
  std::fflush(stdout);
  std::fprintf(stderr, "wrote 'kivo.pk3'\n");
}
