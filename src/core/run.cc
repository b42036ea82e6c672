#include <cstdio>
#include <string_view>

#include "archive/archive.h"
#include "config/config.h"
#include "core/core.h"
#include "guard/guard.h"
#include "output/output.h"
#include "roster/roster.h"

namespace {

// The phases after the help check, in the order that makes a run merge the
// archives, the previous kivo.cfg and the command line correctly. Each
// prints its name as a trace line before it runs.
constexpr Phase kPhases[] = {
    {"sy_get_pk3_list",
     [](State& s) {
       sy_get_pk3_list(*s.run, s.pk3_list.data(), static_cast<int>(kNameChars),
                       kPk3Slots);
     }},
    {"gd_get_models_players_aifiles",
     [](State& s) { gd_get_models_players_aifiles(s); }},
    {"gd_read_config", gd_read_config},
    {"gd_parse_options", [](State& s) { gd_parse_options(s, s.argc, s.argv); }},
    {"gd_apply_config", gd_apply_config},
    {"gd_apply_ai_cfg", gd_apply_ai_cfg},
    {"gd_apply_xai", gd_apply_xai},
    {"gd_classify_players", gd_classify_players},
    {"gd_validate_players_and_aifiles", gd_validate_players_and_aifiles},
    {"gd_supplimental_ai_mapping", gd_supplimental_ai_mapping},
    {"gd_clip_active_set", gd_clip_active_set},
    {"gd_clip_sets", gd_clip_sets},
    {"gd_write_descrete_players", gd_write_descrete_players},
    // The file always says 0, so that later runs keep the AI files chosen.
    {nullptr, [](State& s) { s.ai_reset = 0; }},
    {"gd_write_config", [](State& s) { gd_save_config(s); }},
};

}  // namespace

std::span<const Phase> run_phases() { return kPhases; }

namespace {

// Says, in one line, what an interrupted run leaves as it was.
void say_interrupted(RunContext& run, int signal) {
  const bool pk3 = run.status.pk3_written != 0;
  const bool cfg = run.status.cfg_written != 0;
  if (pk3 && cfg)
    say_error(run,
              "error: the run was interrupted (signal %d) after 'kivo.pk3' and "
              "'kivo.cfg' were written\n",
              signal);
  else if (pk3)
    say_error(run,
              "error: the run was interrupted (signal %d) after 'kivo.pk3' was "
              "written; 'kivo.cfg' is left as it was\n",
              signal);
  else
    say_error(
        run,
        "error: the run was interrupted (signal %d); 'kivo.pk3', 'kivo.cfg' "
        "and your 'scripts' folder are left as they were\n",
        signal);
}

}  // namespace

int run(State& s, int argc, char** argv) {
  RunContext& run = *s.run;
  gd_show_help(argc, argv);
  run.status = RunStatus{};
  if (sy_folder_is_safe(run) && sy_guard_folder(run)) {
    for (const Phase& phase : kPhases) {
      if (stopping(run)) break;
      if (phase.name != nullptr) trace("%s()\n", phase.name);
      phase.run(s);
    }
    sy_release_folder(run);
    if (int signal = run.host.interrupted(); signal != 0)
      say_interrupted(run, signal);
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
