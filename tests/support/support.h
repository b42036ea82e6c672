// support.h: what the tests share: a scratch folder to run in, a recorder
// that stands in for the shell, archives built from small trees with the
// real zip, and a way to run the built program and capture what it prints.
#ifndef KIVO_TESTS_SUPPORT_SUPPORT_H
#define KIVO_TESTS_SUPPORT_SUPPORT_H

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/core.h"

namespace test {

// A fresh empty folder that is the current folder for the object's life.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

// Replaces the command runner for its life: records every command line and
// hands each to `respond` (when set), which may play the command's part,
// for example by writing a listing into kivo.tmp.
class CommandRecorder {
 public:
  using Responder = std::function<void(const std::string& line)>;
  explicit CommandRecorder(Responder respond = nullptr);
  ~CommandRecorder();
  CommandRecorder(const CommandRecorder&) = delete;
  CommandRecorder& operator=(const CommandRecorder&) = delete;
  const std::vector<std::string>& lines() const { return lines_; }

 private:
  static int Record(const char* line);
  std::vector<std::string> lines_;
  Responder respond_;
  void* previous_;
};

// Writes `text` to `path` (binary, exactly these bytes), making folders.
void write_file(const std::filesystem::path& path, const std::string& text);
// The whole content of a file, or "" when it cannot be read.
std::string read_file(const std::filesystem::path& path);

// Members of an archive: path inside the archive -> content.
using Members = std::map<std::string, std::string>;
// Builds `archive` in the current folder with the real zip from `members`.
void make_pk3(const std::string& archive, const Members& members);

// What a run of the built program printed and how it ended.
struct ProgramRun {
  std::string out;
  std::string err;
  int status = -1;
};
// Runs the built kivorama in the current folder with `args`.
ProgramRun run_program(const std::vector<std::string>& args,
                       const std::string& env = "");

// A fresh State with the built-in catalogue and the generator seeded with
// `seed`, as the program makes it.
std::unique_ptr<State> fresh_state(std::uint32_t seed = 1);

}  // namespace test

#endif  // KIVO_TESTS_SUPPORT_SUPPORT_H
