// The real host: this machine's shell and file system, reached through
// std::system, the C streams and std::filesystem, with the few calls each
// host needs of its own for exclusive creation without following links,
// durable writes, a replacing rename, identities and the lock file.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <filesystem>
#include <system_error>

#include "host/host.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

// The process's environment, which std::system hands the shell.
extern char** environ;
#endif

namespace {

namespace fs = std::filesystem;

volatile std::sig_atomic_t g_signal = 0;

extern "C" void on_signal(int signal) { g_signal = signal; }

int error_of(const std::error_code& ec) {
  return ec ? (ec.value() != 0 ? ec.value() : EIO) : 0;
}

#ifdef _WIN32
// A console program stopped by Ctrl-C ends with this status.
constexpr int kControlCExit = static_cast<int>(0xC000013A);

Entry entry_of_attributes(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return Entry::kLink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return Entry::kFolder;
  return Entry::kFile;
}

// Fills `id` from an open handle.
int identity_of_handle(HANDLE h, Identity& id) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info)) return EIO;
  id.device = info.dwVolumeSerialNumber;
  id.number = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) |
              info.nFileIndexLow;
  id.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) |
            info.nFileSizeLow;
  // 100-nanosecond steps since 1601, counted from 1970 as elsewhere: in
  // nanoseconds since 1601 they would not fit the field.
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
      info.ftLastWriteTime.dwLowDateTime;
  constexpr std::uint64_t kTicksTo1970 = 116444736000000000ULL;
  id.changed = (static_cast<std::int64_t>(ticks) -
                static_cast<std::int64_t>(kTicksTo1970)) *
               100;
  id.links = info.nNumberOfLinks;
  id.owner = -1;
  id.type = entry_of_attributes(info.dwFileAttributes);
  return 0;
}
#else
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
#endif

#ifndef _WIN32
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

// The environment the commands run in, once host_init made it: the strings
// and the list of them, null at its end, that the shell inherits.
std::vector<std::string> g_tools_env;
std::vector<char*> g_tools_environ;
#endif

class RealHost final : public Host {
 public:
  CommandStatus run(const char* line) override {
    std::fflush(stdout);
    std::fflush(stderr);
    CommandStatus status;
#ifndef _WIN32
    // The shell inherits the environment made for the commands; the
    // program's own stays as it was started.
    char** own = environ;
    if (!g_tools_environ.empty()) environ = g_tools_environ.data();
#endif
    int raw = std::system(line);
#ifdef _WIN32
    if (raw == kControlCExit)
      status.signal = SIGINT;
    else
      status.code = raw;
#else
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
#endif
    // A command ended by a signal ends the run as if the signal had come to
    // the program itself: Ctrl-C reaches the child while the program waits.
    if (status.signal != 0 && g_signal == 0) g_signal = status.signal;
    return status;
  }

  std::FILE* open_read(const char* path, bool follow) override {
#ifdef _WIN32
    // A reparse point is opened as itself and then refused.
    DWORD flags = follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE h = CreateFileA(
        path, GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      DWORD e = GetLastError();
      errno = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? ENOENT
                                                                     : EACCES;
      return nullptr;
    }
    Identity id;
    if (!follow &&
        (identity_of_handle(h, id) != 0 || id.type != Entry::kFile)) {
      CloseHandle(h);
      errno = ELOOP;
      return nullptr;
    }
    int fd =
        _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDONLY | _O_TEXT);
    if (fd < 0) {
      CloseHandle(h);
      return nullptr;
    }
    std::FILE* f = _fdopen(fd, "r");
    if (f == nullptr) _close(fd);
#else
    int fd = ::open(path, O_RDONLY | O_CLOEXEC | (follow ? 0 : O_NOFOLLOW));
    if (fd < 0) return nullptr;
    std::FILE* f = fdopen(fd, "r");
    if (f == nullptr) ::close(fd);
#endif
    return f;
  }

  std::FILE* create(const char* path) override {
#ifdef _WIN32
    // CREATE_NEW fails on anything there, a reparse point included.
    // Shared as _open shares a file: a reader or a repair is not locked
    // out while it is written.
    HANDLE h =
        CreateFileA(path, GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      errno = GetLastError() == ERROR_FILE_EXISTS ? EEXIST : EACCES;
      return nullptr;
    }
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_TEXT);
    if (fd < 0) {
      CloseHandle(h);
      return nullptr;
    }
    std::FILE* f = _fdopen(fd, "w");
    if (f == nullptr) _close(fd);
