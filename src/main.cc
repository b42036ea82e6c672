// kivorama: organises the bots of the game in its data folder baseq3.
#include "core/console.h"
#include "core/core.h"
#include "guard/guard.h"

int main(int argc, char** argv) {
  sy_hold_own_console();  // before the host gives stdin the null device
  const std::unique_ptr<Host> real = make_real_host();
  return kivorama_main(*real, argc, argv);
}
