// Guarding the folder: one run at a time holds the lock file, and before
// each step that borrows a folder of the player's or creates a file of its
// own it records the step in the lock file's journal. Whatever a run that
// was stopped dead left unfinished, the next run undoes from that journal
// before it does anything else: it never guesses which files are whose.
#include <cerrno>
#include <cstring>
#include <string>

#include "core/core.h"

namespace {

constexpr char kScripts[] = "scripts";
constexpr char kSetAside[] = "tscripts";
constexpr char kArchive[] = "kivo.pk3";
constexpr char kConfig[] = "kivo.cfg";
constexpr char kConfigTemp[] = "kivo.cfg.tmp";

// What the journal says was begun and not finished.
struct Pending {
  bool loan = false;   // a loan of the scripts folder
  bool aside = false;  // ... for which the player's folder was set aside
  bool own = false;    // ... and a scripts folder of ours was made
  bool pk3_aside = false, pk3_fresh = false, pk3_new = false;
  bool zip_temp = false;
  bool cfg_temp = false, cfg_ready = false;
};

std::string_view next_line(std::string_view& text) {
  std::size_t end = text.find('\n');
  std::string_view line = text.substr(0, end);
  text =
      end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
  return line;
}

Pending read_journal(std::string_view text) {
  Pending p;
  while (!text.empty()) {
    std::string_view line = next_line(text);
    if (line == kJournalAside) {
      p.loan = p.aside = true;
    } else if (line == kJournalOwn) {
      p.loan = p.own = true;
    } else if (line == kJournalBack) {
      p.loan = p.aside = p.own = false;
    } else if (line == kJournalPk3Aside) {
      p.pk3_aside = true;
    } else if (line == kJournalPk3Fresh) {
      p.pk3_fresh = true;
    } else if (line == kJournalZipTemp) {
      p.zip_temp = true;
    } else if (line == kJournalPk3New) {
      p.pk3_new = true;
    } else if (line == kJournalPk3Done) {
      p.pk3_aside = p.pk3_fresh = p.pk3_new = p.zip_temp = false;
    } else if (line == kJournalCfgTemp) {
      p.cfg_temp = true;
    } else if (line == kJournalCfgReady) {
      p.cfg_ready = true;
    } else if (line == kJournalCfgDone) {
      p.cfg_temp = p.cfg_ready = false;
    }
  }
  return p;
}

bool there(const char* path) {
  Entry e = host().entry(path);
  return e != Entry::kNone;
}

// Removes a leftover file of the program's own; counts what it did.
void remove_leftover(const char* path, Repair& r) {
  Entry e = host().entry(path);
  if (e == Entry::kNone) return;
  if (e == Entry::kError || host().remove(path) != 0)
    ++r.failures;
  else
    ++r.removed;
}

void remove_own_folder(const char* path, Repair& r) {
  if (!there(path)) return;
  if (host().remove_tree(path) != 0)
    ++r.failures;
  else
    ++r.removed;
}

// Says what a repair did, in one line; nothing when it did nothing.
void say_repair(const Repair& r) {
  char parts[512] = "";
  auto add = [&parts](const char* part) {
    if (parts[0] != '\0')
      std::strncat(parts, ", ", sizeof parts - 1 - std::strlen(parts));
    std::strncat(parts, part, sizeof parts - 1 - std::strlen(parts));
  };
  char removed[64];
  if (r.scripts_back) add("your 'scripts' folder is back from 'tscripts'");
  if (r.pk3_restored) add("the old 'kivo.pk3' is back");
  if (r.pk3_kept_new) add("the new 'kivo.pk3' is kept");
  if (r.cfg_completed) add("the new 'kivo.cfg' is in place");
  if (r.removed > 0) {
    std::snprintf(removed, sizeof removed, "%d leftover%s removed", r.removed,
                  r.removed == 1 ? "" : "s");
    add(removed);
  }
  if (parts[0] == '\0') return;
  std::printf(
      "note: an earlier run was stopped before it ended; repaired: %s\n",
      parts);
}

}  // namespace