#else
    int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0666);
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

  int identify(const char* path, bool follow, Identity& id) override {
    id = Identity{};
#ifdef _WIN32
    DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
    if (!follow) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE h =
        CreateFileA(path, FILE_READ_ATTRIBUTES,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      DWORD e = GetLastError();
      return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? ENOENT
                                                                    : EACCES;
    }
    int error = identity_of_handle(h, id);
    CloseHandle(h);
    return error;
#else
    struct stat st;
    if ((follow ? ::stat(path, &st) : ::lstat(path, &st)) != 0)
      return errno ? errno : EIO;
    identity_of_stat(st, id);
    return 0;
#endif
  }

  int list_folder(const char* path, std::vector<std::string>& names) override {
    names.clear();
    std::error_code ec;
    for (fs::directory_iterator it(path, ec), end; !ec && it != end;
         it.increment(ec))
      names.push_back(it->path().filename().string());
    return error_of(ec);
  }

  int real_path(const char* path, std::string& out) override {
    std::error_code ec;
    fs::path p = fs::canonical(path, ec);
    if (ec) return error_of(ec);
    out = p.string();
    return 0;
  }

  // The folder left by the first change is where null comes back to.
  int change_folder(const char* path) override {
#ifdef _WIN32
    if (path == nullptr) {
      if (start_.empty()) return 0;
      int error = _chdir(start_.c_str()) == 0 ? 0 : (errno ? errno : EIO);
      if (error == 0) start_.clear();
      return error;
    }
    if (start_.empty()) {
      char* here = _getcwd(nullptr, 0);
      if (here == nullptr) return errno ? errno : EIO;
      start_ = here;
      std::free(here);
    }
    return _chdir(path) == 0 ? 0 : (errno ? errno : EIO);
#else
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
#endif
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
#ifdef _WIN32
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::none, ec);
    return error_of(ec);
#else
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
#endif
  }

  int copy_mode(const char* from, const char* to) override {
#ifdef _WIN32
    std::error_code ec;
    fs::perms mode = fs::symlink_status(from, ec).permissions();
    if (ec) return error_of(ec);
    fs::permissions(to, mode, ec);
    return error_of(ec);
#else
    struct stat st;
    if (::lstat(from, &st) != 0) return errno;
    if (!S_ISREG(st.st_mode)) return S_ISLNK(st.st_mode) ? ELOOP : EINVAL;
    return change_mode(to, st.st_mode & 07777);
#endif
  }

  int fresh_mode(const char* path) override {
#ifdef _WIN32
    (void)path;
    return 0;
#else
    mode_t mask = umask(0);
    umask(mask);
    return change_mode(path, 0666 & ~mask);
#endif
  }

  bool runner_owns(const Identity& id, std::string& owner) override {
#ifdef _WIN32
    (void)id;
    (void)owner;
    return true;
#else
    if (id.owner < 0 || static_cast<uid_t>(id.owner) == geteuid()) return true;
    const passwd* pw = getpwuid(static_cast<uid_t>(id.owner));
    owner = pw != nullptr ? pw->pw_name : std::to_string(id.owner);
    return false;
#endif
  }

  Lock lock(const char* path, std::size_t limit, std::string& journal,
            LockRefusal& why) override {
    journal.clear();
    why = LockRefusal{};
#ifdef _WIN32
    // A reparse point (a link) is opened as itself, never followed.
    HANDLE h =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                    nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                        FILE_FLAG_BACKUP_SEMANTICS,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() != ERROR_SHARING_VIOLATION) {
        errno = EACCES;
        return Lock::kError;
      }
      why.holder = read_holder(path);
      return Lock::kBusy;
    }
    Identity id;
    if (identity_of_handle(h, id) != 0 || id.type != Entry::kFile ||
        id.links != 1) {
      why.type = id.type;
      why.links = id.links;
      CloseHandle(h);
      return Lock::kRefused;
    }
    lock_ = h;
