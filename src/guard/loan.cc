// The loan of the player's scripts folder, whole: the program's own folder
// made and recorded, the player's set aside and the program's lent in its
// place, then everything given back; and, after a run that was stopped, the
// loan's undoing from its journal.
//
// The give-back of a run and the undoing of the repair are two functions,
// not one: the run takes its own folder away by the identity it holds and
// removes it whole (nothing else acts in it within the run), and moves the
// player's back by the command set's line, confirmed by identity after;
// the repair proves each thing in the folder from the journal, moves the
// player's back by a rename, and warns instead of failing when scripts is
// taken.
#include <cerrno>
#include <cstring>

#include "archive/archive.h"
#include "core/names.h"
#include "guard/guard.h"
#include "guard/ours.h"

namespace {

Status loan_make_own(RunContext& run) {
  Guard& g = run.guard;
  Entry there = Entry::kNone;
  Status st = look_at(run, kSpareFolder, there);
  if (!st.ok()) return st;
  if (there != Entry::kNone) {
    st.error(
        EEXIST,
        "error: '%s' is in the way: kivorama makes its own 'scripts' folder "
        "under that name, and this one is not its own; it is left as it is: "
        "move or remove it and run again\n",
        kSpareFolder);
    return st;
  }
  st = ours_begin_folder(run, kSpareFolder, kOwn, g.own);
  if (!st.ok() && !st.stops() && !stopping(run))
    st.fatal(st.code(),
             "error: cannot make the folder '%s' (%s); the run stops\n",
             kSpareFolder, std::strerror(st.code()));
  return st;
}

Status loan_record_aside(RunContext& run, const Identity& id) {
  return journal_record(run, std::string(kAside) + identity_text(id));
}

Status loan_move_own(RunContext& run, bool lent) {
  const char* from = lent ? kSpareFolder : kScripts;
  const char* to = lent ? kScripts : kSpareFolder;
  int error = is_object(run, from, run.guard.own) ? 0 : EXDEV;
  Entry there = Entry::kNone;
  if (error == 0) error = run.host.entry(to, there);
  if (error == 0 && there != Entry::kNone) error = EEXIST;
  if (error == 0) error = run.host.rename(from, to);
  Status st;
  if (error != 0 && !stopping(run))
    st.fatal(error,
             "error: cannot rename the folder '%s' to '%s' (%s); the run "
             "stops\n",
             from, to, std::strerror(error));
  else if (error != 0)
    st.fail(error);
  return st;
}

int loan_clear_own(RunContext& run) {
  return ours_end_folder(run, kSpareFolder, run.guard.own);
}

int loan_aside_is_there(RunContext& run, const Identity& id) {
  return is_object(run, kSetAside, id);
}

Status loan_record_over(RunContext& run) {
  return journal_record(run, kLoanOver);
}

}  // namespace

Status loan_record_member(RunContext& run, std::string_view member) {
  std::string path = path_in(kScripts, member);
  MadeFile m{std::string(member), {}, ""};
  Status st;
  int error = run.host.identify(path.c_str(), false, m.id);
  if (error == 0 && m.id.type != Entry::kFile) error = ENOENT;
  if (error != 0) {
    st.fail(error);
    return st;
  }
  return journal_record(
      run, std::string(kMember) + hex_of(member) + " " + version_text(m.id));
}

