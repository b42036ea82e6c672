// host.h: the one seam between the program and the operating system: the
// shell and its tools, files and folders, the lock file, the clock and the
// signals. Host is a pure interface and holds nothing of a run; the real
// host reaches this machine, and decorators (a fault-injecting one in the
// tests, a recording one in the benchmark) wrap it. Whatever a path holds is
// input: operations that create never follow a link, and the identity of
// what is at a path can be had without following one.
#ifndef KIVO_HOST_HOST_H
#define KIVO_HOST_HOST_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// How a finished command ended.
struct CommandStatus {
  int code = 0;    // exit status, when the command ended by itself
  int signal = 0;  // the signal that ended it, or 0
  bool ok() const { return code == 0 && signal == 0; }
};

// What is at a path. A look that fails says so by its errno value, never by
// an Entry: "nothing there" (kNone) is only ever an answer.
enum class Entry { kNone, kFile, kFolder, kLink, kOther };

// Who and what a file or folder is: equal device and file number mean the
// same object for as long as it exists.
struct Identity {
  std::uint64_t device = 0;
  std::uint64_t number = 0;  // inode, or the file index on Windows
  std::uint64_t size = 0;
  std::int64_t changed = 0;  // last modification, in nanoseconds
  std::uint32_t links = 0;   // hard links to it
  long owner = -1;           // user id of its owner; -1 where none is kept
  Entry type = Entry::kNone;
  bool same_object(const Identity& o) const {
    return device == o.device && number == o.number && type == o.type;
  }
  // The same object with the same content, as far as its size and time say.
  bool same_version(const Identity& o) const {
    return same_object(o) && size == o.size && changed == o.changed;
  }
};

// What the lock file turned out to be when it was not taken.
struct LockRefusal {
  std::string holder;      // when another run holds it: what the file says,
                           // at most the limit asked of lock()
  long owner = -1;         // its owner, when it is not the user running us
  std::string owner_name;  // ... by name, when the host knows it
  Entry type = Entry::kNone;
  std::uint32_t links = 0;
};

enum class Lock { kTaken, kBusy, kRefused };

// A folder's lock file, held: the journal of the run that holds it is kept
// in it. Destroyed while held, it is let go as by a process that dies: the
// file and what it holds stay.
class HeldLock {
 public:
  virtual ~HeldLock() = default;
  // Replaces the file's content with `first`. 0 or an errno value; EBADF
  // once released.
  virtual int reset(std::string_view first) = 0;
  // Appends records (whole lines) and makes them durable before anything
  // they announce is done. 0 or an errno value; once released it writes
  // nothing and returns 0.
  virtual int append(std::string_view records) = 0;
  // Lets the lock go. The file is removed, unless `keep` asks that its
  // journal stay for the next run to repair.
  virtual void release(bool keep) = 0;
};

// Who, besides the user running the program, could change a folder.
struct FolderAccess {
  std::string path;          // its full path
  long owner = -1;           // user id of its owner; -1 where none is kept
  std::string owner_name;    // ... by name, when the host knows it
  long runner = -1;          // the user the program runs as (effective id)
  unsigned mode = 0;         // its permission bits (07777)
  bool group_other = false;  // its group may write it and may hold a user
                             // other than the runner and root
};

