#include "support/fake_host.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "archive/archive.h"
#include "support/support.h"

namespace test {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kMagic = "fake pk3\n";

constexpr std::string_view kListingMagic = "fake listing\n";

// The words of a command line as the shell takes them apart: quotes taken
// off, '\'' as sh writes a quote, any other '\' made '/'; redirections
// are left out, and `to_list` tells whether the line wrote the list file.
std::vector<std::string> words(const std::string& line, bool& to_list) {
  std::vector<std::string> out;
  to_list = false;
  for (std::size_t i = 0; i < line.size();) {
    if (line[i] == ' ') {
      ++i;
      continue;
    }
    const std::size_t start = i;
    std::string w;
    for (char quote = 0; i < line.size() && (quote || line[i] != ' '); ++i) {
      const char c = line[i];
      if (quote ? c == quote : c == '\'' || c == '"')
        quote = quote ? 0 : c;
      else if (c == '\\' && !quote && line.compare(i + 1, 1, "'") == 0)
        w += line[++i];
      else
        w += c == '\\' && quote != '\'' ? '/' : c;
    }
    const std::string raw = line.substr(start, i - start);
    if (raw == ">kivo.tmp") to_list = true;
    if (!raw.starts_with(">") && !raw.starts_with("2>")) out.push_back(w);
  }
  return out;
}

// What unzip -l prints of the members, one row each.
std::string listing(const FakeMembers& members) {
  std::string text;
  for (const auto& [member, content] : members)
    text += std::to_string(content.size()) + "  2024-01-01 10:00   " + member +
            "\n";
  return text;
}

}  // namespace

std::string fake_pk3_text(const FakeMembers& members) {
  std::string text(kMagic);
  for (const auto& [member, content] : members)
    text += member + "\n" + std::to_string(content.size()) + "\n" + content;
  return text;
}

void write_fake_pk3(const std::string& path, const FakeMembers& members) {
  write_file(path, fake_pk3_text(members));
}

void write_fake_listing(const std::string& path, const std::string& listing) {
  write_file(path, std::string(kListingMagic) + listing);
}

FakeMembers read_fake_pk3(const std::string& path) {
  FakeMembers members;
  const std::string text = read_file(path);
  if (!text.starts_with(kMagic)) return members;
  for (std::size_t at = kMagic.size(); at < text.size();) {
    std::size_t eol = text.find('\n', at), eol2 = text.find('\n', eol + 1);
    std::size_t size = std::stoul(text.substr(eol + 1, eol2 - eol - 1));
    members[text.substr(at, eol - at)] = text.substr(eol2 + 1, size);
    at = eol2 + 1 + size;
  }
  return members;
}

void make_folder(const fs::path& from) {
  for (auto it = fs::recursive_directory_iterator(from);
       it != fs::recursive_directory_iterator(); ++it) {
    const fs::path path = it->path().lexically_relative(from);
    if (it->is_directory() && path.extension() == ".pk3") {
      it.disable_recursion_pending();
      FakeMembers members;
      for (const auto& e : fs::recursive_directory_iterator(it->path()))
        if (e.is_regular_file())
          members[e.path().lexically_relative(it->path()).generic_string()] =
              read_file(e.path());
      write_fake_pk3(path.string(), members);
    } else if (it->is_regular_file()) {
      write_file(path, read_file(it->path()));
    }
  }
}

FakeHost::FakeHost(Fault fault, int at)
    : fault_(fault), at_(at), previous_(set_host(this)) {}

FakeHost::~FakeHost() {
  leave_as_the_dead_do();
  set_host(previous_);
}

// What the death of the process would do: the kernel closes its files and
// lets the lock go, and
// the test goes on in the folder it started in.
void FakeHost::leave_as_the_dead_do() {
  // The files it was writing are closed, with what was written so far.
  for (std::FILE* f : open_) std::fclose(f);
  open_.clear();
  if (locked_) real_host().unlock(true);
  locked_ = false;
  if (away_) real_host().change_folder(nullptr);
  away_ = false;
}

Fault FakeHost::step(const std::string& what) {
  ++operations;
  if (operations != at_ || fault_ == Fault::kNone) return Fault::kNone;
  faulted = what;
  if (fault_ == Fault::kKill) {
    leave_as_the_dead_do();
    throw Killed{};
  }
  if (fault_ == Fault::kInterrupt) signal_ = SIGINT;
  return fault_;
}

// A path of the program's own: on a host without '\\' as a separator, the
// DOS/Windows command set's "scripts\\x.bot" is the file the commands made.
static std::string local(const char* path) {
  std::string p = path;
  if (kDosCommands) std::replace(p.begin(), p.end(), '\\', '/');
  return p;
}

