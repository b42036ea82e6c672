#include "support.h"

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "archive/archive.h"

namespace fuzz {

namespace {

std::filesystem::path g_scratch;

void remove_scratch() {
  std::error_code ec;
  std::filesystem::current_path("/", ec);
  std::filesystem::remove_all(g_scratch, ec);
}

int run_nothing(const char*) { return 0; }

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
  set_command_runner(run_nothing);
}

void write_input(const char* path, const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path, "wb");
  if (f == nullptr) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
  if (std::fclose(f) != 0) std::abort();
}

std::unique_ptr<State> fresh_state() {
  static char program[] = "kivorama";
  static char* argv[] = {program, nullptr};
  auto s = create_state(1, argv);
  rng_seed(*s, 1);
  return s;
}

}  // namespace fuzz
