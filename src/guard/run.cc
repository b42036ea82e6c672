// The guarded run: the help check, the folder checked and its lock taken
// (repairing what a run that died left), the phases of core/run.cc, the
// lock let go; and the run's own guard record, made here so that core
// knows the guard only by the name RunContext refers to.
#include <cerrno>
#include <cstdio>
#include <memory>

#include "core/core.h"
#include "guard/guard.h"

namespace {

// What an interrupted run leaves as it was, in one "error: " line.
Status interrupted_line(const RunStatus& status, int signal) {
  const bool pk3 = status.pk3_written != 0;
  const bool cfg = status.cfg_written != 0;
  Status st;
  if (pk3 && cfg)
    st.error(EINTR,
             "error: the run was interrupted (signal %d) after 'kivo.pk3' and "
             "'kivo.cfg' were written\n",
             signal);
  else if (pk3)
    st.error(EINTR,
             "error: the run was interrupted (signal %d) after 'kivo.pk3' was "
             "written; 'kivo.cfg' is left as it was\n",
             signal);
  else
    st.error(EINTR,
             "error: the run was interrupted (signal %d); 'kivo.pk3', "
             "'kivo.cfg' and your 'scripts' folder are left as they were\n",
             signal);
  return st;
}

}  // namespace

int run(State& s, int argc, char** argv) {
  RunContext& run = *s.run;
  gd_show_help(argc, argv);
  run.status = RunStatus{};
  if (sy_folder_is_safe(run) && sy_guard_folder(run)) {
    for (const Phase& phase : run_phases()) {
      if (stopping(run)) break;
      if (phase.name != nullptr) trace("%s()\n", phase.name);
      phase.run(s);
    }
    sy_release_folder(run);
    if (int signal = run.host.interrupted(); signal != 0)
      say_status(run, interrupted_line(run.status, signal));
  }
  if (int signal = run.host.interrupted(); signal != 0) return 128 + signal;
  return run.status.errors > 0 ? 1 : 0;
}

int kivorama_main(Host& host, int argc, char** argv) {
  Guard guard;
  RunContext r(host, guard);
  auto state = create_state(r, argc, argv);
  int status = run(*state, argc, argv);
  state.reset();
  std::printf("\n");
  std::printf("for help, '%s -h'\n", argc > 0 ? argv[0] : "kivorama");
  std::fflush(stdout);
  return status;
}

std::shared_ptr<State> create_run_state(Host& host, int argc, char** argv) {
  struct Owned {
    explicit Owned(Host& h) : run(h, guard) {}
    Guard guard;
    RunContext run;
    std::unique_ptr<State> state;
  };
  auto owned = std::make_shared<Owned>(host);
  owned->state = create_state(owned->run, argc, argv);
  return std::shared_ptr<State>(owned, owned->state.get());
}
