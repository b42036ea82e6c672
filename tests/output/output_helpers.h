// output_helpers.h: what both flavours' output tests share.
#ifndef KIVO_TESTS_OUTPUT_OUTPUT_HELPERS_H
#define KIVO_TESTS_OUTPUT_OUTPUT_HELPERS_H

#include "output/output.h"
#include "support/support.h"

namespace output_test {

// Appends a visor player with the AI file hunter, named `name` as it stands.
inline Player& add(State& s, const std::string& name, char st = 'a',
                   int set = 0) {
  Player& p = test::add(s, "x default hunter " + std::to_string(set) + " " +
                               st + " visor default k");
  p.name.set(name);
  return p;
}

// Runs the output phase; what it printed on standard output, "|", and what
// on standard error, but rm's complaint that there was no old kivo.pk3.
inline std::string run_phase(State& s) {
  testing::internal::CaptureStderr();
  std::string out = test::printed([&] { gd_write_descrete_players(s); });
  std::string err = testing::internal::GetCapturedStderr();
  if (err.starts_with("rm: ")) err.erase(0, err.find('\n') + 1);
  return out + "|" + err;
}

}  // namespace output_test

#endif  // KIVO_TESTS_OUTPUT_OUTPUT_HELPERS_H
