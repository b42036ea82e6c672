// The program's own work on full tables, without any shell command: the
// phases from reading kivo.cfg to writing it, for a roster, model table and
// AI file table of 1024 rows each and a kivo.cfg of 1024 player rows.
// Run it in an empty scratch folder: it writes kivo.cfg and out.cfg there.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue.h"
#include "config/config.h"
#include "core/core.h"
#include "guard/guard.h"
#include "roster/roster.h"

namespace {

char g_program[] = "kivorama";
char* g_argv[] = {g_program, nullptr};

constexpr const char* kSyllables[] = {
    "ka",  "ro",  "vex", "mor", "tal", "zen", "qui", "bran", "dra",
    "lo",  "sha", "gri", "tor", "ni",  "phe", "ul",  "ax",   "cy",
    "mel", "zor", "bo",  "ri",  "tan", "kel", "va",  "sto"};
constexpr const char* kSkins[] = {"default", "red",   "blue",   "camo",
                                  "night",   "gold",  "arctic", "rust",
                                  "shadow",  "chrome"};
// Bot definitions that archives carry: one archive in ten has a few.
constexpr int kArchiveBots = 100;

// The n-th made-up add-on name: syllables, so that first letters repeat as
// they do among real model names.
std::string made_up_name(unsigned n) {
  std::string name;
  unsigned x = n * 2654435761u + 12345u;
  for (int i = 0; i < 3; ++i) {
    name += kSyllables[x % std::size(kSyllables)];
    x /= std::size(kSyllables);
  }
  return name + std::to_string(n % 97);
}

// The real host, but the text of kivo.cfg is not made durable: the
// benchmark measures the program, not the disk.
class NoSyncHost final : public HostWrapper {
 public:
  explicit NoSyncHost(Host& real) : HostWrapper(real) {}
  int close(std::FILE* f, bool) override { return target().close(f, false); }
};

// Fills every table as the scan of a folder with many add-ons would.
std::shared_ptr<State> full_state() {
  static const std::unique_ptr<Host> real = make_real_host(Prepare::kNothing);
  static NoSyncHost host(*real);
  auto s = create_run_state(host, 1, g_argv);
  rng_seed(*s, 7);
  for (unsigned n = 0; s->model_count < kTableRows; ++n)
    append_name(s->model_names, s->model_count, made_up_name(n));
  for (unsigned n = 0; s->aifile_count < kTableRows; ++n) {
    s->aifile_tiers[s->aifile_count] = 9;
    append_name(s->aifile_names, s->aifile_count, made_up_name(n + 5000));
  }
  for (int m = kBuiltinModels; s->roster_count < kTableRows; ++m) {
    std::string_view model = s->model_names[m].view();
    for (int k = 0; k <= m % 4 && s->roster_count < kTableRows; ++k) {
      Player* p = add_roster_player(*s);
      gd_name_player(*p, model, kSkins[k], kArchiveColours);
      p->pk3file.set(model);
    }
  }
  for (int i = 0; i < kArchiveBots; ++i) {
    const Player& p = *s->roster[kStockPlayers + 9 * i];
    s->xai_name[i].set(p.name.view());
    s->xai_funname[i].set(p.funname.view());
    s->xai_model[i] = p.model;
    s->xai_player[i] = p.player;
    s->xai_aifile[i] = s->aifile_names[kBuiltinAifiles + i];
    ++s->xai_count;
  }
  return s;
}

void write_config(State& s, const char*) {
  s.ai_reset = 0;
  s.cfg_seen = Identity{};
  std::remove("kivo.cfg");
  gd_save_config(s);
}

// The phases of a run from reading kivo.cfg up to the bot files (which are
// shell work), taken from the run's own table, then the configuration
// written to `out.cfg`.
std::vector<Phase> own_phases() {
  std::vector<Phase> phases;
  bool reading = false;
  for (const Phase& phase : run_phases()) {
    std::string_view name = phase.name != nullptr ? phase.name : "";
    if (name == "gd_write_descrete_players") break;
    reading = reading || name == "gd_read_config";
    if (reading) phases.push_back(phase);
  }
  phases.push_back(
      {"gd_write_config", [](State& s) { write_config(s, "kivo.cfg"); }});
  return phases;
}
const std::vector<Phase> kPhases = own_phases();
const int kPhaseCount = static_cast<int>(kPhases.size());

void run_phases(State& s, const char* out) {
  for (int i = 0; i + 1 < kPhaseCount; ++i) kPhases[i].run(s);
  write_config(s, out);
}

// Writes the kivo.cfg of a previous run; with `same_name`, as if the player
// had given every row the same name by hand.
void previous_config(const char* same_name) {
  std::remove(kConfigFile);
  auto s = full_state();
  run_phases(*s, kConfigFile);
  if (same_name == nullptr) return;
  for (int i = 0; i < s->roster_count; ++i) s->roster[i]->name.set(same_name);
  gd_save_config(*s);
}

void bench_phases(benchmark::State& st, const char* same_name) {
  previous_config(same_name);
  for (auto _ : st) {
    st.PauseTiming();
    auto s = full_state();
    st.ResumeTiming();
    run_phases(*s, "out.cfg");
    benchmark::DoNotOptimize(s->roster_count);
  }
}

// Names as the naming rule makes them, unique since the previous run.
void BM_phases_full_tables(benchmark::State& st) { bench_phases(st, nullptr); }
BENCHMARK(BM_phases_full_tables)->Unit(benchmark::kMillisecond);

// The worst case: 1024 rows of kivo.cfg edited to the same name.
void BM_phases_identical_names(benchmark::State& st) {
  bench_phases(st, "SarDefaul");
}
BENCHMARK(BM_phases_identical_names)->Unit(benchmark::kMillisecond);

// One phase alone, the phases before it run untimed: where the time goes.
void BM_phase(benchmark::State& st) {
  const Phase& phase = kPhases[st.range(0)];
  st.SetLabel(phase.name);
  previous_config(nullptr);
  for (auto _ : st) {
    st.PauseTiming();
    auto s = full_state();
    for (int i = 0; i < st.range(0); ++i) kPhases[i].run(*s);
    st.ResumeTiming();
    phase.run(*s);
    benchmark::DoNotOptimize(s->roster_count);
  }
}
BENCHMARK(BM_phase)
    ->DenseRange(0, kPhaseCount - 1)
    ->Iterations(30)
    ->Unit(benchmark::kMicrosecond);

}  // namespace

// The phases print their progress to standard output; it goes to /dev/null
// and the benchmark's table to standard error.
int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (std::freopen("/dev/null", "w", stdout) == nullptr) return 1;
  benchmark::ConsoleReporter console;
  console.SetOutputStream(&std::cerr);
  console.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&console);
  benchmark::Shutdown();
  return 0;
}
