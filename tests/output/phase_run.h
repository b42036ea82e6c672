// phase_run.h: what both flavours' output tests share: a roster player with
// the plainest values and a run of the phase that captures what it prints.
#ifndef KIVO_TESTS_OUTPUT_PHASE_RUN_H
#define KIVO_TESTS_OUTPUT_PHASE_RUN_H

#include <gtest/gtest.h>

#include <string>

#include "output/output.h"

namespace output_test {

// Appends a visor player with the default skin and the AI file hunter.
inline Player& add(State& s, const std::string& name, char st = 'a',
                   int set = 0) {
  Player* p = add_roster_player(s);
  p->name.set(name);
  p->funname.set("default");
  p->model.set("visor");
  p->player.set("default");
  p->aifile.set("hunter");
  p->st = st;
  p->set = set;
  return *p;
}

// Standard output and standard error of one run of the phase.
struct Printed {
  std::string out;
  std::string err;
};

// Runs the output phase over `s`, capturing both streams.
inline Printed run_phase(State& s) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  gd_write_descrete_players(s);
  Printed p;
  p.out = testing::internal::GetCapturedStdout();
  p.err = testing::internal::GetCapturedStderr();
  return p;
}

}  // namespace output_test

#endif  // KIVO_TESTS_OUTPUT_PHASE_RUN_H
