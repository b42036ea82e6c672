// The real host: this machine's shell and file system, reached through
// std::system, the C streams and std::filesystem, with the few calls each
// host needs of its own for exclusive creation, durable writes, a replacing
// rename and the lock file.
#include <cerrno>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <system_error>

#include "core/core.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

volatile std::sig_atomic_t g_signal = 0;

extern "C" void on_signal(int signal) { g_signal = signal; }

int system_runner(const char* line) { return std::system(line); }

CommandRunner g_runner = system_runner;

int error_of(const std::error_code& ec) {
  return ec ? (ec.value() != 0 ? ec.value() : EIO) : 0;
}

#ifdef _WIN32
// A console program stopped by Ctrl-C ends with this status.
constexpr int kControlCExit = static_cast<int>(0xC000013A);
#endif

class RealHost final : public Host {
 public:
  CommandStatus run(const char* line) override {
    std::fflush(stdout);
    std::fflush(stderr);
    CommandStatus status;
    int raw = g_runner(line);
#ifdef _WIN32
    if (raw == kControlCExit)
      status.signal = SIGINT;
    else
      status.code = raw;
#else
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
#endif
    // A command ended by a signal ends the run as if the signal had come to
    // the program itself: Ctrl-C reaches the child while the program waits.
    if (status.signal != 0 && g_signal == 0) g_signal = status.signal;
    return status;
  }

  std::FILE* open_read(const char* path) override {
    return std::fopen(path, "r");
  }

  std::FILE* create(const char* path) override {
#ifdef _WIN32
    int fd = _open(path, _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT,
                   _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* f = _fdopen(fd, "w");
    if (f == nullptr) _close(fd);
#else
    int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL, 0666);
    if (fd < 0) return nullptr;
    std::FILE* f = fdopen(fd, "w");
    if (f == nullptr) ::close(fd);
#endif
    return f;
  }

  int close(std::FILE* f, bool durable) override {
    if (f == nullptr) return EBADF;
    errno = 0;
    int error = 0;
    if (std::fflush(f) != 0 || std::ferror(f) != 0) error = errno ? errno : EIO;
#ifdef _WIN32
    if (error == 0 && durable && _commit(_fileno(f)) != 0)
      error = errno ? errno : EIO;
#else
    if (error == 0 && durable && fsync(fileno(f)) != 0)
      error = errno ? errno : EIO;
#endif
    if (std::fclose(f) != 0 && error == 0) error = errno ? errno : EIO;
    return error;
  }

  int rename(const char* from, const char* to) override {
#ifdef _WIN32
    if (MoveFileExA(from, to,
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return 0;
    return GetLastError() == ERROR_FILE_NOT_FOUND ? ENOENT : EACCES;
#else
    return std::rename(from, to) == 0 ? 0 : (errno ? errno : EIO);
#endif
  }

  int remove(const char* path) override {
    std::error_code ec;
    bool removed = fs::remove(path, ec);
    if (ec) return error_of(ec);
    return removed ? 0 : ENOENT;
  }

  int remove_tree(const char* path) override {
    std::error_code ec;
    fs::remove_all(path, ec);
    return error_of(ec);
  }

  int make_folder(const char* path) override {
    std::error_code ec;
    if (fs::create_directory(path, ec)) return 0;
    return ec ? error_of(ec) : EEXIST;
  }

  Entry entry(const char* path) override {
    std::error_code ec;
    fs::file_status st = fs::symlink_status(path, ec);
    if (st.type() == fs::file_type::not_found) return Entry::kNone;
    if (ec) return Entry::kError;
    switch (st.type()) {
      case fs::file_type::regular:
        return Entry::kFile;
      case fs::file_type::directory:
        return Entry::kFolder;
      case fs::file_type::symlink:
        return Entry::kLink;
      default:
        return Entry::kOther;
    }
  }

  int list_folder(const char* path, std::vector<std::string>& names) override {
    names.clear();
    std::error_code ec;
    fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found) return ENOENT;
    if (ec) return error_of(ec);
    if (st.type() != fs::file_type::directory) return ENOTDIR;
    fs::directory_iterator it(path, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
      const fs::path name = it->path().filename();
      try {
        names.push_back(name.string());
      } catch (const std::exception&) {
        // A name the narrow characters of this host cannot spell (Windows)
        // still names a file: it stands as one '?' per character.
        names.emplace_back(name.native().size(), '?');
      }
    }
    return error_of(ec);
  }

  int read_only(const char* path) override {
    std::error_code ec;
    fs::file_status st = fs::symlink_status(path, ec);
    if (ec) return -1;
    return (st.permissions() & fs::perms::owner_write) == fs::perms::none;
  }

  int copy_file(const char* from, const char* to) override {
    Entry there = entry(to);
    if (there == Entry::kFile || there == Entry::kLink) {
      int error = remove(to);
      if (error != 0) return error;
    }
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::none, ec);
    return error_of(ec);
  }

