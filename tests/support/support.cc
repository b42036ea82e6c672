#include "support/support.h"

#ifdef _WIN32
#include <io.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "config/config.h"
#include "guard/guard.h"

namespace test {

namespace fs = std::filesystem;

#ifdef _WIN32
// The Windows unzip.exe and zip.exe lie beside the built program, which the
// shell finds along PATH.
static const int kToolsOnPath = [] {
  const char* path = std::getenv("PATH");
  const std::string entry =
      "PATH=" + fs::path(KIVORAMA_EXE).parent_path().make_preferred().string() +
      ";" + (path ? path : "");
  return _putenv(entry.c_str());
}();
#endif

namespace {
std::string random_suffix() {
  static std::mt19937_64 draw(std::random_device{}());
  return std::to_string(draw() >> 24);
}

// The folder the tests' scratch folders and files go in: the temporary
// folder (TMPDIR, which the tests' CMake points at memory, /dev/shm), or,
// where nothing can be made there (a container's /dev/shm may be read-only
// or root's), the system's ordinary one. Looked for again when the
// temporary folder changes. Throws, naming each folder tried and why, when
// none takes a folder.
fs::path temp_base() {
  static std::string wanted_before;
  static fs::path base;
  std::error_code ec;
  const fs::path wanted = fs::temp_directory_path(ec);
  const std::string key = ec ? "?" + ec.message() : wanted.string();
  if (!base.empty() && key == wanted_before) return base;
  std::vector<fs::path> candidates;
  if (!ec) candidates.push_back(wanted);
#ifndef _WIN32
  candidates.push_back(P_tmpdir);
#endif
  std::string tried = ec ? "the temporary folder (" + ec.message() + ")" : "";
  for (const fs::path& folder : candidates) {
    const fs::path probe = folder / ("kivo-probe-" + random_suffix());
    if (fs::create_directory(probe, ec)) {
      fs::remove(probe, ec);
      wanted_before = key;
      return base = folder;
    }
    tried += (tried.empty() ? "'" : ", '") + folder.string() + "' (" +
             ec.message() + ")";
  }
  throw std::runtime_error("the tests can make no scratch folder: " + tried);
}

// A new name in the tests' temporary folder: the C library's tmpfile names
// clash between test processes that run at once on Windows.
fs::path temp_name(const std::string& prefix) {
  return temp_base() / (prefix + random_suffix());
}

// One literal argument for the host's shell. cmd takes everything between
// double quotes but '"' and '%', which the tests never pass.
std::string quote(const std::string& text) {
  if (kIsWindowsHost) return "\"" + text + "\"";
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? "'\\''" : std::string(1, c);
  return quoted + "'";
}
}  // namespace

ScratchDir::ScratchDir() : previous(fs::current_path()) {
  // create_directory makes a new folder or reports that the name is taken,
  // so two tests running at once never share one.
  std::error_code ec;
  fs::path name;
  for (int tries = 0; path.empty() && tries < 100; ++tries)
    if (name = temp_name("kivo-test-"); fs::create_directory(name, ec))
      path = name;
  if (path.empty())
    throw std::runtime_error("cannot make the scratch folder '" +
                             name.string() + "': " + ec.message());
  fs::current_path(path);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::current_path(previous, ec);
  // A test may leave a read-only folder behind; open it up to remove it.
  for (auto it = fs::recursive_directory_iterator(path, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec))
    if (it->is_directory(ec) && !it->is_symlink(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add,
                      ec);
  fs::remove_all(path, ec);
}

void copy_into(const fs::path& from, const fs::path& to) {
  // Entry by entry: mingw's copy of a whole folder onto one that is there
  // takes any two folders of a drive for the same one, and refuses.
  for (const auto& e : fs::directory_iterator(from))
    fs::copy(e.path(), to / e.path().filename(),
             fs::copy_options::recursive | fs::copy_options::copy_symlinks);
}

void write_file(const fs::path& path, const std::string& text) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

std::string read_file(const fs::path& path) {
  std::ostringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

std::string entry(const fs::path& path) {
  std::error_code ec;
  const auto st = fs::symlink_status(path, ec);
  const std::string mode =
      std::to_string(static_cast<unsigned>(st.permissions()) & 0777);
  if (!fs::exists(st)) return "";
  if (fs::is_symlink(st)) return "l" + fs::read_symlink(path).string();
  if (fs::is_directory(st)) return "d" + mode;
  if (!fs::is_regular_file(st)) return "o" + mode;  // a pipe is never read
  // An archive is the member names and contents the game would load; its
  // bytes also hold the times zip put in. Read once for each content.
  const std::string bytes = read_file(path);
  if (path.extension() != ".pk3") return "f" + mode + ":" + bytes;
  static std::map<std::string, std::string> archives;  // bytes -> members
  std::string& zip = archives[bytes];
  if (zip.empty())
    for (const auto& [member, content] : members(path.string()))
      zip += member + "\n" + std::to_string(content.size()) + "\n" + content;
  return (zip.empty() ? "f" : "z") + mode + ":" + (zip.empty() ? bytes : zip);
}

Tree folder(const fs::path& root) {
  Tree tree;
  for (const auto& e : fs::recursive_directory_iterator(root))
    tree[e.path().lexically_relative(root).generic_string()] = entry(e.path());
  tree.erase("kivo.tmp");
  return tree;
}

std::string at(const Tree& tree, const std::string& path) {
  auto it = tree.find(path);
  return it == tree.end() ? "" : it->second;
}

Tree players_part(Tree tree) {
  for (const char* own :
       {"kivo.cfg", "kivo.cfg.bak", "kivo.cfg.bak.1", "kivo.pk3"})
    tree.erase(own);
  return tree;
}

std::string host_line_ends(std::string text) {
  for (auto at = text.find('\n'); kIsWindowsHost && at != text.npos;
       at = text.find('\n', at + 2))
    text.insert(at, 1, '\r');
  return text;
}

std::string printed(const std::function<void()>& body) {
  const fs::path path = temp_name("kivo-out-");
  std::FILE* file = std::fopen(path.string().c_str(), "w+b");
  if (file == nullptr)
    throw std::runtime_error("cannot make the file '" + path.string() +
                             "': " + std::strerror(errno));
  std::fflush(stdout);
  // Unbuffered, so that both streams keep the order of the program's lines.
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const int saved[] = {dup(1), dup(2)};
  for (int fd : {1, 2}) dup2(fileno(file), fd);
  body();
  std::fflush(stderr);
  for (int fd : {1, 2}) dup2(saved[fd - 1], fd), close(saved[fd - 1]);
  std::setvbuf(stdout, nullptr, _IOLBF, BUFSIZ);
  std::fclose(file);
  std::string out = read_file(path);
  fs::remove(path);
  return out;
}

Host& real_host() {
  static const std::unique_ptr<Host> host = make_real_host(Prepare::kNothing);
  return *host;
}

std::shared_ptr<State> fresh_state(std::uint32_t seed, Host* host) {
  // No command line of its own.
  auto s = create_run_state(host != nullptr ? *host : real_host(), 0, nullptr);
  rng_seed(*s, seed);
  return s;
}

Player& add(State& s, const std::string& row, int times) {
  Player* p = nullptr;
  for (int i = 0; i < times; ++i)
    gd_parse_player_row(*(p = add_roster_player(s)), row.c_str());
  return *p;
}

std::string shell(const std::string& line, int* status) {
  const fs::path out = temp_name("kivo-out-");
  // In sh the output of every command of the line, grouped; in cmd that of
  // its first (wine's cmd drops a group's), and /c drops the first and the
  // last quote of a line that begins with one.
  const std::string whole =
      kIsWindowsHost ? "\">" + quote(out.string()) + " " + line + "\""
                     : "(" + line + " ) >" + quote(out.string());
  int ended = std::system(whole.c_str());
#ifndef _WIN32
  ended = WIFEXITED(ended) ? WEXITSTATUS(ended) : -1;
#endif
  if (status != nullptr) *status = ended;
  std::string text = read_file(out);
  fs::remove(out);
  return text;
}

std::string run_program(const std::vector<std::string>& args, int* status,
                        const std::string& env) {
  std::string line = (env.empty() ? "" : env + " ") +
                     quote(fs::path(KIVORAMA_EXE).make_preferred().string());
  for (const auto& arg : args) line += " " + quote(arg);
  return shell(line + " 2>&1", status);
}

// The members go in in the map's order, so listings come in that order.
void make_pk3(const std::string& archive, const Members& members) {
  const fs::path tree = fs::current_path() / ".pk3-tree";
  std::string names;  // zip reads them one a line: no line is too long
  for (const auto& [member, text] : members) {
    if (member.ends_with("/"))
      fs::create_directories(tree / member);
    else
      write_file(tree / member, text);
    names += member + "\n";
  }
  write_file(tree / ".names", names);
  int status = 0;
  shell(std::string(kIsWindowsHost ? "cd /d " : "cd ") + quote(tree.string()) +
            (kIsWindowsHost ? " && zip -q -S " : " && zip -q ") +
            quote(fs::absolute(archive).string()) + " -@ <.names",
        &status);
  if (status != 0) ADD_FAILURE() << "zip could not make " << archive;
  fs::remove_all(tree);
}

namespace {
// What the folder `tree` holds, as members of an archive: every folder too,
// as zip -r makes them; nothing when there is no such folder.
Members files_in(const fs::path& tree) {
  Members out;
  std::error_code none;
  for (const auto& e : fs::recursive_directory_iterator(tree, none))
    out[e.path().lexically_relative(tree).generic_string() +
        (e.is_directory() ? "/" : "")] =
        e.is_directory() ? "" : read_file(e.path());
  return out;
}
}  // namespace

Members members(const std::string& archive) {
  const fs::path tree = fs::current_path() / ".pk3-tree";
  int status = 0;
  shell("unzip -qq -o " + quote(archive) + " -d " + quote(tree.string()),
        &status);
  const Members out = status == 0 ? files_in(tree) : Members{};
  fs::remove_all(tree);
  return out;
}

void make_folder(const fs::path& from) {
  copy_into(from, ".");
  std::vector<fs::path> archives;  // each folder named *.pk3, not within one
  for (auto it = fs::recursive_directory_iterator(".");
       it != fs::recursive_directory_iterator(); ++it)
    if (it->is_directory() && it->path().extension() == ".pk3")
      archives.push_back(it->path()), it.disable_recursion_pending();
  for (const fs::path& archive : archives) {
    const Members files = files_in(archive);
    fs::remove_all(archive);
    make_pk3(archive.string(), files);
  }
}

}  // namespace test
