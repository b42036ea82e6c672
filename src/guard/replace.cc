// Replacing a file safely (kivo.cfg; kivo.pk3 when it is a link): the
// "<target>.tmp" beside it from its making to its rename over the target;
// and its undoing after a run that was stopped.
#include <cerrno>
#include <cstring>

#include "core/names.h"
#include "guard/guard.h"
#include "guard/ours.h"

int link_is_runners(RunContext& run, const char* path, bool& mine,
                    std::string& owner) {
  mine = false;
  Identity id;
  int error = run.host.identify(path, false, id);
  if (error == 0 && id.type != Entry::kLink) error = EAGAIN;  // swapped
  if (error != 0) return error;
  mine = run.host.runner_owns(id, owner);
  return 0;
}

Status replace_prepare(RunContext& run, const char* path, Replacement& r) {
  r = Replacement{};
  Entry e = Entry::kNone;
  Status st = look_at(run, path, e);
  if (!st.ok()) return st;
  r.target = path;
  if (e == Entry::kLink) {
    std::string owner;
    bool mine = false;
    if (int error = link_is_runners(run, path, mine, owner); error != 0) {
      st.fatal(error, "error: cannot look at '%s' (%s); the run stops\n", path,
               std::strerror(error));
      return st;
    }
    if (!mine) {
      st.error(
          EPERM,
          "error: '%s' is a link that belongs to the user '%s', not to you; "
          "it is left as it is and not written\n",
          path, owner.c_str());
      return st;
    }
    // The link stays; the file it names gets the new text.
    int error = run.host.real_path(path, r.target);
    if (error != 0) {
      st.error(
          error,
          "error: '%s' is a link that cannot be followed (%s); it is left as "
          "it is\n",
          path, std::strerror(error));
      return st;
    }
  }
  r.temp = temp_name(r.target);
  Entry left = Entry::kNone;
  st = look_at(run, r.temp.c_str(), left);
  if (st.ok() && left != Entry::kNone)
    st.error(
        EEXIST,
        "error: '%s' is in the way: kivorama writes the new '%s' under that "
        "name first, and this one is not its own; it is left as it is and "
        "'%s' was not written: move or remove it and run again\n",
        r.temp.c_str(), path, path);
  return st;
}

Status replace_begin(RunContext& run, const char* path, Replacement& r) {
  Status st = replace_prepare(run, path, r);
  if (st.ok()) st = journal_made(run, kCfg, "new");
  if (!st.ok()) return st;
  int error = run.host.create(r.temp.c_str(), r.file);
  if (error == 0) error = run.host.identify(r.temp.c_str(), false, r.made);
  if (error == 0) st = journal_made(run, kCfg, identity_text(r.made));
  if (error == 0 && st.ok()) return st;
  if (!st.stops() && !stopping(run))
    st.error(error,
             "error: cannot write config file '%s' (%s); it is left as it "
             "was\n",
             path, std::strerror(error));
  st.add(replace_abort(run, r));
  return st;
}

Status replace_copy(RunContext& run, Replacement& r, const char* from) {
  Status st;
  // Nothing may have come in the way since the target was prepared: a copy
  // replaces what is at its name.
  Entry left = Entry::kNone;
  if (int error = run.host.entry(r.temp.c_str(), left); error != 0) {
    st.fail(error);
    return st;
  }
  if (left != Entry::kNone) {
    st.fail(EEXIST);
    return st;
  }
  st = journal_made(run, kCfg, "new");
  if (!st.ok()) return st;
  int error = run.host.copy_file(from, r.temp.c_str());
  if (error == 0) error = run.host.identify(r.temp.c_str(), false, r.made);
  if (error == 0) st = journal_made(run, kCfg, identity_text(r.made));
  if (error != 0) st.fail(error);
  return st;
}

int replace_close(RunContext& run, Replacement& r) {
  int error = run.host.close(r.file, true);
  r.file = nullptr;
  // The old file's mode is the player's: a look that fails is a failure,
  // never "there is no old file" (which would give the new one a fresh mode).
  Identity old;
  int look = error == 0 ? run.host.identify(r.target.c_str(), false, old) : 0;
  if (look != 0 && look != ENOENT) error = look;
  if (error == 0 && look == 0 && old.type == Entry::kFile)
    error = run.host.copy_mode(r.target.c_str(), r.temp.c_str());
  return error;
}

int replace_still(RunContext& run, const Replacement& r, const Identity& seen,
                  bool& still) {
  Identity now;
  int error = run.host.identify(r.target.c_str(), true, now);
  still = false;
  // A look that fails tells nothing of a change: it is a failure of its own.
  if (error != 0 && error != ENOENT) return error;
  still = seen.type == Entry::kNone ? error == ENOENT
                                    : error == 0 && now.same_version(seen);
  return 0;
}

Status replace_commit(RunContext& run, Replacement& r) {
  int error = run.host.rename(r.temp.c_str(), r.target.c_str());
  if (error != 0) {
    Status st;
    st.fail(error);
    return st;
  }
  r.done = true;
  return journal_made(run, kCfg, "over");
}

Status replace_abort(RunContext& run, Replacement& r) {
  if (r.file != nullptr) run.host.close(r.file, false);
  r.file = nullptr;
  Identity there;
  int error = run.host.identify(r.temp.c_str(), false, there);
  if (error == 0 && r.made.type != Entry::kNone && there.same_object(r.made))
    error = run.host.remove(r.temp.c_str()) == 0 ? ENOENT : EIO;
  // Whatever could not be removed now stays in the journal, for the repair
  // at the end of the run.
  if (error == ENOENT) return journal_made(run, kCfg, "over");
  return Status{};
}

void replace_undo(RunContext& run, const Pending& p, Repair& r) {
  if (!p.cfg.begun) return;
  // kivo.cfg's, and that of kivo.pk3 when it is a link of the player's.
  std::vector<std::string> candidates = {temp_name(kConfigFile)};
  for (const char* file : {kConfigFile, kArchiveFile}) {
    std::string real;
    Entry there = Entry::kNone;
    if (run.host.entry(file, there) != 0)
      ++r.failures;  // its target's cannot be seen
    if (there == Entry::kLink && run.host.real_path(file, real) == 0)
      candidates.push_back(temp_name(real));
  }
  for (const std::string& path : candidates) {
    Identity id;
    int error = run.host.identify(path.c_str(), false, id);
    if (error == ENOENT) continue;
    bool ours = error == 0 && id.type == Entry::kFile && id.links == 1 &&
                (p.cfg.known ? id.same_object(p.cfg.id) : id.size == 0);
    if (!ours) {
      if (error != 0) {
        ++r.failures;
      } else if (p.cfg.known || id.size != 0) {
        warn_unproven(r, path.c_str());
      }
      continue;
    }
    if (run.host.remove(path.c_str()) != 0)
      ++r.failures;
    else
      ++r.removed;
  }
}
