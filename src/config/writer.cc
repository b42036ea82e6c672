// Writes kivo.cfg anew from State at the end of a run: the flags, every
// roster player in name order, and the AI files by tier. The text goes to a
// temporary file beside kivo.cfg, which replaces it only when every write
// went through and kivo.cfg is still the version that was read, so the
// player's hand edits are never lost to a failed write or to an editor that
// saved while the run worked.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "config/config.h"
#include "guard/guard.h"

namespace {

void write_hyphens(std::FILE* f, int n) {
  for (int i = 0; i < n; ++i) std::fputc('-', f);
  std::fputc('\n', f);
}

// The comment lines of the players block and the empty line after them.
void gd_write_player_notes(std::FILE* f) {
  std::fprintf(
      f,
      "// > you can change: name, funname, aifile, set, and status(st)\n"
      "// > the string 'default' is a placeholder keyword\n"
      "// > funname can contain color symbols (but no embedded spaces)...\n"
      "//     ^0black^1red^2green^3yellow^4blue^5cyan^6magenta^7white\n"
      "// > the aifile must be a valid choice (find '@ ai_tiers' for a list)\n"
      "// > set range is (0,8), 9 is overflow, 63 players per set\n"
      "//     set 0 supports player activation status (I,i,a,A)\n"
      "// > status (st) is 'a' or 'A' for active, 'i' or 'I' for inactive\n"
      "//     (where upper case preempts the 'use' flags) and 'u' for\n"
      "//     a skin referencing an unknown model\n"
      "// > note: entries *must not* contain embedded spaces\n"
      "// > quake3 imposes an add-on player limit around 63\n"
      "\n");
}

void write_players_opening(std::FILE* f, int total, int active) {
  std::fputc('#', f);
  write_hyphens(f, 59);
  std::fprintf(f, "@ ai_players\n");
  std::fprintf(f, "\n");
  gd_write_player_notes(f);
  std::fprintf(f, "%-13s %-13s\n", "total_players", "active_players");
  std::fprintf(f, "%-13d %-13d\n", total, active);
  std::fprintf(f, "\n");
  std::fprintf(f, "%-10s %-12s %-8s %-3s %-2s %-9s %-12s %-17s\n", "name",
               "funname", "aifile", "set", "st", "model", "player", "pk3file");
  std::fprintf(f, "\n");
}

void write_tiers_opening(std::FILE* f) {
  write_hyphens(f, 59);
  std::fprintf(f, "@ ai_tiers\n");
  std::fprintf(f, "\n");
  std::fprintf(f,
               "// tier is a measure of ai skill; loosely follows game tier\n"
               "// where: crash=0, xero=6, 7 and up beats xero,hunter,anarki\n"
               "// valid range = 0...9, 9 = default for unranked user ai\n"
               "// you can change the tier numeric assignments to suit "
               "yourself\n"
               "// aifile tier number only affects the randomizer selection "
               "range\n");
  std::fprintf(f, "\n");
  std::fprintf(f, "%-12s %-4s\n", "aifile", "tier");
  std::fprintf(f, "\n");
}

int lower_status(const Player& p) { return to_lower(p.st); }

Status report_failure(const char* target, int error) {
  Status st;
  st.error(error != 0 ? error : EIO,
           "error: cannot write config file '%s' (%s); it is left as it "
           "was\n",
           target, error != 0 ? std::strerror(error) : "write failed");
  return st;
}

// The whole content of a file, or false when it cannot be read. A link is
// never followed: callers pass the file a link of the player's names.
bool read_whole(RunContext& run, const char* path, std::string& text) {
  std::FILE* f = nullptr;
  if (run.host.open_read(path, false, f) != 0) return false;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
    text.append(buf, n);
  bool ok = std::ferror(f) == 0;
  std::fclose(f);
  return ok;
}

// How many older backups are kept beside the newest: "<backup>.1" to ".5".
constexpr int kOlderBackups = 5;

// True when `text` begins with the flags block as gd_write_flags writes it,
// whatever the values: a file that kivorama wrote and kept as a backup.
bool begins_with_our_flags(std::string_view text) {
  auto line = [&](std::string_view& out) {
    std::size_t end = text.find('\n');
    if (end == std::string_view::npos) return false;
    out = text.substr(0, end);
    text.remove_prefix(end + 1);
    return true;
  };
  std::string_view l;
  if (!line(l) || l != std::string(68, '-') || !line(l) || l != "$ flags" ||
      !line(l) ||
      l != "// these globally affect 'st' and 'aifile' fields of '@ "
           "ai_players'" ||
      !line(l) || !l.empty())
    return false;
  for (const ConfigFlag& flag : kConfigFlags) {
    char name[32];
    std::snprintf(name, sizeof name, "%-13s ", flag.name);
    std::string tail = std::string("   // ") + flag.comment;
    if (!line(l) || !l.starts_with(name) || !l.ends_with(tail)) return false;
    std::string_view value = l.substr(std::strlen(name));
    value.remove_suffix(tail.size());
    if (value.starts_with('-')) value.remove_prefix(1);
    if (value.empty()) return false;
    for (char c : value)
      if (!is_digit(c)) return false;
  }
  return line(l) && l.empty() && line(l) && l == "$ end";
}

// True when `path` is provably a backup kivorama made: a plain file with no
// other name, whose text kivorama wrote. `id` gets its identity.
bool is_our_backup(RunContext& run, const char* path, Identity& id) {
  std::string text;
  return run.host.identify(path, false, id) == 0 && id.type == Entry::kFile &&
         id.links == 1 && read_whole(run, path, text) &&
         begins_with_our_flags(text);
}

// An older backup that holds other text than the file about to be backed
// up moves to the first free "<backup>.<n>", n from 1 to kOlderBackups;
// when none is free, the oldest of those that are provably kivorama's own
// backups is removed to make room. EEXIST with a "warn: " line when none
// is; another failure with an "error: " line. `moved` gets the new name, or
// stays empty when nothing had to move; `removed` the backup removed.
Status keep_older_backup(RunContext& run, const char* target,
                         const char* backup, std::string& moved,
                         std::string& removed) {
  Status st;
  Identity old;
  int error = run.host.identify(backup, false, old);
  if (error == ENOENT) return st;
  if (error == 0 && old.type == Entry::kFile) {
    std::string a, b;
    if (read_whole(run, backup, a) && read_whole(run, target, b) && a == b)
      return st;
  }
  std::string free, oldest;
  Identity oldest_id;
  for (int n = 1; n <= kOlderBackups && free.empty(); ++n) {
    std::string name = std::string(backup) + "." + std::to_string(n);
    Entry e = Entry::kNone;
    st = look_at(run, name.c_str(), e);
    if (!st.ok()) return st;
    Identity id;
    if (e == Entry::kNone)
      free = name;
    else if (is_our_backup(run, name.c_str(), id) &&
             (oldest.empty() || id.changed < oldest_id.changed))
      oldest = name, oldest_id = id;
  }
  if (free.empty() && oldest.empty()) {
    st.note(
        "warn: '%s' is left as it was, so that nothing of it is lost: "
        "'%s' and '%s.1' to '%s.%d' hold older copies, and none of those "
        "numbered can be proven to be one that kivorama made; move or remove "
        "those you no longer need and run again\n",
        target, backup, backup, backup, kOlderBackups);
    st.fail(EEXIST);
    return st;
  }
  if (free.empty()) {
    // Removed only while it is still the very file proven ours.
    error = is_object(run, oldest.c_str(), oldest_id)
                ? run.host.remove(oldest.c_str())
                : EIO;
    if (error != 0) {
      st.error(error,
               "error: cannot keep the older '%s' under another name; '%s' is "
               "left as it was\n",
               backup, target);
      return st;
    }
    removed = free = oldest;
  }
  error = run.host.rename(backup, free.c_str());
  if (error != 0) {
    st.error(
        error,
        "error: cannot keep the older '%s' under another name; '%s' is left "
        "as it was\n",
        backup, target);
    return st;
  }
  moved = free;
  return st;
}

// Keeps a copy of the old file `file` (kivo.cfg, `target`, or the file its
// link names) as `backup` before it is replaced, when the new text would
// lose something of it: parts the reader could not use, or rows of players
// this run does not have. The old file itself stays in place until the new
// one replaces it in one rename; an older backup with other rows is kept
// under a name of its own. A failure when the old file must stay as it is.
Status keep_backup(const State& s, const char* target, const char* file,
                   const char* backup) {
  RunContext& run = *s.run;
  if (s.cfg_unread == 0 && s.cfg_lost == 0) return {};
  std::string moved, removed;
  Status st = keep_older_backup(run, file, backup, moved, removed);
  if (!st.ok()) return st;
  int error = run.host.copy_file(file, backup);
  if (error != 0) {
    st.error(error,
             "error: cannot keep the old '%s' as '%s' (%s); it is left as it "
             "was\n",
             target, backup, std::strerror(error));
    return st;
  }
  if (s.cfg_lost > 0 && s.cfg_unread > 0)
    st.note(
        "note: '%s' held lines this run could not use, and %d rows of "
        "players this run does not have; the old file is kept as '%s'\n",
        target, s.cfg_lost, backup);
  else if (s.cfg_lost > 0)
    st.note(
        "note: %d rows of '%s' name players this run does not have (an "
        "archive removed, unreadable, or past the roster's capacity); the old "
        "file is kept as '%s'\n",
        s.cfg_lost, target, backup);
  else
    st.note(
        "note: '%s' held lines this run could not use; the old file is kept "
        "as '%s'\n",
        target, backup);
  if (!removed.empty())
    st.note(
        "note: '%s', the oldest of the older backups, was removed to make "
        "room (at most %d are kept)\n",
        removed.c_str(), kOlderBackups);
  if (!moved.empty())
    st.note("note: the older '%s' is kept as '%s'\n", backup, moved.c_str());
  return st;
}

// The flags block.
void gd_write_flags(State& s, std::FILE* f) {
  write_hyphens(f, 68);
  std::fprintf(f, "$ flags\n");
  std::fprintf(
      f,
      "// these globally affect 'st' and 'aifile' fields of '@ ai_players'\n");
  std::fprintf(f, "\n");
  for (const ConfigFlag& flag : kConfigFlags)
    std::fprintf(f, "%-13s %d   // %s\n", flag.name, s.*flag.field,
                 flag.comment);
  std::fprintf(f, "\n$ end\n\n\n");
}

// total != 0: opening lines with the counts, then p's row; total 0 and
// active 0: p's row alone; total 0 and active != 0: closing lines (p unused).
void gd_write_player_row(const Player* p, std::FILE* f, int total, int active) {
  if (total == 0 && active != 0) {
    std::fprintf(f, "\n@ end\n\n");
    return;
  }
  if (total != 0) write_players_opening(f, total, active);
  if (p == nullptr) return;
  std::fprintf(f, "%-10s %-13s %-9s %d %c %-9s %-12s %-17s\n", p->name.c_str(),
               p->funname.c_str(), p->aifile.c_str(), p->set, p->st,
               p->model.c_str(), p->player.c_str(), p->pk3file.c_str());
}

// The players block: every roster player once, in byte order of name.
void gd_show_players(State& s, std::FILE* f) {
  trace("gd_show_players()\n");
  int active = 0;
  for (int i = 0; i < s.roster_count; ++i) {
    s.written_marks[i] = 0;
    const Player* p = s.roster[i].get();
    if (p == nullptr) {
      s.written_marks[i] = 1;  // an empty slot has nothing to write
      continue;
    }
    if (lower_status(*p) == 'x' ||
        (p->set == s.use_set && lower_status(*p) == 'a'))
      ++active;
  }
  // Selection by name: each pass writes the lowest unwritten name; among
  // equal names the later roster row wins, so it comes out first.
  bool first = true;
  for (;;) {
    int best = -1;
    for (int i = 0; i < s.roster_count; ++i) {
      if (s.written_marks[i] != 0) continue;
      if (best < 0 || std::strcmp(s.roster[i]->name.c_str(),
                                  s.roster[best]->name.c_str()) <= 0)
        best = i;
    }
    if (best < 0) break;
    s.written_marks[best] = 1;
    gd_write_player_row(s.roster[best].get(), f, first ? s.roster_count : 0,
                        first ? active : 0);
    first = false;
  }
  // Without a single row the opening lines still go out, so the next run
  // finds the block.
  if (first) write_players_opening(f, 0, 0);
  gd_write_player_row(nullptr, f, 0, 1);
}

// closing: the closing lines only; otherwise the opening lines when `first`
// is set, then the row of AI file `row`.
void gd_write_tier_row(State& s, int row, std::FILE* f, int first,
                       int closing) {
  if (closing != 0) {
    std::fprintf(f, "\n@ end\n\n");
    return;
  }
  if (first != 0) write_tiers_opening(f);
  std::fprintf(f, "%-12s %-2d\n", s.aifile_names[row].c_str(),
               s.aifile_tiers[row]);
}

// The tiers block: tiers 0 to 8 in tier order, an empty line, then tier 9.
void gd_write_tiers(State& s, std::FILE* f) {
  bool first = true;
  for (int tier = kLowestTier; tier < kUnranked; ++tier) {
    for (int r = 0; r < s.aifile_count; ++r) {
      if (s.aifile_tiers[r] != tier) continue;
      gd_write_tier_row(s, r, f, first ? 1 : 0, 0);
      first = false;
    }
  }
  // The opening lines go out even when no AI file has a tier 0 to 8, or the
  // next run would not find the block.
  if (first) write_tiers_opening(f);
  std::fprintf(f, "\n");
  for (int r = 0; r < s.aifile_count; ++r)
    if (s.aifile_tiers[r] == kUnranked) gd_write_tier_row(s, r, f, 0, 0);
  gd_write_tier_row(s, 0, f, 0, 1);
}

// Writes the whole file text (flags, players, tiers) to `f`.
void gd_write_config(State& s, std::FILE* f) {
  gd_write_flags(s, f);
  gd_show_players(s, f);
  gd_write_tiers(s, f);
}

}  // namespace

