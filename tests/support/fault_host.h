// fault_host.h: the real host under a decorator that counts every operation
// the program asks of it (commands, file operations, the lock and its
// journal) and fails, interrupts or kills the run at any one of them. The
// shell, zip and unzip are the host's own; nothing else is faked.
#ifndef KIVO_TESTS_SUPPORT_FAULT_HOST_H
#define KIVO_TESTS_SUPPORT_FAULT_HOST_H

#include <cerrno>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/core.h"

namespace test {

// What happens at the chosen operation.
enum class Fault {
  kNone,
  kFail,       // it fails: a command is not run and ends with an error
               // status, a file operation reports ENOSPC or EIO
  kInterrupt,  // a signal arrives: a command's child dies of SIGINT, a file
               // operation completes and the run is asked to stop
  kKill,       // the process dies before it: nothing more runs
};

// Thrown out of the run when the host kills it.
struct Killed {};

// Called before each operation of a run: what a watcher (the game) sees
// at that instant is what a test checks there.
inline std::function<void()> each_operation;
// The operation about to be done when each_operation is called, as Seen's
// `faulted` names it ("copy_mode kivo.cfg").
inline std::string operation;

// An operation on `what`, passed on unless it is the one to fail, which
// reports `failure`, an errno value.
#define KIVO_COUNTED(call, params, args, what, failure)      \
  int call params override {                                 \
    if (step(#call " " + std::string(what)) != Fault::kFail) \
      return target().call args;                             \
    return failure;                                          \
  }

// What a host saw of a run.
struct Seen {
  int operations = 0;              // asked of it so far
  std::vector<std::string> lines;  // the command lines, in order
  std::string faulted;             // what the faulted operation was
};

class FaultHost final : public HostWrapper, public Seen {
 public:
  // Faults operation `at` (counted from 1) with `fault`; a command whose
  // tool is in `missing` ends as the shell ends one it cannot find.
  FaultHost(Fault fault, int at, std::set<std::string> missing = {});
  ~FaultHost() override;

  CommandStatus run(const char* line) override;
  int create(const char* path, std::FILE*& out) override;
  int close(std::FILE* f, bool durable) override;
  int change_folder(const char* path) override;
  int lock(const char* path, std::size_t limit, std::string& journal,
           LockRefusal& why, std::unique_ptr<HeldLock>& taken,
           Lock& got) override;
  int interrupted() override { return signal_; }
  long long now() override { return 1700000000; }  // the same draws each run
  KIVO_COUNTED(open_read, (const char* p, bool f, std::FILE*& o), (p, f, o), p,
               EIO)
  KIVO_COUNTED(rename, (const char* f, const char* t), (f, t), f, EIO)
  KIVO_COUNTED(remove, (const char* p), (p), p, EIO)
  KIVO_COUNTED(remove_tree, (const char* p), (p), p, EIO)
  KIVO_COUNTED(make_folder, (const char* p), (p), p, ENOSPC)
  KIVO_COUNTED(entry, (const char* p, Entry& o), (p, o), p, EIO)
  KIVO_COUNTED(identify, (const char* p, bool f, Identity& id), (p, f, id), p,
               EIO)
  KIVO_COUNTED(list_folder, (const char* p, std::vector<std::string>& n),
               (p, n), p, EIO)
  KIVO_COUNTED(real_path, (const char* p, std::string& o), (p, o), p, EIO)
  KIVO_COUNTED(read_only, (const char* p, bool& o), (p, o), p, EIO)
  KIVO_COUNTED(copy_file, (const char* f, const char* t), (f, t), f, ENOSPC)
  KIVO_COUNTED(copy_mode, (const char* f, const char* t), (f, t), f, EIO)
  KIVO_COUNTED(fresh_mode, (const char* p), (p), p, EIO)
  KIVO_COUNTED(folder_access, (const char* p, FolderAccess& a), (p, a), p, EIO)

 private:
  // Counts one operation `what`; what the fault asks of it.
  Fault step(std::string what);
  // What the death of the process does: its files are closed with what was
  // written so far, the lock is let go with its journal, and the test goes
  // on in the folder it started in.
  void die();

  // The lock file taken, its journal writes counted as operations of the
  // host that took it, until it is let go.
  class CountedLock;

  Fault fault_;
  int at_;
  std::set<std::string> missing_;
  int signal_ = 0;
  CountedLock* held_ = nullptr;
  bool away_ = false;
  std::set<std::FILE*> open_;  // streams of create() not yet closed
};

// A whole run of the program in this process on the current folder.
struct Outcome : Seen {
  int status = -1;  // the exit status, -1 when it was killed
  std::string out;  // what it printed on both streams
};
Outcome run_main(const std::vector<std::string>& args = {},
                 Fault fault = Fault::kNone, int at = 0,
                 const std::set<std::string>& missing = {});

}  // namespace test

#endif  // KIVO_TESTS_SUPPORT_FAULT_HOST_H
