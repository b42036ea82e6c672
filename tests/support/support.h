// support.h: what the tests share: a scratch folder, a recorder standing in
// for the shell, files and archives made from text, runs of the program.
#ifndef KIVO_TESTS_SUPPORT_SUPPORT_H
#define KIVO_TESTS_SUPPORT_SUPPORT_H

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "archive/archive.h"
#include "core/core.h"

// Skips the test where the host has no Unix shell with the Unix tools
// (Windows): the Unix command set and the real ls, zip and unzip need one.
#ifdef _WIN32
#define KIVO_NEEDS_UNIX_SHELL() \
  GTEST_SKIP() << "needs a Unix shell with ls, mv, rm, zip and unzip"
#else
#define KIVO_NEEDS_UNIX_SHELL() static_cast<void>(0)
#endif

namespace test {

// A fresh empty folder that is the current folder for the object's life.
struct ScratchDir {
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  std::filesystem::path path, previous;
};

// Stands in for the shell for its life: records every command line and hands
// it to `respond` (when set), which may play the command's part.
struct CommandRecorder {
  using Responder = std::function<void(const std::string& line)>;
  explicit CommandRecorder(Responder respond = nullptr);
  ~CommandRecorder();
  CommandRecorder(const CommandRecorder&) = delete;
  std::vector<std::string> lines;
  Responder respond;
  CommandRunner previous;
};

// Writes exactly `text` to `path`, making its folders.
void write_file(const std::filesystem::path& path, const std::string& text);
// The whole content of a file, or "" when it cannot be read.
std::string read_file(const std::filesystem::path& path);
// Builds `archive` here with the real zip from member path -> content.
using Members = std::map<std::string, std::string>;
void make_pk3(const std::string& archive, const Members& members);
// Every entry under the current folder but kivo.tmp: relative path with "/"
// between folders -> "d" for a folder, "l" + target for a link, "f" +
// content for a file.
std::map<std::string, std::string> folder();
// `text` with the host's line ends: each "\n" becomes "\r\n" on Windows,
// where text-mode streams write them so.
std::string host_line_ends(std::string text);

// What a command line run here by the host's shell (sh, or cmd on Windows)
// printed on standard output, byte for byte.
std::string shell(const std::string& line, int* status = nullptr);
// The built program, by the path the host's shell takes.
std::string program_path();
// What the built program run here with `args` printed (both streams).
// `env`: sh variable assignments put before the command (Unix only).
std::string run_program(const std::vector<std::string>& args, int* status,
                        const std::string& env = "");

// A State as the program makes it, with the generator seeded with `seed`.
std::unique_ptr<State> fresh_state(std::uint32_t seed = 1);
// Appends `times` roster players from a row of kivo.cfg's players block.
Player& add(State& s, const std::string& row, int times = 1);

// What `body` prints on standard output.
template <class Body>
std::string printed(Body body) {
  testing::internal::CaptureStdout();
  body();
  return testing::internal::GetCapturedStdout();
}

}  // namespace test

#endif  // KIVO_TESTS_SUPPORT_SUPPORT_H