bool FakeHost::fails(const std::string& what) {
  return step(what) == Fault::kFail;
}

CommandStatus FakeHost::run(const char* line) {
  lines.emplace_back(line);
  Fault f = step(std::string("run ") + line);
  if (f == Fault::kInterrupt) return {0, SIGINT};
  if (f != Fault::kFail) return play(line);
  std::string l = line;
  return {l.starts_with("unzip") ? 50 : l.starts_with("zip") ? 14 : 1, 0};
}

CommandStatus FakeHost::play(const std::string& line) {
  bool to_list = false;
  const std::vector<std::string> w = words(line, to_list);
  // The shell makes the file a redirection names before the command runs.
  if (to_list) write_file(kListFile, "");
  auto say = [&](const std::string& text) {
    if (to_list) write_file(kListFile, text);
    return CommandStatus{0, 0};
  };
  auto status = [](bool ok) { return CommandStatus{ok ? 0 : 1, 0}; };
  std::error_code ec;
  const std::string tool = w.empty() ? "" : w[0];
  const std::size_t n = w.size();
  if (missing.count(tool)) return {127, 0};
  if ((tool == "ls" || tool == "dir") && to_list) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator("."))
      names.push_back(e.path().filename().string() +
                      (tool == "ls" && e.is_directory() ? "/" : ""));
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names) text += name + "\n";
    return say(text);
  }
  if (tool == "unzip" && n == 3 && w[1] == "-l") {
    const std::string text = read_file(w[2]);
    if (text.starts_with(kListingMagic))
      return say(text.substr(kListingMagic.size()));
    if (text.starts_with(kMagic)) return say(listing(read_fake_pk3(w[2])));
    return {9, 0};  // no zip archive, or none there
  }
  if (tool == "unzip" && n == 3) {
    FakeMembers members = read_fake_pk3(w[1]);
    if (!members.count(w[2])) return {11, 0};
    write_file(w[2], members[w[2]]);
    return {0, 0};
  }
  if (tool == "zip" && n == 4 && w[1] == "-r") {
    if (!fs::is_directory(w[3])) return {15, 0};
    FakeMembers members = read_fake_pk3(w[2]);
    members[w[3] + "/"] = "";
    for (const auto& e : fs::recursive_directory_iterator(w[3]))
      if (e.is_regular_file())
        members[e.path().generic_string()] = read_file(e.path());
    const fs::path temp = "zi000001";
    write_fake_pk3(temp.string(), members);
    fs::rename(temp, w[2], ec);
    return {ec ? 15 : 0, 0};
  }
  if ((tool == "mv" || tool == "move") && n == 3) {
    fs::path to = w[2];
    if (fs::is_directory(to)) to /= fs::path(w[1]).filename();
    if (!fs::exists(fs::symlink_status(w[1])) ||
        fs::exists(fs::symlink_status(to)))
      return {1, 0};
    fs::rename(w[1], to, ec);
    return ec ? status(false) : say("        1 file(s) moved.\n");
  }
  const auto kind = fs::symlink_status(n > 1 ? w[n - 1] : "");
  if (tool == "mkdir" && n == 2) return status(fs::create_directory(w[1], ec));
  if (tool == "rmdir" && n == 2)
    return status(fs::is_directory(kind) && fs::is_empty(w[1]) &&
                  fs::remove(w[1], ec));
  if (tool == "rm" && n == 3 && w[1] == "-R")
    return status(fs::remove_all(w[2], ec) > 0);
  if ((tool == "rm" || tool == "del") && n == 2)
    return status(fs::is_regular_file(kind) && fs::remove(w[1], ec));
  if (tool == "chmod" && n == 3 && w[1] == "777") {
    fs::permissions(w[2], fs::perms::all, ec);
    return status(!ec);
  }
  return {127, 0};
}

// The file operations: the real host's, unless this one is to fail.
std::FILE* FakeHost::open_read(const char* path) {
  if (fails(std::string("open ") + path)) {
    errno = EIO;
    return nullptr;
  }
  // The DOS/Windows set's host reads CR LF as LF in text mode.
  if (!kDosCommands || kIsWindowsHost || !fs::is_regular_file(local(path)))
    return real_host().open_read(local(path).c_str());
  const std::string raw = read_file(local(path));
  std::string text;
  for (std::size_t i = 0; i < raw.size(); ++i)
    if (raw[i] != '\r' || raw.compare(i + 1, 1, "\n") != 0) text += raw[i];
  std::FILE* copy = std::tmpfile();
  std::fwrite(text.data(), 1, text.size(), copy);
  std::rewind(copy);
  return copy;
}

