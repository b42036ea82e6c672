// Guarding the folder: the lock, and the repair, which is the sum of the
// owners' undo steps (the loan in loan.cc, the work folder in work.cc, the
// replacement's temporary file in replace.cc), each acting only on what the
// folder proves to be the program's: a token whose random text is read
// back, and identities (with size and time) recorded after making. A
// number the file system may hand out again proves nothing alone.
#include "guard/guard.h"

#include <cerrno>
#include <cstring>
#include <string>

#include "core/names.h"
#include "guard/journal.h"
#include "guard/ours.h"

namespace {

// What a repair did, in one "note: " line; none when it did nothing.
Status repair_note(const Repair& r) {
  Status st;
  char parts[256] = "";
  if (r.scripts_back)
    std::snprintf(parts, sizeof parts,
                  "your 'scripts' folder is back from 'tscripts'");
  if (r.removed > 0) {
    std::size_t n = std::strlen(parts);
    std::snprintf(parts + n, sizeof parts - n, "%s%d leftover%s removed",
                  n > 0 ? ", " : "", r.removed, r.removed == 1 ? "" : "s");
  }
  if (parts[0] != '\0')
    st.note("note: an earlier run was stopped before it ended; repaired: %s\n",
            parts);
  return st;
}

}  // namespace

Repair sy_repair(RunContext& run, std::string_view text) {
  Repair r;
  Pending p = read_journal(text);
  if (!p.parsed) {
    r.foreign = 1;
    return r;
  }
  // The sum of the owners' undo steps: the loan's (its folder first, then
  // the player's back), the work folder's, the temporary file's.
  loan_undo(run, p, r);
  work_undo(run, p, r);
  replace_undo(run, p, r);
  say_status(run, r.said);
  return r;
}

int sy_guard_folder(RunContext& run) {
  std::string journal;
  LockRefusal why;
  std::unique_ptr<HeldLock> lock;
  Lock taken = Lock::kRefused;
  int error =
      run.host.lock(kLockFile, kJournalLimit, journal, why, lock, taken);
  if (error == 0 && taken == Lock::kBusy) {
    long holder = 0;  // the process in the first line of the holder's journal
    if (std::sscanf(why.holder.c_str(), "kivorama %ld", &holder) != 1)
      holder = 0;
    fail_run(
        run,
        "error: another run of kivorama is working in this folder (process "
        "%ld); this one changes nothing\n",
        holder);
    return 0;
  }
  if (error == 0 && taken == Lock::kRefused && why.owner >= 0) {
    std::string name =
        why.owner_name.empty() ? std::to_string(why.owner) : why.owner_name;
    fail_run(
        run,
        "error: the lock file '%s' belongs to the user '%s': a run of "
        "kivorama as that user did not end, and only that user can repair "
        "the folder; nothing was changed. Run kivorama here once as '%s'%s\n",
        kLockFile, name.c_str(), name.c_str(),
        why.owner == 0 ? " (sudo kivorama)" : "");
    return 0;
  }
  if (error == 0 && taken == Lock::kRefused) {
    fail_run(
        run,
        "error: '%s' is not a lock file of kivorama (%s): it is left as it "
        "is and nothing was changed; if it is not yours, remove it and run "
        "again\n",
        kLockFile,
        why.type == Entry::kLink     ? "it is a link"
        : why.type == Entry::kFolder ? "it is a folder"
        : why.links > 1              ? "it has other names"
                                     : "it is no plain file");
    return 0;
  }
  if (error != 0) {
    if (error == EACCES || error == EROFS)
      fail_run(
          run,
          "error: cannot make the lock file '%s' (%s): you cannot write in "
          "this folder, so kivorama changes nothing in it\n",
          kLockFile, std::strerror(error));
    else
      fail_run(
          run,
          "error: cannot take the lock file '%s' (%s); nothing was changed\n",
          kLockFile, std::strerror(error));
    return 0;
  }
  // A lock file of ours is empty or holds a journal of ours; anything else,
  // whatever its first words, is a file of someone's under our name, never
  // to be overwritten.
  Repair r = sy_repair(run, journal);
  if (r.foreign) {
    lock->release(true);
    fail_run(
        run,
        "error: '%s' is not a lock file of kivorama (%s): it is left as it "
        "is and nothing was changed; if it is not yours, remove it and run "
        "again\n",
        kLockFile, "it holds something else");
    return 0;
  }
  say_status(run, repair_note(r));
  if (r.failures > 0) {
    fail_run(run,
             "error: what an earlier run left in this folder could not all be "
             "repaired (see '%s'); nothing more was changed\n",
             kLockFile);
    lock->release(true);
    return 0;
  }
  Guard& g = run.guard;
  g = Guard{};
  g.lock = std::move(lock);
  g.token = new_token(run);
  char first[64];
  std::snprintf(first, sizeof first, "kivorama %ld %s\n", run.host.process_id(),
                g.token.c_str());
  error = g.lock->reset(first);
  if (error != 0) {
    fail_run(
        run,
        "error: cannot write the journal in '%s' (%s); nothing was changed\n",
        kLockFile, std::strerror(error));
    // What an earlier run left is repaired: its journal is of no more use.
    g.lock->release(false);
    return 0;
  }
  g.journaled = first;
  return 1;
}

Repair sy_release_folder(RunContext& run) {
  // Away from the game folder (the way back failed), the repair would look
  // for everything in the wrong place: the journal is kept for the next run.
  Repair r;
  if (run.guard.away)
    r.failures = 1;
  else
    r = sy_repair(run, run.guard.journaled);
  // Only a failed step keeps the journal for the next run; what cannot be
  // proven was named in its own line.
  if (r.failures > 0)
    say_error(run,
              "error: some of what this run borrowed or made could not be put "
              "right; the next run will try again (see '%s')\n",
              kLockFile);
  if (HeldLock* lock = run.guard.lock.get()) lock->release(r.failures > 0);
  return r;
}
