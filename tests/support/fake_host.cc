#include "support/fake_host.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace test {

namespace fs = std::filesystem;

namespace {

constexpr char kMagic[] = "fake pk3\n";

// Only one fake run holds the folder's lock at a time.
bool g_lock_held = false;

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void spill(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// The line without its redirections, and whether it wrote the list file.
std::string bare(std::string line, bool* to_list) {
  *to_list = false;
  for (const char* tail : {" >kivo.tmp", " 2>/dev/null", " >/dev/null"}) {
    for (std::size_t at; (at = line.find(tail)) != std::string::npos;) {
      if (std::string(tail) == " >kivo.tmp") *to_list = true;
      line.erase(at, std::string(tail).size());
    }
  }
  return line;
}

std::vector<std::string> words(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  for (std::string w; in >> w;) {
    if (w.size() >= 2 && (w.front() == '"' || w.front() == '\''))
      w = w.substr(1, w.size() - 2);
    std::replace(w.begin(), w.end(), '\\', '/');
    out.push_back(w);
  }
  return out;
}

std::string listing(const std::string& archive, const FakeMembers& members) {
  std::string text = "Archive:  " + archive +
                     "\n  Length      Date    Time    Name\n"
                     "---------  ---------- -----   ----\n";
  std::size_t total = 0;
  for (const auto& [member, content] : members) {
    char row[512];
    std::snprintf(row, sizeof row, "%9zu  2024-01-01 10:00   %s\n",
                  content.size(), member.c_str());
    text += row;
    total += content.size();
  }
  char end[128];
  std::snprintf(end, sizeof end,
                "---------                     -------\n%9zu"
                "                     %zu files\n",
                total, members.size());
  return text + end;
}

// Every file under `folder`, with paths as an archive stores them.
void collect(const fs::path& folder, FakeMembers& members) {
  std::vector<fs::path> files;
  for (const auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  for (const fs::path& p : files) members[p.generic_string()] = slurp(p);
}

}  // namespace

void write_fake_pk3(const std::string& path, const FakeMembers& members) {
  std::string text = kMagic;
  for (const auto& [member, content] : members)
    text += member + "\n" + std::to_string(content.size()) + "\n" + content;
  spill(path, text);
}

FakeMembers read_fake_pk3(const std::string& path) {
  FakeMembers members;
  std::string text = slurp(path);
  if (!text.starts_with(kMagic)) return members;
  std::size_t at = std::string(kMagic).size();
  while (at < text.size()) {
    std::size_t eol = text.find('\n', at);
    std::string member = text.substr(at, eol - at);
    std::size_t eol2 = text.find('\n', eol + 1);
    std::size_t size = std::stoul(text.substr(eol + 1, eol2 - eol - 1));
    members[member] = text.substr(eol2 + 1, size);
    at = eol2 + 1 + size;
  }
  return members;
}

FakeHost::FakeHost(Fault fault, int at)
    : fault_(fault), at_(at), previous_(set_host(this)) {}

FakeHost::~FakeHost() {
  if (locked_) g_lock_held = false;
  set_host(previous_);
}

Fault FakeHost::step(const std::string& what) {
  ++operations;
  if (operations != at_ || fault_ == Fault::kNone) return Fault::kNone;
  faulted = what;
  if (fault_ == Fault::kKill) {
    // The kernel lets the lock go with the process; nothing else happens.
    if (locked_) g_lock_held = false;
    locked_ = false;
    throw Killed{};
  }
  if (fault_ == Fault::kInterrupt) signal_ = SIGINT;
  return fault_;
}

CommandStatus FakeHost::run(const char* line) {
  lines.emplace_back(line);
  Fault f = step(std::string("run ") + line);
  if (f == Fault::kInterrupt) return {0, SIGINT};
  if (f == Fault::kFail) {
    std::string l = line;
    return {l.starts_with("unzip") ? 50 : l.starts_with("zip") ? 14 : 1, 0};
  }
  return play(line);
}

CommandStatus FakeHost::play(const std::string& line) {
  bool to_list = false;
  std::vector<std::string> w = words(bare(line, &to_list));
  std::error_code ec;
  // The shell makes the file a redirection names before the command runs.
  if (to_list) spill("kivo.tmp", "");
  auto say = [&](const std::string& text) {
    if (to_list) spill("kivo.tmp", text);
  };
  if (w.empty()) return {0, 0};
  const std::string& tool = w[0];
  if ((tool == "ls" || tool == "dir") && to_list) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator("."))
      names.push_back(e.path().filename().string() +
                      (tool == "ls" && e.is_directory() ? "/" : ""));
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& n : names) text += n + "\n";
    say(text);
    return {0, 0};
  }
  if (tool == "unzip" && w.size() == 3 && w[1] == "-l") {
    if (!fs::is_regular_file(w[2])) return {9, 0};
    say(listing(w[2], read_fake_pk3(w[2])));
    return {0, 0};
  }
  if (tool == "unzip" && w.size() == 3) {
    FakeMembers members = read_fake_pk3(w[1]);
    auto m = members.find(w[2]);
    if (m == members.end()) return {11, 0};
    fs::create_directories(fs::path(w[2]).parent_path(), ec);
    spill(w[2], m->second);
    return {0, 0};
  }
  if (tool == "zip" && w.size() == 4 && w[1] == "-r") {
    if (!fs::is_directory(kZipTempFolder)) return {15, 0};
    FakeMembers members;
    if (fs::is_regular_file(w[2])) members = read_fake_pk3(w[2]);
    if (!fs::is_directory(w[3])) return {12, 0};
    members[w[3] + "/"] = "";
    collect(w[3], members);
    const fs::path temp = fs::path(kZipTempFolder) / "zi000001";
    write_fake_pk3(temp.string(), members);
    fs::rename(temp, w[2], ec);
    return {ec ? 15 : 0, 0};
  }
  if ((tool == "mv" || tool == "move") && w.size() == 3) {
    fs::path to = w[2];
    if (fs::is_directory(to)) to /= fs::path(w[1]).filename();
    if (!fs::exists(fs::symlink_status(w[1])) ||
        fs::exists(fs::symlink_status(to)))
      return {1, 0};
    fs::rename(w[1], to, ec);
    if (!ec) say("        1 file(s) moved.\n");
    return {ec ? 1 : 0, 0};
  }
  if (tool == "mkdir" && w.size() == 2)
    return {fs::create_directory(w[1], ec) ? 0 : 1, 0};
  if (tool == "rmdir" && w.size() == 2) {
    if (!fs::is_directory(fs::symlink_status(w[1])) || !fs::is_empty(w[1]))
      return {1, 0};
    return {fs::remove(w[1], ec) ? 0 : 1, 0};
  }
  if (tool == "rm" && w.size() == 3 && w[1] == "-R")
    return {fs::remove_all(w[2], ec) > 0 ? 0 : 1, 0};
  if ((tool == "rm" || tool == "del") && w.size() == 2)
    return {
        fs::is_regular_file(fs::symlink_status(w[1])) && fs::remove(w[1], ec)
            ? 0
            : 1,
        0};
  if (tool == "chmod" && w.size() == 3 && w[1] == "777") {
    fs::permissions(w[2], fs::perms::all, ec);
    return {ec ? 1 : 0, 0};
  }
  return {127, 0};
}

