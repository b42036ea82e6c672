// The work folder kivo.ztmp, in which kivo.pk3 is made before it takes
// the place of the old one; and its undoing after a run that was stopped.
#include <cerrno>
#include <cstring>

#include "core/names.h"
#include "guard/guard.h"
#include "guard/ours.h"

std::string work_path(const char* inside) {
  return std::string(kWorkFolder) + "/" + inside;
}

Status work_begin(RunContext& run) {
  Entry there = Entry::kNone;
  Status st = look_at(run, kWorkFolder, there);
  if (!st.ok()) return st;
  if (there != Entry::kNone) {
    st.error(
        EEXIST,
        "error: '%s' is in the way: kivorama makes 'kivo.pk3' in a folder "
        "of that name, and this one is not its own; it is left as it is and "
        "'kivo.pk3' was not written: move or remove it and run again\n",
        kWorkFolder);
    return st;
  }
  st = ours_begin_folder(run, kWorkFolder, kWork, run.guard.work);
  if (!st.ok() && !st.stops() && !stopping(run))
    st.fatal(st.code(),
             "error: cannot make the folder '%s' (%s), so 'kivo.pk3' was not "
             "written\n",
             kWorkFolder, std::strerror(st.code()));
  return st;
}

Status work_enter(RunContext& run) {
  int error = run.host.change_folder(kWorkFolder);
  run.guard.away = error == 0;
  Identity here;
  if (error == 0) error = run.host.identify(".", false, here);
  if (error == 0 && !here.same_object(run.guard.work)) error = EXDEV;
  Status st;
  if (error != 0) {
    run.guard.away = run.host.change_folder(nullptr) != 0;
    st.fatal(error,
             "error: cannot work in the folder '%s' (%s); the run stops\n",
             kWorkFolder, std::strerror(error));
  }
  return st;
}

Status work_leave(RunContext& run) {
  int error = run.host.change_folder(nullptr);
  Status st;
  if (error != 0)
    st.fatal(
        error,
        "error: cannot return to the game folder (%s); the run stops here\n",
        std::strerror(error));
  else
    run.guard.away = false;
  return st;
}

Status work_commit(RunContext& run, const char* inside, Replacement& r) {
  Status st;
  Identity there;
  int error = run.host.identify(kWorkFolder, false, there);
  if (error == 0 && !there.same_object(run.guard.work)) error = EXDEV;
  if (error == 0 && r.temp.empty()) {
    error = run.host.rename(work_path(inside).c_str(), r.target.c_str());
    r.done = error == 0;
  }
  if (error != 0) st.fail(error);
  if (error != 0 || r.done) return st;
  // The file a link names may be on another disk: no rename reaches it
  // from here, a copy beside it does.
  st = replace_copy(run, r, work_path(inside).c_str());
  if (st.ok()) st = replace_commit(run, r);
  if (!r.done) st.add(replace_abort(run, r));
  return st;
}

Status work_record_texts(
    RunContext& run,
    const std::vector<std::pair<std::string, std::string>>& files) {
  std::string records;
  for (const auto& [name, text] : files) {
    MadeFile m{name, {}, digest_of(text)};
    records += std::string(kText) + hex_of(name) + " " + m.digest + "\n";
  }
  if (records.empty()) return Status{};
  records.pop_back();
  return journal_record(run, records);
}

Status work_record_made(RunContext& run, const char* inside) {
  Identity id;
  int error = run.host.identify(inside, false, id);
  if (error != 0) {
    Status st;
    st.fatal(error, "error: cannot look at '%s' in '%s' (%s); the run stops\n",
             inside, kWorkFolder, std::strerror(error));
    return st;
  }
  return journal_record(
      run, std::string(kMade) + hex_of(inside) + " " + version_text(id));
}

Status work_end(RunContext& run) {
  if (int error = ours_end_folder(run, kWorkFolder, run.guard.work);
      error != 0) {
    Status st;
    st.fail(error);
    return st;
  }
  return journal_made(run, kWork, "over");
}

void work_undo(RunContext& run, const Pending& p, Repair& r) {
  if (p.work.begun)
    ours_undo_folder(run, kWorkFolder, p.token, p.work, p.work_files, r);
}
