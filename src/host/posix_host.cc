// The POSIX host: this machine's shell and file system, reached through
// std::system, the C streams and std::filesystem, with the system's own
// calls for exclusive creation without following links, durable writes,
// identities, permission bits and the lock file (flock).
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <utility>

#include "host/host.h"
#include "host/shared.h"

// The process's environment, which std::system hands the shell.
extern char** environ;

namespace {

// Where the tools are looked for when the player's shell gave no PATH.
constexpr char kDefaultPath[] = "/usr/local/bin:/usr/bin:/bin";

Entry entry_of_mode(mode_t mode) {
  if (S_ISREG(mode)) return Entry::kFile;
  if (S_ISDIR(mode)) return Entry::kFolder;
  if (S_ISLNK(mode)) return Entry::kLink;
  return Entry::kOther;
}

void identity_of_stat(const struct stat& st, Identity& id) {
  id.device = static_cast<std::uint64_t>(st.st_dev);
  id.number = static_cast<std::uint64_t>(st.st_ino);
  id.size = static_cast<std::uint64_t>(st.st_size);
  id.changed = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 +
               st.st_mtim.tv_nsec;
  id.links = static_cast<std::uint32_t>(st.st_nlink);
  id.owner = static_cast<long>(st.st_uid);
  id.type = entry_of_mode(st.st_mode);
}

// Whether the group `gid` holds a user other than `me` and root, as a member
// or by its primary group; a group that cannot be looked up may hold anyone.
bool group_has_other(gid_t gid, uid_t me) {
  const auto other = [me](uid_t uid) { return uid != me && uid != 0; };
  const group* gr = getgrgid(gid);
  if (gr == nullptr) return true;
  std::vector<std::string> members;  // copied: the look-ups below reuse it
  for (char** name = gr->gr_mem; *name != nullptr; ++name)
    members.emplace_back(*name);
  for (const std::string& name : members) {
    const passwd* pw = getpwnam(name.c_str());
    if (pw == nullptr || other(pw->pw_uid)) return true;
  }
  bool found = false;
  setpwent();
  for (const passwd* pw; !found && (pw = getpwent()) != nullptr;)
    found = pw->pw_gid == gid && other(pw->pw_uid);
  endpwent();
  return found;
}

// Opens a regular file without following a link: ELOOP for a link, EINVAL
// for anything else that is no file. -1 with errno set on failure.
int open_file(const char* path, int how) {
  int fd = ::open(path, how | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return -1;
  struct stat st;
  int error = fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
  if (error != 0) {
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

// A stream on the descriptor `fd` that open() just returned, in `out`; 0 or
// the errno value of the open or of the stream.
int stream_of(int fd, const char* how, std::FILE*& out) {
  out = nullptr;
  if (fd < 0) return errno ? errno : EIO;
  out = fdopen(fd, how);
  if (out != nullptr) return 0;
  int error = errno ? errno : ENOMEM;
  ::close(fd);
  return error;
}

// Sets the permission bits of the file itself at `path`, never of what a
// link there names. 0 or an errno value.
int change_mode(const char* path, mode_t mode) {
  int fd = open_file(path, O_RDONLY);
  if (fd < 0) return errno;
  int error = fchmod(fd, mode) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}

// Writes all of `data`; 0 or an errno value.
int write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : EIO;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

// Reads the open file `fd` from its start, at most `limit` bytes and one
// more, so that a longer one shows as too long. 0 or an errno value.
int read_all(int fd, std::string& text, std::size_t limit) {
  char buf[4096];
  if (lseek(fd, 0, SEEK_SET) != 0) return errno ? errno : EIO;
  while (text.size() <= limit) {
    ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno ? errno : EIO;
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  if (text.size() > limit + 1) text.resize(limit + 1);
  return 0;
}

// The lock file, held by flock on its open descriptor.
class PosixHeldLock final : public HeldLock {
 public:
  PosixHeldLock(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~PosixHeldLock() override {
    int error = errno;
    release(true);
    errno = error;
  }

  // The journal of a run that died is repaired before anything new is
  // recorded; until then it stays in the file, so a repair cut short is
  // done again by the next run.
  int reset(std::string_view first) override {
    if (fd_ < 0) return EBADF;
    if (ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) != 0)
      return errno ? errno : EIO;
    return append(first);
  }

  int append(std::string_view records) override {
    if (fd_ < 0) return 0;
    std::size_t done = 0;
    while (done < records.size()) {
      ssize_t n = ::write(fd_, records.data() + done, records.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return errno ? errno : EIO;
      done += static_cast<std::size_t>(n);
    }
    return fsync(fd_) == 0 ? 0 : (errno ? errno : EIO);
  }

  void release(bool keep) override {
    if (fd_ < 0) return;
    // Removed while still held, so no other run can lock the old file; and
    // only when the name still is our file.
    struct stat mine, there;
    if (!keep && fstat(fd_, &mine) == 0 &&
        ::lstat(path_.c_str(), &there) == 0 && mine.st_ino == there.st_ino &&
        mine.st_dev == there.st_dev)
      ::unlink(path_.c_str());
    ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  std::string path_;
};

class PosixHost final : public Host {
 public:
  // `tools_env`: the environment the commands run in ("NAME=value" each),
  // or none to hand them the program's own.
  explicit PosixHost(std::vector<std::string> tools_env = {})
      : tools_env_(std::move(tools_env)) {
    for (std::string& entry : tools_env_)
      tools_environ_.push_back(entry.data());
    if (!tools_environ_.empty()) tools_environ_.push_back(nullptr);
  }
  ~PosixHost() override {
    if (start_ >= 0) ::close(start_);
  }

  CommandStatus run(const char* line) override {
    std::fflush(stdout);
    std::fflush(stderr);
    CommandStatus status;
    // The shell inherits the environment made for the commands; the
    // program's own stays as it was started.
    char** own = environ;
    if (!tools_environ_.empty()) environ = tools_environ_.data();
    int raw = std::system(line);
    environ = own;
    if (raw == -1) {
      status.code = 127;
    } else if (WIFSIGNALED(raw)) {
      status.signal = WTERMSIG(raw);
    } else if (WIFEXITED(raw)) {
      status.code = WEXITSTATUS(raw);
      // The shell reports a command that a signal ended as 128 + it.
      int n = status.code - 128;
      if (n == SIGINT || n == SIGTERM || n == SIGHUP || n == SIGKILL) {
        status.signal = n;
        status.code = 0;
      }
    } else {
      status.code = raw;
    }
    // A command ended by a signal ends the run as if the signal had come to
    // the program itself: Ctrl-C reaches the child while the program waits.
    shared_host::note_stop_signal(status.signal);
    return status;
  }

  int open_read(const char* path, bool follow, std::FILE*& out) override {
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
    return stream_of(fd, "r", out);
  }

  int create(const char* path, std::FILE*& out) override {
    int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0666);
    return stream_of(fd, "w", out);
  }

  int close(std::FILE* f, bool durable) override {
    return shared_host::close(f, durable,
                              [](std::FILE* s) { return fsync(fileno(s)); });
  }

  int rename(const char* from, const char* to) override {
    return std::rename(from, to) == 0 ? 0 : (errno ? errno : EIO);
  }

  int remove(const char* path) override { return shared_host::remove(path); }
  int remove_tree(const char* path) override {
    return shared_host::remove_tree(path);
  }
  int make_folder(const char* path) override {
    return shared_host::make_folder(path);
  }
  int entry(const char* path, Entry& out) override {
    return shared_host::entry(path, out);
  }

  int identify(const char* path, bool follow, Identity& id) override {
    id = Identity{};
    struct stat st;
    if ((follow ? ::stat(path, &st) : ::lstat(path, &st)) != 0)
      return errno ? errno : EIO;
    identity_of_stat(st, id);
    return 0;
  }

  int list_folder(const char* path, std::vector<std::string>& names) override {
    return shared_host::list_folder(path, names);
  }
  int real_path(const char* path, std::string& out) override {
    return shared_host::real_path(path, out);
  }

  // The folder left by the first change is where null comes back to.
  int change_folder(const char* path) override {
    if (path == nullptr) {
      if (start_ < 0) return 0;
      if (::fchdir(start_) != 0) return errno ? errno : EIO;
      ::close(start_);
      start_ = -1;
      return 0;
    }
    if (start_ < 0) {
      start_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (start_ < 0) return errno ? errno : EIO;
    }
    return ::chdir(path) == 0 ? 0 : (errno ? errno : EIO);
  }

  int read_only(const char* path, bool& out) override {
    return shared_host::read_only(path, out);
  }

  int copy_file(const char* from, const char* to) override {
    Entry there;
    if (int error = entry(to, there); error != 0) return error;
    if (there == Entry::kFile || there == Entry::kLink) {
      int error = remove(to);
      if (error != 0) return error;
    }
    int in = open_file(from, O_RDONLY);
    if (in < 0) return errno;
    struct stat st;
    int error = fstat(in, &st) == 0 ? 0 : errno;
    int out = -1;
    if (error == 0) {
      out = ::open(to, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   0600);
      if (out < 0) error = errno;
    }
    char buf[65536];
    while (error == 0) {
      ssize_t n = ::read(in, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = n < 0 ? errno : 0;
        break;
      }
      error = write_all(out, buf, static_cast<std::size_t>(n));
    }
    ::close(in);
    if (out < 0) return error;
    if (error == 0 && fchmod(out, st.st_mode & 07777) != 0) error = errno;
    if (error == 0 && fsync(out) != 0) error = errno;
    // A copy cut short is removed, while the name is still the file made.
    struct stat made, named;
    if (error != 0 && fstat(out, &made) == 0 && ::lstat(to, &named) == 0 &&
        made.st_ino == named.st_ino && made.st_dev == named.st_dev)
      ::unlink(to);
    if (::close(out) != 0 && error == 0) error = errno;
    return error;
  }

  int copy_mode(const char* from, const char* to) override {
    struct stat st;
    if (::lstat(from, &st) != 0) return errno;
    if (!S_ISREG(st.st_mode)) return S_ISLNK(st.st_mode) ? ELOOP : EINVAL;
    return change_mode(to, st.st_mode & 07777);
  }

  int fresh_mode(const char* path) override {
    mode_t mask = umask(0);
    umask(mask);
    return change_mode(path, 0666 & ~mask);
  }

  bool runner_owns(const Identity& id, std::string& owner) override {
    if (id.owner < 0 || static_cast<uid_t>(id.owner) == geteuid()) return true;
    const passwd* pw = getpwuid(static_cast<uid_t>(id.owner));
    owner = pw != nullptr ? pw->pw_name : std::to_string(id.owner);
    return false;
  }

  int lock(const char* path, std::size_t limit, std::string& journal,
           LockRefusal& why, std::unique_ptr<HeldLock>& taken,
           Lock& got) override {
    got = Lock::kRefused;
    journal.clear();
    why = LockRefusal{};
    taken.reset();
    int fd = -1;
    // A name that keeps changing under us is someone else's game: give up
    // after a few tries rather than spin.
    for (int tries = 0;; ++tries) {
      if (tries == 20) {
        return EAGAIN;
      }
      fd = ::open(path, O_RDWR | O_CREAT | O_NOFOLLOW, 0644);
      if (fd < 0) {
        int error = errno;
        Identity id;
        bool seen = identify(path, false, id) == 0;
        // Another user's lock file cannot even be opened: say whose it is.
        bool theirs = seen && id.type == Entry::kFile && id.links == 1 &&
                      id.owner >= 0 &&
                      static_cast<uid_t>(id.owner) != geteuid();
        if (error != ELOOP && error != EISDIR && error != ENXIO && !theirs) {
          return error ? error : EIO;
        }
        why.type = id.type;
        why.links = id.links;
        if (theirs) {
          why.owner = id.owner;
          if (const passwd* pw = getpwuid(static_cast<uid_t>(id.owner)))
            why.owner_name = pw->pw_name;
        }
        return 0;
      }
      struct stat mine;
      if (fstat(fd, &mine) != 0) {
        int error = errno;
        ::close(fd);
        return error ? error : EIO;
      }
      if (!S_ISREG(mine.st_mode) || mine.st_nlink != 1 ||
          mine.st_uid != geteuid()) {
        why.type = entry_of_mode(mine.st_mode);
        why.links = static_cast<std::uint32_t>(mine.st_nlink);
        if (S_ISREG(mine.st_mode) && mine.st_nlink == 1 &&
            mine.st_uid != geteuid()) {
          why.owner = static_cast<long>(mine.st_uid);
          if (const passwd* pw = getpwuid(mine.st_uid))
            why.owner_name = pw->pw_name;
        }
        ::close(fd);
        return 0;
      }
      if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        if (error != EWOULDBLOCK) return error ? error : EIO;
        why.holder = shared_host::read_start(path, limit);
        got = Lock::kBusy;
        return 0;
      }
      // The run before may have removed the file between our open and our
      // lock: then the lock is on a file nobody else will see.
      struct stat there;
      if (::lstat(path, &there) == 0 && mine.st_ino == there.st_ino &&
          mine.st_dev == there.st_dev)
        break;
      ::close(fd);
    }
    auto held = std::make_unique<PosixHeldLock>(fd, path);
    if (int error = read_all(fd, journal, limit); error != 0) return error;
    taken = std::move(held);
    got = Lock::kTaken;
    return 0;
  }

  int folder_access(const char* path, FolderAccess& out) override {
    out = FolderAccess{};
    struct stat st;
    if (::stat(path, &st) != 0) return errno ? errno : EIO;
    if (!S_ISDIR(st.st_mode)) return ENOTDIR;
    if (int error = real_path(path, out.path); error != 0) return error;
    out.owner = static_cast<long>(st.st_uid);
    if (const passwd* pw = getpwuid(st.st_uid)) out.owner_name = pw->pw_name;
    out.runner = static_cast<long>(geteuid());
    out.mode = static_cast<unsigned>(st.st_mode) & 07777;
    out.group_other =
        (st.st_mode & S_IWGRP) != 0 && group_has_other(st.st_gid, geteuid());
    return 0;
  }

  int interrupted() override { return shared_host::stop_signal(); }
  long long now() override { return shared_host::now(); }
  long process_id() override { return static_cast<long>(getpid()); }

 private:
  std::vector<std::string> tools_env_;
  std::vector<char*> tools_environ_;  // null at its end, when not empty
  int start_ = -1;
};

// The program never reads its standard input; a tool that asks a question
// reads the end of the null device and takes its default.
void prepare_process() {
  if (std::freopen("/dev/null", "r", stdin) == nullptr) std::fclose(stdin);
  shared_host::catch_stop_signals({SIGINT, SIGTERM, SIGHUP});
}

// The shell and every tool it starts inherit only the player's choice of
// tools and the C locale: whatever else the player's shell exports (ls's
// quoting and colours, unzip's and zip's options, a script sh reads at
// start, the locale) would change what they print and the program reads.
// The program's own environment stays: what was loaded with it (a clock a
// test fixes, say) may read it.
std::vector<std::string> tools_environment() {
  const char* path = std::getenv("PATH");
  return {std::string("PATH=") +
              (path != nullptr && *path != '\0' ? path : kDefaultPath),
          "LC_ALL=C", "LANG=C"};
}

}  // namespace

std::unique_ptr<Host> make_real_host(Prepare prepare) {
  if (prepare == Prepare::kNothing) return std::make_unique<PosixHost>();
  static const bool prepared = (prepare_process(), true);
  (void)prepared;
  return std::make_unique<PosixHost>(tools_environment());
}