#else
    // A name that keeps changing under us is someone else's game: give up
    // after a few tries rather than spin.
    for (int tries = 0;; ++tries) {
      if (tries == 20) {
        errno = EAGAIN;
        return Lock::kError;
      }
      int fd = ::open(path, O_RDWR | O_CREAT | O_NOFOLLOW, 0644);
      if (fd < 0) {
        int error = errno;
        Identity id;
        bool seen = identify(path, false, id) == 0;
        // Another user's lock file cannot even be opened: say whose it is.
        bool theirs = seen && id.type == Entry::kFile && id.links == 1 &&
                      id.owner >= 0 &&
                      static_cast<uid_t>(id.owner) != geteuid();
        if (error != ELOOP && error != EISDIR && error != ENXIO && !theirs) {
          errno = error;
          return Lock::kError;
        }
        why.type = id.type;
        why.links = id.links;
        if (theirs) {
          why.owner = id.owner;
          if (const passwd* pw = getpwuid(static_cast<uid_t>(id.owner)))
            why.owner_name = pw->pw_name;
        }
        return Lock::kRefused;
      }
      struct stat mine;
      if (fstat(fd, &mine) != 0) {
        int error = errno;
        ::close(fd);
        errno = error;
        return Lock::kError;
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
        return Lock::kRefused;
      }
      if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        if (error != EWOULDBLOCK) {
          errno = error;
          return Lock::kError;
        }
        why.holder = read_holder(path);
        return Lock::kBusy;
      }
      // The run before may have removed the file between our open and our
      // lock: then the lock is on a file nobody else will see.
      struct stat there;
      if (::lstat(path, &there) == 0 && mine.st_ino == there.st_ino &&
          mine.st_dev == there.st_dev) {
        lock_ = fd;
        break;
      }
      ::close(fd);
    }
#endif
    lock_path_ = path;
    if (!read_all(journal, limit)) return Lock::kError;
    return Lock::kTaken;
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
    // Removed while still held, so no other run can lock the old file; and
    // only when the name still is our file.
    struct stat mine, there;
    if (!keep && fstat(lock_, &mine) == 0 &&
        ::lstat(lock_path_.c_str(), &there) == 0 &&
        mine.st_ino == there.st_ino && mine.st_dev == there.st_dev)
      ::unlink(lock_path_.c_str());
    ::close(lock_);
    lock_ = -1;
#endif
  }

  // The journal of a run that died is repaired before anything new is
  // recorded; until then it stays in the file, so a repair cut short is
  // done again by the next run.
  int journal_reset(std::string_view first) override {
#ifdef _WIN32
    if (lock_ == INVALID_HANDLE_VALUE) return EBADF;
    SetFilePointer(lock_, 0, nullptr, FILE_BEGIN);
    if (!SetEndOfFile(lock_)) return EIO;
#else
    if (lock_ < 0) return EBADF;
    if (ftruncate(lock_, 0) != 0 || lseek(lock_, 0, SEEK_SET) != 0)
      return errno ? errno : EIO;
#endif
    return journal(first);
  }

  int folder_access(const char* path, FolderAccess& out) override {
    out = FolderAccess{};
#ifdef _WIN32
    return real_path(path, out.path);
#else
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
#endif
  }

  int interrupted() override { return g_signal; }

  long long now() override {
    return static_cast<long long>(std::time(nullptr));
  }

  long process_id() override {
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(getpid());
#endif
  }

 private:
