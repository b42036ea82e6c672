#include "support/support.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "archive/archive.h"

namespace test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() : previous_(fs::current_path()) {
  std::string pattern = (fs::temp_directory_path() / "kivo-test-XXXXXX");
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
  fs::current_path(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::current_path(previous_, ec);
  // Permissions a test took away must not keep the folder from going.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all,
                    fs::perm_options::add | fs::perm_options::nofollow, ec);
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

namespace {
CommandRecorder* g_recorder = nullptr;
}

CommandRecorder::CommandRecorder(Responder respond)
    : respond_(std::move(respond)) {
  g_recorder = this;
  previous_ = reinterpret_cast<void*>(set_command_runner(&Record));
}

CommandRecorder::~CommandRecorder() {
  set_command_runner(reinterpret_cast<CommandRunner>(previous_));
  g_recorder = nullptr;
}

int CommandRecorder::Record(const char* line) {
  g_recorder->lines_.emplace_back(line);
  if (g_recorder->respond_) g_recorder->respond_(line);
  return 0;
}

void write_file(const fs::path& path, const std::string& text) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return "";
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

namespace {
std::string sh_quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
}  // namespace

void make_pk3(const std::string& archive, const Members& members) {
  fs::path tree = fs::current_path() / ".pk3-tree";
  fs::remove_all(tree);
  fs::create_directories(tree);
  for (const auto& [member, text] : members) write_file(tree / member, text);
  fs::path target = fs::absolute(archive);
  fs::remove(target);
  std::string line = "cd " + sh_quote(tree.string()) + " && zip -q -r " +
                     sh_quote(target.string()) + " . >/dev/null 2>&1";
  if (std::system(line.c_str()) != 0) std::abort();
  fs::remove_all(tree);
}

ProgramRun run_program(const std::vector<std::string>& args,
                       const std::string& env) {
  std::string line = env.empty() ? "" : env + " ";
  line += sh_quote(KIVORAMA_EXE);
  for (const auto& arg : args) line += " " + sh_quote(arg);
  fs::path out = fs::temp_directory_path() /
                 ("kivo-run-" + std::to_string(getpid()) + ".out");
  fs::path err = out;
  err.replace_extension(".err");
  line += " >" + sh_quote(out.string()) + " 2>" + sh_quote(err.string());
  ProgramRun result;
  int status = std::system(line.c_str());
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = read_file(out);
  result.err = read_file(err);
  fs::remove(out);
  fs::remove(err);
  return result;
}

std::unique_ptr<State> fresh_state(std::uint32_t seed) {
  static char program[] = "kivorama";
  static char* argv[] = {program, nullptr};
  auto s = create_state(1, argv);
  rng_seed(*s, seed);
  return s;
}

}  // namespace test