std::FILE* FakeHost::open_read(const char* path) {
  if (step(std::string("open ") + path) == Fault::kFail) {
    errno = EIO;
    return nullptr;
  }
  return real_host().open_read(path);
}

std::FILE* FakeHost::create(const char* path) {
  if (step(std::string("create ") + path) == Fault::kFail) {
    errno = ENOSPC;
    return nullptr;
  }
  return real_host().create(path);
}

int FakeHost::close(std::FILE* f, bool durable) {
  Fault fault = Fault::kNone;
  try {
    fault = step("close");
  } catch (const Killed&) {
    std::fclose(f);  // what was written stays, as after a real death
    throw;
  }
  if (fault == Fault::kFail) {
    std::fclose(f);
    return ENOSPC;
  }
  return real_host().close(f, durable);
}

int FakeHost::rename(const char* from, const char* to) {
  if (step(std::string("rename ") + from + " " + to) == Fault::kFail)
    return EIO;
  return real_host().rename(from, to);
}

int FakeHost::remove(const char* path) {
  if (step(std::string("remove ") + path) == Fault::kFail) return EIO;
  return real_host().remove(path);
}

int FakeHost::remove_tree(const char* path) {
  if (step(std::string("remove tree ") + path) == Fault::kFail) return EIO;
  return real_host().remove_tree(path);
}

int FakeHost::make_folder(const char* path) {
  if (step(std::string("mkdir ") + path) == Fault::kFail) return ENOSPC;
  return real_host().make_folder(path);
}

Entry FakeHost::entry(const char* path) {
  if (step(std::string("entry ") + path) == Fault::kFail) {
    errno = EIO;
    return Entry::kError;
  }
  return real_host().entry(path);
}

int FakeHost::read_only(const char* path) {
  if (step(std::string("read only ") + path) == Fault::kFail) return -1;
  return real_host().read_only(path);
}

int FakeHost::copy_file(const char* from, const char* to) {
  if (step(std::string("copy ") + from + " " + to) == Fault::kFail)
    return ENOSPC;
  return real_host().copy_file(from, to);
}

int FakeHost::copy_mode(const char* from, const char* to) {
  if (step(std::string("copy mode ") + from + " " + to) == Fault::kFail)
    return EIO;
  return real_host().copy_mode(from, to);
}

int FakeHost::fresh_mode(const char* path) {
  if (step(std::string("fresh mode ") + path) == Fault::kFail) return EIO;
  return real_host().fresh_mode(path);
}

int FakeHost::lock(const char* path, std::string& journal, long& holder) {
  journal.clear();
  holder = 0;
  if (step(std::string("lock ") + path) == Fault::kFail) {
    errno = EIO;
    return -1;
  }
  if (g_lock_held) {
    holder = 4242;
    return 0;
  }
  g_lock_held = locked_ = true;
  journal = slurp(path);
  if (!fs::exists(path)) spill(path, "");
  return 1;
}

int FakeHost::journal_reset() {
  if (step("journal reset") == Fault::kFail) return ENOSPC;
  spill(kLockFile, "kivorama 4242\n");
  return 0;
}

int FakeHost::journal(std::string_view records) {
  if (!locked_) return 0;
  if (step("journal " + std::string(records)) == Fault::kFail) return ENOSPC;
  std::ofstream(kLockFile, std::ios::binary | std::ios::app) << records;
  return 0;
}

void FakeHost::unlock(bool keep) {
  if (!locked_) return;
  if (!keep) fs::remove(kLockFile);
  locked_ = g_lock_held = false;
}

}  // namespace test
