// ours.h: private to src/guard: a thing of the program's own beside the
// player's, from its beginning to its end or undoing. Each is journaled as
// "<kind> new" before it is made, "<kind> <identity>" once made and
// "<kind> over" once gone, and is undone only when what is there proves to
// be it.
//
// Two kinds share it whole: the folders kivo.stmp (the loan's own scripts)
// and kivo.ztmp (the work folder) are begun, ended and undone here; a
// folder proves itself by its recorded identity and the run's token read
// back from kivo.own inside, and each thing in it by the identity, or the
// digest, recorded after it was made. Their commit is their owner's (the
// loan lends the folder as scripts, the work folder gives up kivo.pk3).
// The third, the "<target>.tmp" file of a replacement (replace.cc), shares
// the records only: a file holds no token, so it proves itself by identity
// alone, and its commit is a rename over its target.
#ifndef KIVO_GUARD_OURS_H
#define KIVO_GUARD_OURS_H

#include <string>
#include <string_view>
#include <vector>

#include "guard/guard.h"
#include "guard/journal.h"

// "<folder>/<name>".
std::string path_in(const char* folder, std::string_view name);

// Begins a folder of the program's own: announced, made, given the token
// file, then its identity recorded (in `id`). A failure says nothing but a
// journal's line; what was made is gone again (the folder only when still
// empty).
Status ours_begin_folder(RunContext& run, const char* path,
                         std::string_view kind, Identity& id);
// Ends (or, on the way out of a failed step, aborts) a folder this run
// began, with all it holds, when it still is that folder and holds this
// run's token: within one run nothing else acts in a folder of the
// program's own. 0 when it is gone, or an errno value (EXDEV: it is not
// that folder, or not provably). The closing record is the owner's.
int ours_end_folder(RunContext& run, const char* path, const Identity& made);
// Undoes, after a run that was stopped, a folder its journal says was begun
// at `path`: removed when every object in it is proven (`proofs`), or when
// it is empty at a name only the program uses; moved aside to kivo.kept
// when it is ours but holds what cannot be proven; otherwise left, with a
// "warn: " line in r.said. A scripts without the token is not the program's,
// whatever its number: it may be the player's, made after, and is not
// warned about.
void ours_undo_folder(RunContext& run, const char* path,
                      const std::string& token, const Made& made,
                      const std::vector<MadeFile>& proofs, Repair& r);

// Warns, in r.said, that `path` may be a leftover of the program's but
// cannot be proven, and counts it.
void warn_unproven(Repair& r, const char* path);

// ---- The owners' undo steps; the repair is their sum ----
// Each undoes what `p` says its owner began and did not finish.
void loan_undo(RunContext& run, const Pending& p, Repair& r);
void work_undo(RunContext& run, const Pending& p, Repair& r);
void replace_undo(RunContext& run, const Pending& p, Repair& r);

#endif  // KIVO_GUARD_OURS_H
