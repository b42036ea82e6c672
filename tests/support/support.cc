#include "support/support.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "config/config.h"

namespace test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() : previous(fs::current_path()) {
  std::string pattern = fs::temp_directory_path() / "kivo-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  path = pattern;
  fs::current_path(path);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::current_path(previous, ec);
  fs::remove_all(path, ec);
}

namespace {
CommandRecorder* g_recorder = nullptr;
std::string sh_quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text)
    quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
}  // namespace

CommandRecorder::CommandRecorder(Responder r) : respond(std::move(r)) {
  g_recorder = this;
  previous = set_command_runner([](const char* line) {
    g_recorder->lines.emplace_back(line);
    if (g_recorder->respond) g_recorder->respond(line);
    return 0;
  });
}

CommandRecorder::~CommandRecorder() {
  set_command_runner(previous);
  g_recorder = nullptr;
}

void write_file(const fs::path& path, const std::string& text) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The members go in in the map's order, so listings come in that order.
void make_pk3(const std::string& archive, const Members& members) {
  fs::path tree = fs::current_path() / ".pk3-tree";
  std::string line =
      "cd " + sh_quote(tree) + " && zip -q " + sh_quote(fs::absolute(archive));
  for (const auto& [member, text] : members) {
    write_file(tree / member, text);
    line += " " + sh_quote(member);
  }
  line += " >/dev/null 2>&1";
  if (std::system(line.c_str()) != 0) std::abort();
  fs::remove_all(tree);
}

std::map<std::string, std::string> folder() {
  std::map<std::string, std::string> tree;
  for (const auto& e : fs::recursive_directory_iterator(".")) {
    std::string& entry = tree[e.path().lexically_relative(".").string()];
    if (e.is_symlink())
      entry = "l" + fs::read_symlink(e.path()).string();
    else
      entry = e.is_directory() ? "d" : "f" + read_file(e.path());
  }
  tree.erase("kivo.tmp");
  return tree;
}

std::string shell(const std::string& line, int* status) {
  std::FILE* pipe = popen(line.c_str(), "r");
  std::string out;
  for (int c; (c = std::fgetc(pipe)) != EOF;) out += static_cast<char>(c);
  int ended = pclose(pipe);
  if (status != nullptr) *status = WIFEXITED(ended) ? WEXITSTATUS(ended) : -1;
  return out;
}

std::string run_program(const std::vector<std::string>& args, int* status,
                        const std::string& env) {
  std::string line = (env.empty() ? "" : env + " ") + sh_quote(KIVORAMA_EXE);
  for (const auto& arg : args) line += " " + sh_quote(arg);
  return shell(line + " 2>&1", status);
}

std::unique_ptr<State> fresh_state(std::uint32_t seed) {
  auto s = create_state(0, nullptr);  // no command line of its own
  rng_seed(*s, seed);
  // Each test is a run of its own: no failure of an earlier one counts.
  host().failed = 0;
  host().errors = 0;
  host().journaled.clear();
  return s;
}

Player& add(State& s, const std::string& row, int times) {
  Player* p = nullptr;
  for (int i = 0; i < times; ++i)
    gd_parse_player_row(*(p = add_roster_player(s)), row.c_str());
  return *p;
}

}  // namespace test
