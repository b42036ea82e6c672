#include <cstdarg>

#include "catalogue/catalogue.h"
#include "core/core.h"

std::unique_ptr<State> create_state(RunContext& run, int argc, char** argv) {
  auto s = std::make_unique<State>();
  s->argc = argc;
  s->argv = argv;
  s->run = &run;
  // Order matters: the stock players are built from the model table.
  gd_init_models(*s);
  gd_init_aifiles(*s);
  gd_init_players(*s);
  gd_init_defaults(*s);
  rng_seed(*s, static_cast<std::uint32_t>(run.host.now()));
  return s;
}

Player* add_roster_player(State& s) {
  if (s.roster_count < 0 || s.roster_count >= kTableRows) return nullptr;
  auto& slot = s.roster[s.roster_count];
  slot = std::make_unique<Player>();
  ++s.roster_count;
  return slot.get();
}

void rng_seed(State& s, std::uint32_t seed) { s.rng_state = seed; }

int rng_draw(State& s) {
  s.rng_state = s.rng_state * 214013u + 2531011u;
  return static_cast<int>((s.rng_state >> 16) & 0x7FFFu);
}

namespace {

// The body of both trace functions: nothing unless the build traces.
void trace_args(std::FILE* stream, const char* format, va_list args) {
  if constexpr (kTrace) {
    std::vfprintf(stream, format, args);
  } else {
    (void)stream;
    (void)format;
    (void)args;
  }
}

}  // namespace

void trace(const char* format, ...) {
  va_list args;
  va_start(args, format);
  trace_args(stdout, format, args);
  va_end(args);
}

void trace_to(std::FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  trace_args(stream, format, args);
  va_end(args);
}
