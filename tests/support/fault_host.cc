#include "support/fault_host.h"

#include <csignal>
#include <utility>

#include "guard/guard.h"
#include "support/support.h"

namespace test {

class FaultHost::CountedLock final : public HeldLock {
 public:
  CountedLock(FaultHost& host, std::unique_ptr<HeldLock> file)
      : host_(&host), file_(std::move(file)) {}
  ~CountedLock() override { forget(); }
  int reset(std::string_view s) override {
    if (host_ && host_->step("journal_reset " + std::string(s)) == Fault::kFail)
      return ENOSPC;
    return file_->reset(s);
  }
  int append(std::string_view s) override {
    if (host_ && host_->step("journal " + std::string(s)) == Fault::kFail)
      return ENOSPC;
    return file_->append(s);
  }
  void release(bool keep) override { forget(), file_->release(keep); }
  // The process dies: the lock goes with its journal, and nothing more is
  // counted.
  void die() { host_ = nullptr, file_->release(true); }

 private:
  void forget() {
    if (host_ && host_->held_ == this) host_->held_ = nullptr;
    host_ = nullptr;
  }
  FaultHost* host_;
  std::unique_ptr<HeldLock> file_;
};

FaultHost::FaultHost(Fault fault, int at, std::set<std::string> missing)
    : HostWrapper(real_host()),
      fault_(fault),
      at_(at),
      missing_(std::move(missing)) {}

FaultHost::~FaultHost() { die(); }

void FaultHost::die() {
  for (std::FILE* f : open_) std::fclose(f);
  open_.clear();
  if (CountedLock* held = std::exchange(held_, nullptr)) held->die();
  if (std::exchange(away_, false)) target().change_folder(nullptr);
}

Fault FaultHost::step(std::string what) {
  operation = what;
  if (each_operation) each_operation();
  if (++operations != at_ || fault_ == Fault::kNone) return Fault::kNone;
  faulted = std::move(what);
  if (fault_ == Fault::kKill) die(), throw Killed{};
  if (fault_ == Fault::kInterrupt) signal_ = SIGINT;
  return fault_;
}

CommandStatus FaultHost::run(const char* line) {
  const std::string l = line;
  lines.push_back(l);
  const Fault f = step("run " + l);
  if (f == Fault::kInterrupt) return {0, SIGINT};
  if (f == Fault::kFail && l.starts_with("zip"))  // it may leave a torn file
    return write_file("kivo.pk3", "PK\x03\x04 torn"), CommandStatus{14, 0};
  if (f == Fault::kFail)  // as the tools end when the disk is full
    return {l.starts_with("unzip") ? 50 : 1, 0};
  if (missing_.count(l.substr(0, l.find(' '))))
    return {kDosCommands ? 9009 : 127, 0};
  return target().run(line);
}

int FaultHost::create(const char* path, std::FILE*& out) {
  out = nullptr;
  if (step(std::string("create ") + path) == Fault::kFail) return ENOSPC;
  const int error = target().create(path, out);
  if (out != nullptr) open_.insert(out);
  return error;
}

int FaultHost::close(std::FILE* f, bool durable) {
  const Fault fault = step("close");  // a kill closes it with the others
  open_.erase(f);
  if (fault != Fault::kFail) return target().close(f, durable);
  return std::fclose(f), ENOSPC;
}

int FaultHost::change_folder(const char* path) {
  if (step(std::string("change_folder ") + (path ? path : "back")) ==
      Fault::kFail)
    return EIO;
  const int error = target().change_folder(path);
  away_ = path != nullptr && error == 0;
  return error;
}

int FaultHost::lock(const char* path, std::size_t limit, std::string& journal,
                    LockRefusal& why, std::unique_ptr<HeldLock>& taken,
                    Lock& got) {
  if (step(std::string("lock ") + path) == Fault::kFail) return EIO;
  const int result = target().lock(path, limit, journal, why, taken, got);
  if (taken) {
    auto counted = std::make_unique<CountedLock>(*this, std::move(taken));
    held_ = counted.get();
    taken = std::move(counted);
  }
  return result;
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
  o.out = printed([&] {
    try {
      o.status =
          kivorama_main(host, static_cast<int>(words.size()), argv.data());
    } catch (const Killed&) {
      o.status = -1;
    }
  });
  static_cast<Seen&>(o) = host;
  return o;
}

}  // namespace test