std::FILE* FakeHost::create(const char* path) {
  if (fails(std::string("create ") + path)) {
    errno = ENOSPC;
    return nullptr;
  }
  std::FILE* f = real_host().create(local(path).c_str());
  if (f != nullptr) open_.insert(f);
  return f;
}

int FakeHost::close(std::FILE* f, bool) {
  open_.erase(f);
  Fault fault = Fault::kNone;
  try {
    fault = step("close");
  } catch (const Killed&) {
    std::fclose(f);  // what was written stays, as after a real death
    throw;
  }
  if (fault != Fault::kFail)  // a test folder needs no flush to the disk
    return real_host().close(f, false);
  std::fclose(f);
  return ENOSPC;
}

#define KIVO_PASS(what, failure, call) \
  return fails(what) ? (failure) : real_host().call

int FakeHost::rename(const char* from, const char* to) {
  KIVO_PASS(std::string("rename ") + from + " " + to, EIO, rename(from, to));
}
int FakeHost::remove(const char* path) {
  KIVO_PASS(std::string("remove ") + path, EIO, remove(local(path).c_str()));
}
int FakeHost::remove_tree(const char* path) {
  KIVO_PASS(std::string("remove tree ") + path, EIO, remove_tree(path));
}
int FakeHost::make_folder(const char* path) {
  KIVO_PASS(std::string("mkdir ") + path, ENOSPC, make_folder(path));
}
Entry FakeHost::entry(const char* path) {
  if (!fails(std::string("entry ") + path))
    return real_host().entry(local(path).c_str());
  errno = EIO;
  return Entry::kError;
}
int FakeHost::list_folder(const char* path, std::vector<std::string>& names) {
  names.clear();
  KIVO_PASS(std::string("list ") + path, EIO,
            list_folder(local(path).c_str(), names));
}
int FakeHost::read_only(const char* path) {
  KIVO_PASS(std::string("read only ") + path, -1, read_only(path));
}
int FakeHost::copy_file(const char* from, const char* to) {
  KIVO_PASS(std::string("copy ") + from + " " + to, ENOSPC,
            copy_file(from, to));
}
int FakeHost::copy_mode(const char* from, const char* to) {
  KIVO_PASS(std::string("copy mode ") + from, EIO, copy_mode(from, to));
}
int FakeHost::fresh_mode(const char* path) {
  KIVO_PASS(std::string("fresh mode ") + path, EIO, fresh_mode(path));
}

int FakeHost::identify(const char* path, bool follow, Identity& id) {
  KIVO_PASS(std::string("identify ") + path, EIO,
            identify(local(path).c_str(), follow, id));
}
int FakeHost::real_path(const char* path, std::string& out) {
  KIVO_PASS(std::string("real path ") + path, EIO, real_path(path, out));
}
int FakeHost::change_folder(const char* path) {
  if (path == nullptr) {  // coming back always works, as for the real one
    step("back to the game folder");
    away_ = false;
    return real_host().change_folder(nullptr);
  }
  if (fails(std::string("change folder ") + path)) return EIO;
  int error = real_host().change_folder(path);
  away_ = error == 0;
  return error;
}

// The lock and its journal are the real host's.
Lock FakeHost::lock(const char* path, std::size_t limit, std::string& journal,
                    LockRefusal& why) {
  journal.clear();
  why = LockRefusal{};
  if (fails(std::string("lock ") + path)) {
    errno = EIO;
    return Lock::kError;
  }
  const Lock taken = real_host().lock(path, limit, journal, why);
  locked_ = taken == Lock::kTaken;
  return taken;
}
int FakeHost::journal_reset(std::string_view first) {
  KIVO_PASS(std::string("journal reset"), ENOSPC, journal_reset(first));
}
int FakeHost::journal(std::string_view records) {
  KIVO_PASS("journal " + std::string(records), ENOSPC, journal(records));
}
void FakeHost::unlock(bool keep) {
  locked_ = false;
  real_host().unlock(keep);
}

Outcome run_main(const std::vector<std::string>& args, Fault fault, int at,
                 const std::set<std::string>& missing) {
  std::vector<std::string> words = {"kivorama"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  Outcome o;
  FakeHost host(fault, at);
  host.missing = missing;
  Capture capture;
  try {
    o.status = kivorama_main(static_cast<int>(words.size()), argv.data());
  } catch (const Killed&) {
    o.status = -1;
  }
  o.out = capture.text();
  o.operations = host.operations;
  o.faulted = host.faulted;
  o.lines = host.lines;
  return o;
}

}  // namespace test
