// guard.h: guarding the game folder while a run works in it. One run at a
// time holds the lock file kivo.lock; before each step that borrows a folder
// of the player's or makes something of the program's own, the step is
// recorded in the lock file's journal, with the identity of what it made or
// moved. The next run undoes what a run that died left, but only what it can
// prove to be the program's own: a folder made by the program holds a token
// file with the run's token, and every object has the identity the journal
// recorded. What cannot be proven stays where it is, named in a "warn: "
// line. Each guarded thing has one owner, in a file of its own: the journal
// (journal.h, its grammar with examples), the loan of scripts (loan.cc),
// the work folder in which kivo.pk3 is made (work.cc), the replacement of
// kivo.cfg (replace.cc), on one helper for a thing of the program's own
// beside the player's (ours.h); the lock and the repair, the sum of the
// owners' undo steps (guard.cc); the folder's safety check (folder.cc). The
// names are core/names.h's.
#ifndef KIVO_GUARD_GUARD_H
#define KIVO_GUARD_GUARD_H

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/core.h"
#include "core/names.h"
#include "host/host.h"

// The run's own record of the guard: what it journaled, its token, and the
// folders it made. RunContext::guard refers to it for the life of a run.
struct Guard {
  std::string token;      // this run's token, in its journal's first line
  std::string journaled;  // the records this run appended
  Identity own;           // the scripts folder the loan made
  Identity work;          // the work folder
  bool away = false;      // in the work folder, not back in the game folder
  std::unique_ptr<HeldLock> lock;  // the folder's, while this run holds it
};

// What a repair did, for the message that reports it.
struct Repair {
  int scripts_back = 0;  // a set-aside scripts folder moved back
  int removed = 0;       // leftovers of the program's removed
  int kept = 0;          // leftovers moved aside, each warned about
  int unproven = 0;      // things left where they are, each warned about
  int failures = 0;      // proven steps that could not be done
  int foreign = 0;       // the journal is none of ours: nothing was done
  Status said;           // the "warn: " lines of the undo steps, in order
};
// Undoes what the journal `text` announced and did not finish, as far as it
// can be proven, and says the undo steps' lines. A journal that does not
// parse is not acted on at all (`foreign` is set).
Repair sy_repair(RunContext& run, std::string_view text);
// Takes the lock (repairing after a run that died); 0 when the run must not
// go on, with an "error: " line said.
int sy_guard_folder(RunContext& run);
// Repairs what this run left unfinished and lets the lock go.
Repair sy_release_folder(RunContext& run);

// "<device>:<number>", as the journal writes an identity.
std::string identity_text(const Identity& id);
// 1 when what is at `path` itself (no link followed) is the object `id`.
int is_object(RunContext& run, const char* path, const Identity& id);

// ---- The loan of the scripts folder ----
// The program's own folder is made, with its token, under kivo.stmp and
// recorded before the player's scripts is set aside; only then is it lent
// as scripts. When the loan ends it goes back to kivo.stmp before the
// player's comes back, and is removed there when everything in it is
// proven: the token read back, each member by the identity recorded after it
// was made. So at every instant the journal holds what undoes the loan.
// The loan never deletes, fills or packs a folder the program did not
// create.
struct ScriptsLoan {
  bool made = false;       // the program's own folder exists
  bool lent = false;       // ... under the name scripts
  bool set_aside = false;  // a scripts of the player's waits in tscripts
  bool unsure = false;     // whether it does cannot be told: the loan stays
                           // open in the journal for the repair
  Identity player;         // the player's folder, while it is set aside
};
// Sets an existing scripts aside and lends the program's own. 1: the caller
// may fill it. 0: refused with an "error: " line (a tscripts or kivo.stmp is
// in the way, the move did not happen, or the journal cannot be written);
// the player's folder is where it was and the caller skips its work.
int sy_borrow_scripts(RunContext& run, ScriptsLoan& loan);
// Takes the program's own folder away, moves a set-aside folder back and
// removes the program's folder when all in it is proven its own. Returns 1
// when the player's folder is back (or there was none); otherwise says so
// with an "error: " line and stops the run.
int sy_give_back_scripts(RunContext& run, ScriptsLoan& loan);

// Takes the identity of scripts/<member>, just made in the lent folder, and
// records it. A failure with nothing said: it is not there as a file, or
// cannot be looked at.
Status loan_record_member(RunContext& run, std::string_view member);

