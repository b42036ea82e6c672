// The program as it is, with every command line it runs also appended to the
// file named by KIVO_RECORD_FILE, so that kivo_replay can run the same lines
// without the program around them.
#include <cstdio>
#include <cstdlib>

#include "archive/archive.h"
#include "core/core.h"

namespace {

std::FILE* g_record = nullptr;

int record_and_run(const char* line) {
  std::fprintf(g_record, "%s\n", line);
  std::fflush(g_record);
  return std::system(line);
}

}  // namespace

int main(int argc, char** argv) {
  const char* path = std::getenv("KIVO_RECORD_FILE");
  if (path == nullptr || (g_record = std::fopen(path, "w")) == nullptr) {
    std::fprintf(stderr,
                 "kivo_record: set KIVO_RECORD_FILE to a writable file\n");
    return 2;
  }
  set_command_runner(record_and_run);
  auto state = create_state(argc, argv);
  run(*state, argc, argv);
  state.reset();
  std::fclose(g_record);
  std::printf("\n");
  std::printf("for help, '%s -h'\n", argc > 0 ? argv[0] : "kivorama");
  return 0;
}
