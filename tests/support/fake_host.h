// fake_host.h: a Host that plays the shell's part in the process itself, on
// the scratch folder, and counts every operation the program asks of it, so
// that a test can fail, interrupt or stop dead any single one of them.
// Archives are text files of its own making (fake_pk3), which its unzip
// lists and extracts and its zip writes; both command sets are understood.
// The file operations themselves are the real host's.
#ifndef KIVO_TESTS_SUPPORT_FAKE_HOST_H
#define KIVO_TESTS_SUPPORT_FAKE_HOST_H

#include <filesystem>
#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "core/core.h"

namespace test {

#ifdef _WIN32
inline constexpr bool kIsWindowsHost = true;
#else
inline constexpr bool kIsWindowsHost = false;
#endif

// What happens at the chosen operation.
enum class Fault {
  kNone,
  kFail,       // it fails: a command ends with an error status, a file
               // operation reports ENOSPC or EIO
  kInterrupt,  // a signal arrives: a command's child dies of SIGINT, a file
               // operation completes and the run is asked to stop
  kKill,       // the process dies before it is done: nothing more runs
};

inline void PrintTo(Fault fault, std::ostream* out) {
  *out << (fault == Fault::kFail        ? "fail"
           : fault == Fault::kInterrupt ? "interrupt"
           : fault == Fault::kKill      ? "kill"
                                        : "none");
}

// Thrown out of the run when the fake host stops it dead.
struct Killed {};

// Member path -> content.
using FakeMembers = std::map<std::string, std::string>;
// The text of an archive the fake unzip reads, and the file of one.
std::string fake_pk3_text(const FakeMembers& members);
void write_fake_pk3(const std::string& path, const FakeMembers& members);
// Writes an archive whose listing is `listing` as it stands, for listings
// no real archive gives; it holds no members to extract.
void write_fake_listing(const std::string& path, const std::string& listing);
// Reads one back; empty when the file is none.
FakeMembers read_fake_pk3(const std::string& path);

class FakeHost final : public Host {
 public:
  // Faults operation `at` (counted from 1) with `fault`.
  explicit FakeHost(Fault fault = Fault::kNone, int at = 0);
  ~FakeHost() override;

  CommandStatus run(const char* line) override;
  std::FILE* open_read(const char* path) override;
  std::FILE* create(const char* path) override;
  int close(std::FILE* f, bool durable) override;
  int rename(const char* from, const char* to) override;
  int remove(const char* path) override;
  int remove_tree(const char* path) override;
  int make_folder(const char* path) override;
  Entry entry(const char* path) override;
  int list_folder(const char* path, std::vector<std::string>& names) override;
  int read_only(const char* path) override;
  int copy_file(const char* from, const char* to) override;
  int copy_mode(const char* from, const char* to) override;
  int fresh_mode(const char* path) override;
  int identify(const char* path, bool follow, Identity& id) override;
  int real_path(const char* path, std::string& out) override;
  int change_folder(const char* path) override;
  Lock lock(const char* path, std::size_t limit, std::string& journal,
            LockRefusal& why) override;
  int journal_reset(std::string_view first) override;
  int journal(std::string_view records) override;
  void unlock(bool keep) override;
  int interrupted() override { return signal_; }
  long long now() override { return 1700000000; }
  long process_id() override { return real_host().process_id(); }

  int operations = 0;              // asked of it so far
  std::vector<std::string> lines;  // the command lines, in order
  std::string faulted;             // what the faulted operation was
  std::set<std::string> missing;   // tools that are not there (status 127)

 private:
  // Counts one operation; what the fault asks of it.
  Fault step(const std::string& what);
  // Counts one operation; true when it is to fail.
  bool fails(const std::string& what);
  CommandStatus play(const std::string& line);
  void leave_as_the_dead_do();

  Fault fault_;
  int at_;
  int signal_ = 0;
  bool locked_ = false;
  bool away_ = false;
  std::set<std::FILE*> open_;  // streams of create() not yet closed  // in a
                               // folder other than the game folder
  Host* previous_;
};

// The recorded runs' folders.
inline const std::filesystem::path kRuns =
    std::filesystem::path(KIVO_SOURCE_DIR) / "tests/runs";
// Copies the game folder of a recorded run here; each folder named *.pk3 in
// it becomes an archive of the files it holds.
void make_folder(const std::filesystem::path& from);

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

#endif  // KIVO_TESTS_SUPPORT_FAKE_HOST_H