int sy_journal(std::string_view record) {
  std::string line(record);
  line += '\n';
  int error = host().journal(line);
  if (error != 0) {
    fail_run(
        "error: cannot write the journal in '%s' (%s); the run stops and "
        "leaves the folder as it is\n",
        kLockFile, std::strerror(error));
    return 0;
  }
  host().journaled += line;
  return 1;
}

Repair sy_repair(std::string_view text) {
  Repair r;
  Pending p = read_journal(text);
  // Bot files written into the folder: each was announced before it was
  // made, and only when no file of that name was there.
  std::string_view rest = text;
  while (!rest.empty()) {
    std::string_view line = next_line(rest);
    if (!line.starts_with(kJournalBot)) continue;
    std::string file(line.substr(std::strlen(kJournalBot)));
    file += ".bot";
    if (host().entry(file.c_str()) == Entry::kFile)
      remove_leftover(file.c_str(), r);
  }
  // The loan: the player's folder waits in tscripts when it was set aside
  // and not yet moved back; then any scripts folder is ours.
  if (p.loan) {
    if (p.aside && there(kSetAside)) {
      remove_own_folder(kScripts, r);
      if (host().rename(kSetAside, kScripts) != 0)
        ++r.failures;
      else
        r.scripts_back = 1;
    } else if (!p.aside && p.own) {
      remove_own_folder(kScripts, r);
    }
  }
  // The archive: a complete new one stays, otherwise the old one returns.
  if (p.pk3_aside || p.pk3_fresh) {
    if (p.pk3_new) {
      if (there(kOldArchive)) {
        remove_leftover(kOldArchive, r);
        r.pk3_kept_new = 1;
      }
    } else if (p.pk3_aside && there(kOldArchive)) {
      remove_leftover(kArchive, r);
      if (host().rename(kOldArchive, kArchive) != 0)
        ++r.failures;
      else
        r.pk3_restored = 1;
    } else if (p.pk3_fresh) {
      remove_leftover(kArchive, r);
    }
  }
  if (p.zip_temp) remove_own_folder(kZipTempFolder, r);
  // kivo.cfg: a complete new text takes its place, a partial one goes.
  if (p.cfg_temp) {
    if (p.cfg_ready && host().entry(kConfigTemp) == Entry::kFile) {
      if (host().rename(kConfigTemp, kConfig) != 0)
        ++r.failures;
      else
        r.cfg_completed = 1;
    } else {
      remove_leftover(kConfigTemp, r);
    }
  }
  return r;
}

int sy_guard_folder() {
  std::string journal;
  long holder = 0;
  errno = 0;
  int taken = host().lock(kLockFile, journal, holder);
  if (taken == 0) {
    fail_run(
        "error: another run of kivorama is working in this folder (process "
        "%ld); this one changes nothing\n",
        holder);
    return 0;
  }
  if (taken < 0) {
    fail_run(
        "error: cannot take the lock file '%s' (%s); nothing was changed\n",
        kLockFile, std::strerror(errno ? errno : EIO));
    return 0;
  }
  Repair r = sy_repair(journal);
  say_repair(r);
  if (r.failures > 0) {
    fail_run(
        "error: what an earlier run left in this folder could not all be "
        "repaired (see '%s'); nothing more was changed\n",
        kLockFile);
    host().unlock(true);
    return 0;
  }
  int error = host().journal_reset();
  if (error != 0) {
    fail_run(
        "error: cannot write the journal in '%s' (%s); nothing was changed\n",
        kLockFile, std::strerror(error));
    // What an earlier run left is repaired: its journal is of no more use.
    host().unlock(false);
    return 0;
  }
  host().journaled.clear();
  return 1;
}

Repair sy_release_folder() {
  Repair r = sy_repair(host().journaled);
  if (r.failures > 0)
    say_error(
        "error: some of what this run borrowed or made could not be put "
        "right; the next run will try again (see '%s')\n",
        kLockFile);
  host().unlock(r.failures > 0);
  return r;
}