  int copy_mode(const char* from, const char* to) override {
    std::error_code ec;
    fs::perms mode = fs::status(from, ec).permissions();
    if (ec) return error_of(ec);
    fs::permissions(to, mode, ec);
    return error_of(ec);
  }

  int fresh_mode(const char* path) override {
#ifdef _WIN32
    (void)path;
    return 0;
#else
    mode_t mask = umask(0);
    umask(mask);
    return chmod(path, 0666 & ~mask) == 0 ? 0 : errno;
#endif
  }

  int lock(const char* path, std::string& journal, long& holder) override {
    journal.clear();
    holder = 0;
    // A link there would take the journal out of the folder.
    if (entry(path) == Entry::kLink) remove(path);
#ifdef _WIN32
    HANDLE h =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() != ERROR_SHARING_VIOLATION) {
        errno = EACCES;
        return -1;
      }
      holder = read_holder(path);
      return 0;
    }
    lock_ = h;
#else
    for (;;) {
      int fd = ::open(path, O_RDWR | O_CREAT, 0644);
      if (fd < 0) return -1;
      if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        if (error != EWOULDBLOCK) {
          errno = error;
          return -1;
        }
        holder = read_holder(path);
        return 0;
      }
      // The run before may have removed the file between our open and our
      // lock: then the lock is on a file nobody else will see.
      struct stat mine, there;
      if (fstat(fd, &mine) == 0 && ::stat(path, &there) == 0 &&
          mine.st_ino == there.st_ino && mine.st_dev == there.st_dev) {
        lock_ = fd;
        break;
      }
      ::close(fd);
    }