// ---- The work folder, where kivo.pk3 is made ----
// Makes kivo.ztmp with its token file; a failure with its "error: " line
// when something is in the way or it cannot be made.
Status work_begin(RunContext& run);
// Makes the work folder the current folder (after checking it is ours), or
// returns to the game folder; a failure stops the run, with its line.
Status work_enter(RunContext& run);
Status work_leave(RunContext& run);
// The path of `inside` of the work folder, from the game folder.
std::string work_path(const char* inside);
struct Replacement;
// Puts `inside` of the work folder in the place of r.target in the game
// folder: in one rename, or, when r.temp is set (the target is the file a
// link names), as a durable copy beside it renamed over it. r.done once it
// is in place, even when a line said after that stops the run; a failure
// before that says nothing but a journal's line.
Status work_commit(RunContext& run, const char* inside, Replacement& r);
// Records, before they are written, the files about to be written in the
// work folder: each name with a digest of its exact bytes. One durable write.
Status work_record_texts(
    RunContext& run,
    const std::vector<std::pair<std::string, std::string>>& files);
// Records what a command made at `inside` of the work folder (its identity,
// size and time); called in the work folder.
Status work_record_made(RunContext& run, const char* inside);
// Removes the work folder, when all in it is provably ours, and records so;
// a failure says nothing but a journal's line.
Status work_end(RunContext& run);

// ---- Replacing a file safely (kivo.cfg; kivo.pk3 when it is a link) ----
// The new text is written to a temporary file beside its target (beside the
// file a link names, when the target is a link, which stays a link), and
// replaces it in one rename, only when the target is still the version that
// was read. A link is followed only when it belongs to the user running the
// program: someone else's link may lead anywhere that user chose.
struct Replacement {
  std::string target;  // the file that is replaced (a link's target)
  std::string temp;    // the temporary file beside it
  std::FILE* file = nullptr;
  Identity made;      // the temporary file's identity
  bool done = false;  // the temporary file has taken the target's place
};
// Whether the link at `path` belongs to the user running the program, in
// `mine`; when it is another user's, they are named in `owner`. 0 or an
// errno value (EAGAIN: no link is there any more).
int link_is_runners(RunContext& run, const char* path, bool& mine,
                    std::string& owner);
// Resolves the target (a link only when it is the runner's) and checks that
// nothing is in the way of the temporary file; makes nothing. A failure with
// its "error: " line when the file must be left as it is.
Status replace_prepare(RunContext& run, const char* path, Replacement& r);
// Prepares, then creates the temporary file, open in r.file. A failure with
// its "error: " line when something is in the way or it cannot be made.
Status replace_begin(RunContext& run, const char* path, Replacement& r);
// Makes the temporary file of a prepared replacement a copy of `from`, its
// mode included, on the disk. A failure says nothing but a journal's line.
Status replace_copy(RunContext& run, Replacement& r, const char* from);
// Closes the temporary file durably and gives it the mode of the old file.
// 0 or an errno value.
int replace_close(RunContext& run, Replacement& r);
// Whether the target is still what `seen` says was read (type kNone: it did
// not exist), in `still`. 0, or the errno value of a look that failed.
int replace_still(RunContext& run, const Replacement& r, const Identity& seen,
                  bool& still);
// Replaces the target with the temporary file: r.done once it has, even
// when the journal's line said after that stops the run; a failure before
// that says nothing.
Status replace_commit(RunContext& run, Replacement& r);
// Abandons: closes and removes the temporary file.
Status replace_abort(RunContext& run, Replacement& r);

// 1 when no user but the one running the program (and root) could change
// the current folder; else 0, with an "error: " line said that tells how to
// make it so. Nothing is touched.
int sy_folder_is_safe(RunContext& run);

// ---- The guarded run ----
// Runs the help check, takes the folder's lock (repairing what a run that
// died left), then the phases over `s`. Returns the exit status: 0, 1 when an
// "error: " line was printed, 128 + the signal when interrupted.
int run(State& s, int argc, char** argv);
// The whole program as main runs it: State, run, closing lines. Returns the
// exit status.
int kivorama_main(Host& host, int argc, char** argv);
// A State record with a run of its own on `host` (a fresh status and
// guard), for a tool or test that runs phases without kivorama_main.
std::shared_ptr<State> create_run_state(Host& host, int argc, char** argv);

#endif  // KIVO_GUARD_GUARD_H