int sy_borrow_scripts(RunContext& run, ScriptsLoan& loan) {
  loan = ScriptsLoan{};
  Entry in_the_way = Entry::kNone;
  if (!sy_entry(run, kSetAside, in_the_way)) return 0;
  if (in_the_way != Entry::kNone) {
    run.status.bot_files_unread = 1;
    // The advice must be one that works: with a scripts there, renaming
    // tscripts back would move it into that folder. When scripts cannot
    // be looked at, the advice is the one that holds either way.
    Entry scripts = Entry::kNone;
    if (run.host.entry(kScripts, scripts) != 0) scripts = Entry::kOther;
    say_error(
        run,
        "error: 'tscripts' is in the way; the 'scripts' folder cannot be "
        "set aside, so this step is skipped (if 'tscripts' is your "
        "'scripts' folder, set aside by a run that was stopped, %s)\n",
        scripts == Entry::kNone
            ? "rename it back to 'scripts'"
            : "move what you keep of 'scripts' into it, remove 'scripts' and "
              "rename 'tscripts' back to 'scripts'");
    return 0;
  }
  // The program's own folder, its token and its record are on the disk
  // before the player's folder is touched: a run stopped at any later
  // instant leaves the next one all it needs to give it back.
  if (!say_status(run, loan_make_own(run))) {
    run.status.bot_files_unread = 1;
    return 0;
  }
  loan.made = true;
  Identity player;
  int error = run.host.identify(kScripts, false, player);
  if (error != 0 && error != ENOENT) {
    fail_run(run, "error: cannot look at '%s' (%s); the run stops\n", kScripts,
             std::strerror(error));
    sy_give_back_scripts(run, loan);
    return 0;
  }
  if (error == 0) {
    // The journal says so before the move, with the folder's identity: a
    // run stopped dead after it leaves the next run the proof of whose
    // folder 'tscripts' is.
    if (!say_status(run, loan_record_aside(run, player))) {
      sy_give_back_scripts(run, loan);
      return 0;
    }
    sy_cmd_set_aside(run);
    // Where the player's folder is decides what the loan must give back,
    // whatever else went wrong.
    if (loan_aside_is_there(run, player)) {
      loan.set_aside = true;
      loan.player = player;
    }
    if (!loan.set_aside || stopping(run) || sy_exists(run, kScripts)) {
      // Where the player's folder went cannot be told: the journal keeps
      // the loan open, and the repair at the end looks again.
      Entry aside = Entry::kNone;
      loan.unsure = !loan.set_aside && (run.host.entry(kSetAside, aside) != 0 ||
                                        aside != Entry::kNone);
      sy_give_back_scripts(run, loan);
      fail_run(run,
               "error: the 'scripts' folder could not be set aside as "
               "'tscripts'; the run stops\n");
      return 0;
    }
  }
  if (!say_status(run, loan_move_own(run, true))) {
    sy_give_back_scripts(run, loan);
    return 0;
  }
  loan.lent = true;
  return 1;
}

int sy_give_back_scripts(RunContext& run, ScriptsLoan& loan) {
  if (!loan.made && !loan.set_aside) return !loan.unsure;
  // The program's folder leaves the name scripts first, so that the
  // player's can come back; it is emptied and removed after, elsewhere.
  if (loan.lent) {
    if (!say_status(run, loan_move_own(run, false))) {
      if (loan.set_aside)
        say_error(
            run,
            "error: your 'scripts' folder waits in 'tscripts'; the next run "
            "will put it back\n");
      return 0;
    }
    loan.lent = false;
  }
  if (loan.set_aside) {
    if (loan_aside_is_there(run, loan.player) && sy_exists(run, kScripts)) {
      fail_run(run,
               "error: a 'scripts' folder is in the way; your 'scripts' folder "
               "waits in 'tscripts'\n");
      return 0;
    }
    if (loan_aside_is_there(run, loan.player)) {
      sy_cmd_give_back(run);
      if (loan_aside_is_there(run, loan.player) && !sy_exists(run, kScripts))
        run.host.rename(kSetAside, kScripts);
    }
    if (!is_object(run, kScripts, loan.player)) {
      fail_run(run,
               "error: 'tscripts' could not be moved back to 'scripts'; your "
               "'scripts' folder waits in 'tscripts'\n");
      return 0;
    }
    loan.set_aside = false;
  }
  if (loan.made) {
    if (loan_clear_own(run) != 0) {
      fail_run(run,
               "error: the program's own folder '%s' could not be removed; the "
               "next run will try again\n",
               kSpareFolder);
      return 0;
    }
    loan.made = false;
  }
  if (loan.unsure) return 0;
  return say_status(run, loan_record_over(run));
}

void loan_undo(RunContext& run, const Pending& p, Repair& r) {
  // The loan: our folder goes first, then the player's comes back.
  // The loan's own folder, wherever it was left: lent as scripts or not.
  if (p.own.begun)
    for (const char* path : {kScripts, kSpareFolder})
      ours_undo_folder(run, path, p.token, p.own, p.members, r);
  if (p.aside) {
    Identity there;
    int error = run.host.identify(kSetAside, false, there);
    if (error == 0 && there.same_object(p.aside_id)) {
      Entry scripts = Entry::kNone;
      if (run.host.entry(kScripts, scripts) != 0) {
        ++r.failures;
      } else if (scripts == Entry::kNone) {
        if (run.host.rename(kSetAside, kScripts) != 0)
          ++r.failures;
        else
          r.scripts_back = 1;
      } else {
        r.said.note(
            "warn: your 'scripts' folder waits in 'tscripts', set aside by a "
            "run of kivorama that was stopped, and a 'scripts' is there too: "
            "both are left as they are; move what you keep back to "
            "'scripts'\n");
        ++r.unproven;
      }
    } else if (error != 0 && error != ENOENT) {
      ++r.failures;
    }
  }
}
