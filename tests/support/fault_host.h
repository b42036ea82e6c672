// fault_host.h: the real host under a decorator that counts every operation
// the program asks of it (commands, file operations, the lock and its
// journal) and fails, interrupts or kills the run at any one of them. The
// shell, zip and unzip are the host's own; nothing else is faked.
#ifndef KIVO_TESTS_SUPPORT_FAULT_HOST_H
#define KIVO_TESTS_SUPPORT_FAULT_HOST_H

#include <ostream>
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

inline void PrintTo(Fault fault, std::ostream* out) {
  *out << (fault == Fault::kFail        ? "fail"
           : fault == Fault::kInterrupt ? "interrupt"
           : fault == Fault::kKill      ? "kill"
                                        : "none");
}

// Thrown out of the run when the host kills it.
struct Killed {};

class FaultHost final : public HostWrapper {
 public:
  // Faults operation `at` (counted from 1) with `fault`; a command whose
  // tool is in `missing` ends as the shell ends one it cannot find.
  FaultHost(Fault fault, int at, std::set<std::string> missing = {});
  ~FaultHost() override;

  CommandStatus run(const char* line) override;
  std::FILE* open_read(const char* path) override;
  std::FILE* create(const char* path) override;
  int close(std::FILE* f, bool durable) override;
  int rename(const char* from, const char* to) override;
  int remove(const char* path) override;
  int remove_tree(const char* path) override;
  int make_folder(const char* path) override;
  Entry entry(const char* path) override;
  int identify(const char* path, bool follow, Identity& id) override;
  int list_folder(const char* path, std::vector<std::string>& names) override;
  int real_path(const char* path, std::string& out) override;
  int change_folder(const char* path) override;
  int read_only(const char* path) override;
  int copy_file(const char* from, const char* to) override;
  int copy_mode(const char* from, const char* to) override;
  int fresh_mode(const char* path) override;
  Lock lock(const char* path, std::size_t limit, std::string& journal,
            LockRefusal& why) override;
  int journal_reset(std::string_view first) override;
  int journal(std::string_view records) override;
  void unlock(bool keep) override;
  int interrupted() override { return signal_; }
  long long now() override { return 1700000000; }  // the same draws each run

  int operations = 0;              // asked of it so far
  std::vector<std::string> lines;  // the command lines, in order
  std::string faulted;             // what the faulted operation was

 private:
  // Counts one operation `what`; what the fault asks of it.
  Fault step(std::string what);
  bool fails(std::string what) { return step(std::move(what)) == Fault::kFail; }
  // What the death of the process does: its files are closed with what was
  // written so far, the lock is let go with its journal, and the test goes
  // on in the folder it started in.
  void die();

  Fault fault_;
  int at_;
  std::set<std::string> missing_;
  int signal_ = 0;
  bool locked_ = false;
  bool away_ = false;
  std::set<std::FILE*> open_;  // streams of create() not yet closed
  Host* previous_;
};

// A whole run of the program in this process on the current folder.
struct Outcome {
  int status = -1;                 // the exit status, -1 when it was killed
  std::string out;                 // what it printed on both streams
  int operations = 0;              // what it asked of the host
  std::string faulted;             // the faulted operation
  std::vector<std::string> lines;  // the command lines
};
Outcome run_main(const std::vector<std::string>& args = {},
                 Fault fault = Fault::kNone, int at = 0,
                 const std::set<std::string>& missing = {});

}  // namespace test

#endif  // KIVO_TESTS_SUPPORT_FAULT_HOST_H
