// kivorama: organises the bots of the game in its data folder baseq3.
#include <cstdio>

#include "core/core.h"

int main(int argc, char** argv) {
  auto state = create_state(argc, argv);
  run(*state, argc, argv);
  state.reset();
  std::printf("\n");
  std::printf("for help, '%s -h'\n", argc > 0 ? argv[0] : "kivorama");
  return 0;
}