class Host {
 public:
  virtual ~Host() = default;
  // Hands one command line to the shell, in the current folder, and waits
  // for it. Its standard input is the null device.
  virtual CommandStatus run(const char* line) = 0;
  // Opens a file for reading in text mode into `out`; 0 or an errno value
  // (`out` is null then). A link is followed only with `follow`; without,
  // it fails with ELOOP.
  virtual int open_read(const char* path, bool follow, std::FILE*& out) = 0;
  // Creates a file that must not exist yet, for writing in text mode, into
  // `out`; 0, EEXIST when anything, a link included, is there, or another
  // errno value (`out` is null then).
  virtual int create(const char* path, std::FILE*& out) = 0;
  // Flushes and closes a stream of create(); with `durable` its data reaches
  // the disk first. 0 or the errno of the first failure.
  virtual int close(std::FILE* f, bool durable) = 0;
  // Renames a file or folder, replacing a file at `to`.
  virtual int rename(const char* from, const char* to) = 0;
  // Removes a file, a link or an empty folder; ENOENT when nothing is there.
  virtual int remove(const char* path) = 0;
  // Removes a folder with all it holds; links inside are removed, never
  // followed. 0 also when nothing is there.
  virtual int remove_tree(const char* path) = 0;
  virtual int make_folder(const char* path) = 0;
  // What is at `path` itself (a link is not followed), in `out`: 0 (kNone
  // when nothing is there) or the errno value of a look that failed.
  virtual int entry(const char* path, Entry& out) = 0;
  // The identity of what is at `path`, of a link's target with `follow`.
  // 0, ENOENT when nothing is there, or another errno value.
  virtual int identify(const char* path, bool follow, Identity& id) = 0;
  // The names in a folder, "." and ".." left out. 0 or an errno value.
  virtual int list_folder(const char* path,
                          std::vector<std::string>& names) = 0;
  // The full path of what `path` names, every link followed. 0 or errno.
  virtual int real_path(const char* path, std::string& out) = 0;
  // Makes `path` the current folder; null: back to the folder the program
  // started in. 0 or an errno value.
  virtual int change_folder(const char* path) = 0;
  // Whether the file's owner may not write it, in `out`; 0 or an errno value.
  virtual int read_only(const char* path, bool& out) = 0;
  // Makes `to` a new copy of the file `from`, its mode included, on the disk
  // before it returns; a file or link at `to` is replaced, never written
  // through. A link at `from` is not followed (ELOOP): the caller passes the
  // file it names.
  virtual int copy_file(const char* from, const char* to) = 0;
  // Gives the file `to` the permission bits of the file `from`. Neither is
  // followed when it is a link (ELOOP): the caller passes the file a link
  // names, and a link at `to` is never changed through.
  virtual int copy_mode(const char* from, const char* to) = 0;
  // Gives a file the permission bits a newly made file gets here; a link at
  // `path` is not followed (ELOOP).
  virtual int fresh_mode(const char* path) = 0;
  // True when the user running the program owns `id` (or the host keeps no
  // owners); false with the owner's name (or number) in `owner`.
  virtual bool runner_owns(const Identity& id, std::string& owner) = 0;
  // Takes the folder's lock file `path` until `taken` is released: it is
  // opened without following a link and used only when it is a regular file
  // with one link, owned by the user running the program. kTaken: `taken`
  // holds it and what an earlier run left in it (at most `limit` bytes, more
  // is cut) is in `journal`; kBusy: another run holds it (see `why`);
  // kRefused: it is no lock file of ours (see `why`). 0 with the outcome in
  // `got`, or an errno value. `taken` is null but with kTaken.
  virtual int lock(const char* path, std::size_t limit, std::string& journal,
                   LockRefusal& why, std::unique_ptr<HeldLock>& taken,
                   Lock& got) = 0;
  // What `path`, a folder, says of who may change it; on Windows, where its
  // rights are not looked at, no one else. 0 or an errno value.
  virtual int folder_access(const char* path, FolderAccess& out) = 0;
  // The signal that asked the run to stop (Ctrl-C, SIGTERM, SIGHUP), or 0.
  virtual int interrupted() = 0;
  // The calendar clock in seconds, which seeds the random generator.
  virtual long long now() = 0;
  // This process's number.
  virtual long process_id() = 0;
};

// Forwards every operation to another host; decorators derive from it and
// replace what they change.
class HostWrapper : public Host {
 public:
  explicit HostWrapper(Host& target) : target_(target) {}
  Host& target() { return target_; }
  CommandStatus run(const char* line) override { return target_.run(line); }
  int open_read(const char* p, bool follow, std::FILE*& out) override {
    return target_.open_read(p, follow, out);
  }
  int create(const char* p, std::FILE*& out) override {
    return target_.create(p, out);
  }
  int close(std::FILE* f, bool durable) override {
    return target_.close(f, durable);
  }
  int rename(const char* from, const char* to) override {
    return target_.rename(from, to);
  }
  int remove(const char* p) override { return target_.remove(p); }
  int remove_tree(const char* p) override { return target_.remove_tree(p); }
  int make_folder(const char* p) override { return target_.make_folder(p); }
  int entry(const char* p, Entry& out) override {
    return target_.entry(p, out);
  }
  int identify(const char* p, bool follow, Identity& id) override {
    return target_.identify(p, follow, id);
  }
  int list_folder(const char* p, std::vector<std::string>& names) override {
    return target_.list_folder(p, names);
  }
  int real_path(const char* p, std::string& out) override {
    return target_.real_path(p, out);
  }
  int change_folder(const char* p) override { return target_.change_folder(p); }
  int read_only(const char* p, bool& out) override {
    return target_.read_only(p, out);
  }
  int copy_file(const char* from, const char* to) override {
    return target_.copy_file(from, to);
  }
  int copy_mode(const char* from, const char* to) override {
    return target_.copy_mode(from, to);
  }
  int fresh_mode(const char* p) override { return target_.fresh_mode(p); }
  bool runner_owns(const Identity& id, std::string& owner) override {
    return target_.runner_owns(id, owner);
  }
  int lock(const char* p, std::size_t limit, std::string& journal,
           LockRefusal& why, std::unique_ptr<HeldLock>& taken,
           Lock& got) override {
    return target_.lock(p, limit, journal, why, taken, got);
  }
  int folder_access(const char* p, FolderAccess& out) override {
    return target_.folder_access(p, out);
  }
  int interrupted() override { return target_.interrupted(); }
  long long now() override { return target_.now(); }
  long process_id() override { return target_.process_id(); }

 private:
  Host& target_;
};

// What the real host prepares of the process when it is made.
enum class Prepare {
  // Once for the process: standard input from the null device, the handlers
  // that turn Ctrl-C, SIGTERM and SIGHUP into a stop at the next step, and
  // the commands' environment: of the player's, only PATH (on Windows: all
  // but the tools' options, and the program's own folder at the front of
  // PATH, where unzip.exe and zip.exe are shipped beside it).
  kProcess,
  // Nothing: for tests and tools that share their process with others.
  kNothing,
};
// The host that reaches this machine's shell and file system: the POSIX one
// or the Windows one, whichever the program is built for.
std::unique_ptr<Host> make_real_host(Prepare prepare = Prepare::kProcess);

#endif  // KIVO_HOST_HOST_H
