// kivorama: organises the bots of the game in its data folder baseq3.
#include "core/console.h"
#include "core/core.h"

int main(int argc, char** argv) {
  sy_put_own_folder_on_path();
  sy_hold_own_console();  // before host_init gives stdin the null device
  host_init();
  return kivorama_main(real_host(), argc, argv);
}