#endif
    lock_path_ = path;
    if (!read_all(journal)) return -1;
    return 1;
  }

  int journal(std::string_view records) override {
    // A phase run alone, without the folder's lock, keeps no journal.
#ifdef _WIN32
    if (lock_ == INVALID_HANDLE_VALUE) return 0;
    SetFilePointer(lock_, 0, nullptr, FILE_END);
    DWORD n = 0;
    if (!WriteFile(lock_, records.data(), static_cast<DWORD>(records.size()),
                   &n, nullptr) ||
        n != records.size() || !FlushFileBuffers(lock_))
      return EIO;
    return 0;
#else
    if (lock_ < 0) return 0;
    std::size_t done = 0;
    while (done < records.size()) {
      ssize_t n = ::write(lock_, records.data() + done, records.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return errno ? errno : EIO;
      done += static_cast<std::size_t>(n);
    }
    return fsync(lock_) == 0 ? 0 : (errno ? errno : EIO);
#endif
  }

  void unlock(bool keep) override {
#ifdef _WIN32
    if (lock_ == INVALID_HANDLE_VALUE) return;
    if (!keep) {
      SetFilePointer(lock_, 0, nullptr, FILE_BEGIN);
      SetEndOfFile(lock_);
    }
    CloseHandle(lock_);
    lock_ = INVALID_HANDLE_VALUE;
    if (!keep) DeleteFileA(lock_path_.c_str());
#else
    if (lock_ < 0) return;
    // Removed while still held, so no other run can lock the old file.
    if (!keep) ::unlink(lock_path_.c_str());
    ::close(lock_);
    lock_ = -1;
#endif
  }

  // The journal of a run that died is repaired before anything new is
  // recorded; until then it stays in the file, so a repair cut short is
  // done again by the next run.
  int journal_reset() override {
    char first[64];
    int n = std::snprintf(first, sizeof first, "kivorama %ld\n", own_pid());
#ifdef _WIN32
    if (lock_ == INVALID_HANDLE_VALUE) return EBADF;
    SetFilePointer(lock_, 0, nullptr, FILE_BEGIN);
    if (!SetEndOfFile(lock_)) return EIO;
#else
    if (lock_ < 0) return EBADF;
    if (ftruncate(lock_, 0) != 0 || lseek(lock_, 0, SEEK_SET) != 0)
      return errno ? errno : EIO;
#endif
    return journal(std::string_view(first, static_cast<std::size_t>(n)));
  }

  int interrupted() override { return g_signal; }

  long long now() override {
    return static_cast<long long>(std::time(nullptr));
  }

 private:
  static long read_holder(const char* path) {
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr) return 0;
    long pid = 0;
    if (std::fscanf(f, "kivorama %ld", &pid) != 1) pid = 0;
    std::fclose(f);
    return pid;
  }

  static long own_pid() {
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(getpid());
#endif
  }

  bool read_all(std::string& text) {
    char buf[4096];
#ifdef _WIN32
    SetFilePointer(lock_, 0, nullptr, FILE_BEGIN);
    DWORD n = 0;
    while (ReadFile(lock_, buf, sizeof buf, &n, nullptr) && n > 0)
      text.append(buf, n);
#else
    if (lseek(lock_, 0, SEEK_SET) != 0) return false;
    for (;;) {
      ssize_t n = ::read(lock_, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) break;
      text.append(buf, static_cast<std::size_t>(n));
    }
#endif
    return true;
  }

#ifdef _WIN32
  HANDLE lock_ = INVALID_HANDLE_VALUE;
#else
  int lock_ = -1;
#endif
  std::string lock_path_;
};

Host* g_host = nullptr;

// zip writes its temporary archive into the program's own folder, where a
// zip that was stopped dead leaves nothing among the player's files.
std::string zip_options() { return std::string("-b ") + kZipTempFolder; }

}  // namespace

CommandRunner set_command_runner(CommandRunner runner) {
  CommandRunner previous = g_runner;
  g_runner = runner != nullptr ? runner : system_runner;
  return previous;
}

Host& real_host() {
  static RealHost host;
  return host;
}

Host& host() { return g_host != nullptr ? *g_host : real_host(); }

Host* set_host(Host* h) {
  Host* previous = g_host;
  g_host = h;
  return previous;
}

void host_init() {
  // The program never reads its standard input; a tool that asks a
  // question reads the end of the null device and takes its default.
#ifdef _WIN32
  if (std::freopen("NUL", "r", stdin) == nullptr) std::fclose(stdin);
  _putenv_s("ZIPOPT", zip_options().c_str());
#else
  if (std::freopen("/dev/null", "r", stdin) == nullptr) std::fclose(stdin);
  setenv("ZIPOPT", zip_options().c_str(), 1);
#endif
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
#ifdef SIGHUP
  std::signal(SIGHUP, on_signal);
#endif
}

namespace {

void say_error_args(const char* format, va_list args) {
  std::vprintf(format, args);
  ++host().errors;
}

}  // namespace

void say_error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  say_error_args(format, args);
  va_end(args);
}

void stop_run() { host().failed = 1; }

void fail_run(const char* format, ...) {
  va_list args;
  va_start(args, format);
  say_error_args(format, args);
  va_end(args);
  stop_run();
}

int stopping() { return host().failed != 0 || host().interrupted() != 0; }

Entry sy_entry(const char* path) {
  errno = 0;
  Entry e = host().entry(path);
  if (e == Entry::kError) {
    fail_run("error: cannot look at '%s' (%s); the run stops\n", path,
             std::strerror(errno ? errno : EIO));
  }
  return e;
}
