#include "support/fault_host.h"

#include <cerrno>
#include <csignal>

#include "support/support.h"

namespace test {

FaultHost::FaultHost(Fault fault, int at, std::set<std::string> missing)
    : HostWrapper(real_host()),
      fault_(fault),
      at_(at),
      missing_(std::move(missing)),
      previous_(set_host(this)) {}

FaultHost::~FaultHost() {
  die();
  set_host(previous_);
}

void FaultHost::die() {
  for (std::FILE* f : open_) std::fclose(f);
  open_.clear();
  if (locked_) target().unlock(true);
  locked_ = false;
  if (away_) target().change_folder(nullptr);
  away_ = false;
}

Fault FaultHost::step(std::string what) {
  if (++operations != at_ || fault_ == Fault::kNone) return Fault::kNone;
  faulted = std::move(what);
  if (fault_ == Fault::kKill) {
    die();
    throw Killed{};
  }
  if (fault_ == Fault::kInterrupt) signal_ = SIGINT;
  return fault_;
}

CommandStatus FaultHost::run(const char* line) {
  const std::string l = line;
  lines.push_back(l);
  const Fault f = step("run " + l);
  if (f == Fault::kInterrupt) return {0, SIGINT};
  if (f == Fault::kFail)  // as the tools end when the disk is full
    return {l.starts_with("unzip") ? 50 : l.starts_with("zip") ? 14 : 1, 0};
  if (missing_.count(l.substr(0, l.find(' '))))
    return {kDosCommands ? 9009 : 127, 0};
  return target().run(line);
}

std::FILE* FaultHost::open_read(const char* path) {
  if (!fails(std::string("open ") + path)) return target().open_read(path);
  errno = EIO;
  return nullptr;
}

std::FILE* FaultHost::create(const char* path) {
  if (fails(std::string("create ") + path)) {
    errno = ENOSPC;
    return nullptr;
  }
  std::FILE* f = target().create(path);
  if (f != nullptr) open_.insert(f);
  return f;
}

int FaultHost::close(std::FILE* f, bool durable) {
  open_.erase(f);
  Fault fault = Fault::kNone;
  try {
    fault = step("close");
  } catch (const Killed&) {
    std::fclose(f);  // what was written stays, as after a real death
    throw;
  }
  if (fault != Fault::kFail) return target().close(f, durable);
  std::fclose(f);
  return ENOSPC;
}

// Counts the operation, and fails it with `failure` or passes it on.
#define KIVO_PASS(what, failure, call) \
  return fails(what) ? (failure) : target().call

int FaultHost::rename(const char* from, const char* to) {
  KIVO_PASS(std::string("rename ") + from + " " + to, EIO, rename(from, to));
}
int FaultHost::remove(const char* path) {
  KIVO_PASS(std::string("remove ") + path, EIO, remove(path));
}
int FaultHost::remove_tree(const char* path) {
  KIVO_PASS(std::string("remove tree ") + path, EIO, remove_tree(path));
}
int FaultHost::make_folder(const char* path) {
  KIVO_PASS(std::string("mkdir ") + path, ENOSPC, make_folder(path));
}
int FaultHost::identify(const char* path, bool follow, Identity& id) {
  KIVO_PASS(std::string("identify ") + path, EIO, identify(path, follow, id));
}
int FaultHost::list_folder(const char* path, std::vector<std::string>& names) {
  names.clear();
  KIVO_PASS(std::string("list ") + path, EIO, list_folder(path, names));
}
int FaultHost::real_path(const char* path, std::string& out) {
  KIVO_PASS(std::string("real path ") + path, EIO, real_path(path, out));
}
int FaultHost::read_only(const char* path) {
  KIVO_PASS(std::string("read only ") + path, -1, read_only(path));
}
int FaultHost::copy_file(const char* from, const char* to) {
  KIVO_PASS(std::string("copy ") + from + " " + to, ENOSPC,
            copy_file(from, to));
}
int FaultHost::copy_mode(const char* from, const char* to) {
  KIVO_PASS(std::string("copy mode ") + from, EIO, copy_mode(from, to));
}
int FaultHost::fresh_mode(const char* path) {
  KIVO_PASS(std::string("fresh mode ") + path, EIO, fresh_mode(path));
}
int FaultHost::journal_reset(std::string_view first) {
  KIVO_PASS("journal reset", ENOSPC, journal_reset(first));
}
int FaultHost::journal(std::string_view records) {
  KIVO_PASS("journal " + std::string(records), ENOSPC, journal(records));
}

Entry FaultHost::entry(const char* path) {
  if (!fails(std::string("entry ") + path)) return target().entry(path);
  errno = EIO;
  return Entry::kError;
}

int FaultHost::change_folder(const char* path) {
  if (path == nullptr) {  // coming back always works, as for the real host
    step("back to the game folder");
    away_ = false;
    return target().change_folder(nullptr);
  }
  if (fails(std::string("change folder ") + path)) return EIO;
  const int error = target().change_folder(path);
  away_ = error == 0;
  return error;
}

Lock FaultHost::lock(const char* path, std::size_t limit, std::string& journal,
                     LockRefusal& why) {
  if (fails(std::string("lock ") + path)) {
    errno = EIO;
    return Lock::kError;
  }
  const Lock taken = target().lock(path, limit, journal, why);
  locked_ = taken == Lock::kTaken;
  return taken;
}

void FaultHost::unlock(bool keep) {
  locked_ = false;
  target().unlock(keep);
}

Outcome run_main(const std::vector<std::string>& args, Fault fault, int at,
                 const std::set<std::string>& missing) {
  std::vector<std::string> words = {"kivorama"};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  Outcome o;
  FaultHost host(fault, at, missing);
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
