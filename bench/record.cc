// The program as it is, with every command line it runs also appended to the
// file named by KIVO_RECORD_FILE, so that kivo_replay can run the same lines
// without the program around them.
#include <cstdio>
#include <cstdlib>

#include "archive/archive.h"
#include "core/core.h"
#include "guard/guard.h"

namespace {

// The real host, with every command line also written to the record.
class RecordingHost final : public HostWrapper {
 public:
  RecordingHost(Host& real, std::FILE* record)
      : HostWrapper(real), record_(record) {}
  CommandStatus run(const char* line) override {
    std::fprintf(record_, "%s\n", line);
    std::fflush(record_);
    return target().run(line);
  }

 private:
  std::FILE* record_;
};

}  // namespace

int main(int argc, char** argv) {
  const char* path = std::getenv("KIVO_RECORD_FILE");
  std::FILE* record = path != nullptr ? std::fopen(path, "w") : nullptr;
  if (record == nullptr) {
    std::fprintf(stderr,
                 "kivo_record: set KIVO_RECORD_FILE to a writable file\n");
    return 2;
  }
  const std::unique_ptr<Host> real = make_real_host();
  RecordingHost host(*real, record);
  auto state = create_run_state(host, argc, argv);
  run(*state, argc, argv);
  state.reset();
  std::fclose(record);
  std::printf("\n");
  std::printf("for help, '%s -h'\n", argc > 0 ? argv[0] : "kivorama");
  return 0;
}