int gd_save_config(State& s) {
  RunContext& run = *s.run;
  const char* target = kConfigFile;
  Replacement r;
  if (!say_status(run, replace_begin(run, target, r))) return 0;
  // A read-only file is the player's way of keeping it as it is.
  Entry old = Entry::kNone;
  if (!sy_entry(run, r.target.c_str(), old)) {
    say_status(run, replace_abort(run, r));
    return 0;
  }
  bool frozen = false;
  int error =
      old == Entry::kFile ? run.host.read_only(r.target.c_str(), frozen) : 0;
  if (error != 0 || frozen) {
    say_status(run, replace_abort(run, r));
    if (error == 0)
      say_error(run,
                "error: config file '%s' is read-only; it is left as it was\n",
                target);
    else
      say_status(run, report_failure(target, error));
    return 0;
  }
  gd_write_config(s, r.file);
  // A full disk often shows only when the buffer is flushed or closed; the
  // text is on the disk before it may replace the old file.
  error = replace_close(run, r);
  if (error != 0) {
    say_status(run, replace_abort(run, r));
    say_status(run, report_failure(target, error));
    return 0;
  }
  // A kivo.cfg that could not be told apart when it was read cannot be
  // told unchanged now.
  bool still = false;
  error = s.cfg_seen_error != 0 ? s.cfg_seen_error
                                : replace_still(run, r, s.cfg_seen, still);
  if (error != 0 || !still) {
    say_status(run, replace_abort(run, r));
    if (error != 0) {
      say_status(run, report_failure(target, error));
      return 0;
    }
    say_error(
        run,
        "error: '%s' was changed while this run worked; your version is kept "
        "and this run's is not written: run kivorama again\n",
        target);
    return 0;
  }
  char backup[FILENAME_MAX];
  std::snprintf(backup, sizeof backup, "%s%s", target, kConfigBackupSuffix);
  // No room for a backup that can be proven ours: the old file stays, with
  // all it holds, rather than lose what only it has.
  if (old == Entry::kFile &&
      !say_status(run, keep_backup(s, target, r.target.c_str(), backup))) {
    say_status(run, replace_abort(run, r));
    return 0;
  }
  Status committed = replace_commit(run, r);
  say_status(run, committed);
  if (!r.done) {
    say_status(run, replace_abort(run, r));
    say_status(run, report_failure(target, committed.code()));
    return 0;
  }
  run.status.cfg_written = 1;
  std::printf("wrote '%s'\n", target);
  return 1;
}