#ifndef _WIN32
  // Opens a regular file without following a link: ELOOP for a link, EINVAL
  // for anything else that is no file. -1 with errno set on failure.
  static int open_file(const char* path, int how) {
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

  // Sets the permission bits of the file itself at `path`, never of what a
  // link there names. 0 or an errno value.
  static int change_mode(const char* path, mode_t mode) {
    int fd = open_file(path, O_RDONLY);
    if (fd < 0) return errno;
    int error = fchmod(fd, mode) == 0 ? 0 : errno;
    ::close(fd);
    return error;
  }

  // Writes all of `data`; 0 or an errno value.
  static int write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
      ssize_t n = ::write(fd, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return n < 0 ? errno : EIO;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return 0;
  }
#endif

  static long read_holder(const char* path) {
    std::FILE* f = std::fopen(path, "r");
    if (f == nullptr) return 0;
    long pid = 0;
    if (std::fscanf(f, "kivorama %ld", &pid) != 1) pid = 0;
    std::fclose(f);
    return pid;
  }

  // Reads the lock file from its start, at most `limit` bytes and one more,
  // so that a longer one shows as too long.
  bool read_all(std::string& text, std::size_t limit) {
    char buf[4096];
#ifdef _WIN32
    SetFilePointer(lock_, 0, nullptr, FILE_BEGIN);
    DWORD n = 0;
    while (text.size() <= limit &&
           ReadFile(lock_, buf, sizeof buf, &n, nullptr) && n > 0)
      text.append(buf, n);
#else
    if (lseek(lock_, 0, SEEK_SET) != 0) return false;
    while (text.size() <= limit) {
      ssize_t n = ::read(lock_, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) break;
      text.append(buf, static_cast<std::size_t>(n));
    }
#endif
    if (text.size() > limit + 1) text.resize(limit + 1);
    return true;
  }

#ifdef _WIN32
  HANDLE lock_ = INVALID_HANDLE_VALUE;
  std::string start_;
#else
  int lock_ = -1;
  int start_ = -1;
#endif
  std::string lock_path_;
};

#ifdef _WIN32
// The variables through which a player's shell gives unzip, zip, dir and
// move options of its own; none may reach the commands the program runs.
constexpr const char* kToolOptions[] = {
    "UNZIP",      "UNZIPOPT",   "ZIP",      "ZIPOPT", "ZIPINFO",
    "ZIPINFOOPT", "UNZIP_OPTS", "ZIP_OPTS", "DIRCMD", "COPYCMD"};
#else
// Where the tools are looked for when the player's shell gave no PATH.
constexpr char kDefaultPath[] = "/usr/local/bin:/usr/bin:/bin";
#endif

}  // namespace

Host& real_host() {
  static RealHost host;
  return host;
}

void host_init() {
  // The program never reads its standard input; a tool that asks a
  // question reads the end of the null device and takes its default.
#ifdef _WIN32
  if (std::freopen("NUL", "r", stdin) == nullptr) std::fclose(stdin);
  // cmd and the tools need much of what Windows puts in the environment
  // (and wine more), so only the options steering them are dropped.
  for (const char* name : kToolOptions) _putenv_s(name, "");
#else
  if (std::freopen("/dev/null", "r", stdin) == nullptr) std::fclose(stdin);
  // The shell and every tool it starts inherit only the player's choice of
  // tools and the C locale: whatever else the player's shell exports (ls's
  // quoting and colours, unzip's and zip's options, a script sh reads at
  // start, the locale) would change what they print and the program reads.
  // The program's own environment stays: what was loaded with it (a clock
  // a test fixes, say) may read it.
  const char* path = std::getenv("PATH");
  g_tools_env = {std::string("PATH=") +
                     (path != nullptr && *path != '\0' ? path : kDefaultPath),
                 "LC_ALL=C", "LANG=C"};
  g_tools_environ.clear();
  for (std::string& entry : g_tools_env)
    g_tools_environ.push_back(entry.data());
  g_tools_environ.push_back(nullptr);
#endif
  std::signal(SIGINT, on_signal);
  std::signal(SIGTERM, on_signal);
#ifdef SIGHUP
  std::signal(SIGHUP, on_signal);
#endif
}
