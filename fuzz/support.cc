#include "support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "archive/archive.h"
#include "guard/guard.h"

namespace fuzz {

namespace {

std::filesystem::path g_scratch;

void remove_scratch() {
  std::error_code ec;
  std::filesystem::current_path("/", ec);
  std::filesystem::remove_all(g_scratch, ec);
}

// The real host, but a command that writes the list file gets the fuzzer's
// input there, as if the tool had printed it, and no other command runs.
class ReplayHost final : public HostWrapper {
 public:
  explicit ReplayHost(Host& real) : HostWrapper(real) {}
  CommandStatus run(const char* line) override {
    if (std::strstr(line, kListFile) == nullptr) return {};
    // Plain streams: libFuzzer's timer signal would break a file system copy.
    std::FILE* in = std::fopen(kListingInput, "rb");
    std::FILE* out = std::fopen(kListFile, "wb");
    if (in == nullptr || out == nullptr) std::abort();
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, in)) > 0;)
      if (std::fwrite(buf, 1, n, out) != n) std::abort();
    std::fclose(in);
    if (std::fclose(out) != 0) std::abort();
    return {};
  }
};

}  // namespace

void enter_scratch_folder() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "kivo-fuzz-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  g_scratch = pattern;
  std::filesystem::current_path(g_scratch);
  std::atexit(remove_scratch);
  // The phases report on standard output; the fuzzer's own lines go to
  // standard error.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
}

void write_input(const char* path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  if (std::fclose(f) != 0) std::abort();
}

std::shared_ptr<State> fresh_state() {
  static char program[] = "kivorama";
  static char* argv[] = {program, nullptr};
  static const std::unique_ptr<Host> real = make_real_host(Prepare::kNothing);
  static ReplayHost host(*real);
  // Each input starts a run of its own: no failure of an earlier one counts.
  auto s = create_run_state(host, 1, argv);
  rng_seed(*s, 1);
  return s;
}

}  // namespace fuzz
