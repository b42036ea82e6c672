// support.h: what the tests share: a scratch folder, files made from text,
// a folder's whole content as one value to compare, what a piece of code
// prints, and runs of the built program by the host's shell.
#ifndef KIVO_TESTS_SUPPORT_SUPPORT_H
#define KIVO_TESTS_SUPPORT_SUPPORT_H

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/core.h"

namespace test {

inline constexpr bool kIsWindowsHost =
    std::filesystem::path::preferred_separator == '\\';

// Expects `text` among what `out` holds.
#define EXPECT_SAYS(out, text) \
  EXPECT_NE((out).find(text), std::string::npos) << (out)

// A fresh empty folder that is the current folder for the object's life.
struct ScratchDir {
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  std::filesystem::path path, previous;
};

// Copies everything in the folder `from` into the folder `to`, links as
// links.
void copy_into(const std::filesystem::path& from,
               const std::filesystem::path& to);
// Writes exactly `text` to `path`, making its folders.
void write_file(const std::filesystem::path& path, const std::string& text);
// The whole content of a file, or "" when it cannot be read.
std::string read_file(const std::filesystem::path& path);

// Everything under `root` but the list file kivo.tmp there: relative
// path with "/" between folders -> "d" and the permission bits for a folder,
// "l" and the target for a link, "f", the bits, ":" and the content for a
// file.
using Tree = std::map<std::string, std::string>;
Tree folder(const std::filesystem::path& root = ".");
// What folder() says of one path, "" for nothing.
std::string entry(const std::filesystem::path& path);
// What a tree holds at `path`, "" for nothing.
std::string at(const Tree& tree, const std::string& path);
// `tree` without the program's own files.
Tree players_part(Tree tree);

// `text` with the host's line ends: each "\n" becomes "\r\n" on Windows,
// where text-mode streams write them so.
std::string host_line_ends(std::string text);

// What `body` prints on standard output and standard error, the commands
// it runs included, in the order printed.
std::string printed(const std::function<void()>& body);

// This machine's host, the process left as the test runner set it up.
Host& real_host();

// A State as the program makes it, with the generator seeded with `seed`,
// in a run of its own on `host` (the real host when none is given): nothing
// said, nothing guarded yet.
std::shared_ptr<State> fresh_state(std::uint32_t seed = 1,
                                   Host* host = nullptr);
// Appends `times` roster players from a row of kivo.cfg's players block.
Player& add(State& s, const std::string& row, int times = 1);

// ---- The built program as a process, with the host's real tools ----

// What a command line run here by the host's shell printed on standard
// output, byte for byte (sh: all its commands; cmd: its first), and in
// `status` how it ended.
std::string shell(const std::string& line, int* status = nullptr);
// What the built program run here with `args` printed (both streams).
// `env`: sh variable assignments put before the command (Unix only).
std::string run_program(const std::vector<std::string>& args, int* status,
                        const std::string& env = "");
// Builds `archive` here with the real zip from member path -> content; a
// member whose path ends in "/" is a folder.
using Members = std::map<std::string, std::string>;
void make_pk3(const std::string& archive, const Members& members);
// What the real unzip finds in an archive: member path -> content (a
// folder's path ends in "/"); empty when it is no archive.
Members members(const std::string& archive);

// The cases' folders.
inline const std::filesystem::path kCases =
    std::filesystem::path(KIVO_SOURCE_DIR) / "tests/runs";
// Copies a case's game folder here; each folder named *.pk3 in it becomes
// an archive, by the real zip, of what it holds, its folders included.
void make_folder(const std::filesystem::path& from);

}  // namespace test

#endif  // KIVO_TESTS_SUPPORT_SUPPORT_H
