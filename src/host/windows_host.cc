// The Windows host: this machine's cmd and file system, reached through
// std::system, the C streams and std::filesystem, with the system's own
// calls for exclusive creation without following reparse points (links),
// durable writes, a replacing rename, identities and the lock file (a
// handle shared with no writer).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <direct.h>
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <sys/stat.h>
#include <windows.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <utility>

#include "host/host.h"
#include "host/shared.h"

namespace {

namespace fs = std::filesystem;

// A console program stopped by Ctrl-C ends with this status.
constexpr int kControlCExit = static_cast<int>(0xC000013A);

// The variables through which a player's shell gives unzip, zip, dir and
// move options of its own; none may reach the commands the program runs.
constexpr const char* kToolOptions[] = {
    "UNZIP",      "UNZIPOPT",   "ZIP",      "ZIPOPT", "ZIPINFO",
    "ZIPINFOOPT", "UNZIP_OPTS", "ZIP_OPTS", "DIRCMD", "COPYCMD"};

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

// Reads the open file `h` from its start, at most `limit` bytes and one
// more, so that a longer one shows as too long.
void read_all(HANDLE h, std::string& text, std::size_t limit) {
  char buf[4096];
  SetFilePointer(h, 0, nullptr, FILE_BEGIN);
  DWORD n = 0;
  while (text.size() <= limit && ReadFile(h, buf, sizeof buf, &n, nullptr) &&
         n > 0)
    text.append(buf, n);
  if (text.size() > limit + 1) text.resize(limit + 1);
}

// A stream on the handle `h` that CreateFileA just returned, in `out`; 0 or
// an errno value. The handle is closed when no stream could be made.
int stream_of(HANDLE h, int flags, const char* how, std::FILE*& out) {
  out = nullptr;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), flags);
  if (fd < 0) {
    CloseHandle(h);
    return EMFILE;
  }
  out = _fdopen(fd, how);
  if (out != nullptr) return 0;
  _close(fd);
  return ENOMEM;
}

// The lock file, held by a handle that shares it with no writer.
class WindowsHeldLock final : public HeldLock {
 public:
  WindowsHeldLock(HANDLE h, std::string path) : h_(h), path_(std::move(path)) {}
  ~WindowsHeldLock() override {
    int error = errno;
    release(true);
    errno = error;
  }

  // The journal of a run that died is repaired before anything new is
  // recorded; until then it stays in the file, so a repair cut short is
  // done again by the next run.
  int reset(std::string_view first) override {
    if (h_ == INVALID_HANDLE_VALUE) return EBADF;
    SetFilePointer(h_, 0, nullptr, FILE_BEGIN);
    if (!SetEndOfFile(h_)) return EIO;
    return append(first);
  }

  int append(std::string_view records) override {
    if (h_ == INVALID_HANDLE_VALUE) return 0;
    SetFilePointer(h_, 0, nullptr, FILE_END);
    DWORD n = 0;
    if (!WriteFile(h_, records.data(), static_cast<DWORD>(records.size()), &n,
                   nullptr) ||
        n != records.size() || !FlushFileBuffers(h_))
      return EIO;
    return 0;
  }

  void release(bool keep) override {
    if (h_ == INVALID_HANDLE_VALUE) return;
    if (!keep) {
      SetFilePointer(h_, 0, nullptr, FILE_BEGIN);
      SetEndOfFile(h_);
    }
    CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
    if (!keep) DeleteFileA(path_.c_str());
  }

 private:
  HANDLE h_;
  std::string path_;
};

class WindowsHost final : public Host {
 public:
  CommandStatus run(const char* line) override {
    std::fflush(stdout);
    std::fflush(stderr);
    CommandStatus status;
    int raw = std::system(line);
    if (raw == kControlCExit)
      status.signal = SIGINT;
    else
      status.code = raw;
    // A command ended by a signal ends the run as if the signal had come to
    // the program itself: Ctrl-C reaches the child while the program waits.
    shared_host::note_stop_signal(status.signal);
    return status;
  }

  int open_read(const char* path, bool follow, std::FILE*& out) override {
    out = nullptr;
    // A reparse point is opened as itself and then refused.
    DWORD flags = follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT;
    HANDLE h = CreateFileA(
        path, GENERIC_READ,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      DWORD e = GetLastError();
      return e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND ? ENOENT
                                                                    : EACCES;
    }
    Identity id;
    if (!follow &&
        (identity_of_handle(h, id) != 0 || id.type != Entry::kFile)) {
      CloseHandle(h);
      return ELOOP;
    }
    return stream_of(h, _O_RDONLY | _O_TEXT, "r", out);
  }

  int create(const char* path, std::FILE*& out) override {
    out = nullptr;
    // CREATE_NEW fails on anything there, a reparse point included.
    // Shared as _open shares a file: a reader or a repair is not locked
    // out while it is written.
    HANDLE h =
        CreateFileA(path, GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
      return GetLastError() == ERROR_FILE_EXISTS ? EEXIST : EACCES;
    return stream_of(h, _O_TEXT, "w", out);
  }

  int close(std::FILE* f, bool durable) override {
    return shared_host::close(f, durable,
                              [](std::FILE* s) { return _commit(_fileno(s)); });
  }

  int rename(const char* from, const char* to) override {
    if (MoveFileExA(from, to,
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return 0;
    return GetLastError() == ERROR_FILE_NOT_FOUND ? ENOENT : EACCES;
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
    std::error_code ec;
    fs::copy_file(from, to, fs::copy_options::none, ec);
    return shared_host::error_of(ec);
  }

  int copy_mode(const char* from, const char* to) override {
    std::error_code ec;
    fs::perms mode = fs::symlink_status(from, ec).permissions();
    if (ec) return shared_host::error_of(ec);
    fs::permissions(to, mode, ec);
    return shared_host::error_of(ec);
  }

  // A new file's permission bits are the only ones there are.
  int fresh_mode(const char*) override { return 0; }

  // Windows keeps no owners the program looks at.
  bool runner_owns(const Identity&, std::string&) override { return true; }

  int lock(const char* path, std::size_t limit, std::string& journal,
           LockRefusal& why, std::unique_ptr<HeldLock>& taken,
           Lock& got) override {
    got = Lock::kRefused;
    journal.clear();
    why = LockRefusal{};
    taken.reset();
    // A reparse point (a link) is opened as itself, never followed.
    HANDLE h =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                    nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT |
                        FILE_FLAG_BACKUP_SEMANTICS,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      if (GetLastError() != ERROR_SHARING_VIOLATION) return EACCES;
      why.holder = shared_host::read_start(path, limit);
      got = Lock::kBusy;
      return 0;
    }
    Identity id;
    if (identity_of_handle(h, id) != 0 || id.type != Entry::kFile ||
        id.links != 1) {
      why.type = id.type;
      why.links = id.links;
      CloseHandle(h);
      return 0;
    }
    read_all(h, journal, limit);
    taken = std::make_unique<WindowsHeldLock>(h, path);
    got = Lock::kTaken;
    return 0;
  }

  // Its rights are not looked at: no one else may change it.
  int folder_access(const char* path, FolderAccess& out) override {
    out = FolderAccess{};
    return real_path(path, out.path);
  }

  int interrupted() override { return shared_host::stop_signal(); }
  long long now() override { return shared_host::now(); }
  long process_id() override { return static_cast<long>(_getpid()); }

 private:
  std::string start_;
};

// The tools a Windows player keeps beside the program: unzip.exe and zip.exe
// come in one folder with kivorama.exe, which the player starts by its full
// path from the game folder; cmd looks for a command in the current folder
// and along PATH only, so the program's own folder goes to the front of the
// PATH that every command it runs inherits. 1 when done, 0 when the folder
// or PATH could not be had.
int put_own_folder_on_path() {
  // The full path of the running program, however it was started.
  std::wstring exe(MAX_PATH, L'\0');
  for (;;) {
    DWORD n =
        GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (n == 0) return 0;
    if (n < exe.size()) {
      exe.resize(n);
      break;
    }
    if (exe.size() >= 32768) return 0;  // longer than any Windows path
    exe.resize(exe.size() * 2);
  }
  std::size_t cut = exe.find_last_of(L"\\/");
  if (cut == std::wstring::npos) return 0;
  std::wstring folder = exe.substr(0, cut);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';  // "C:\"
  // A ';' inside a folder name would split the entry; cmd takes it quoted.
  if (folder.find(L';') != std::wstring::npos) folder = L'"' + folder + L'"';
  std::wstring entry = L"PATH=" + folder;
  const wchar_t* path = _wgetenv(L"PATH");
  if (path != nullptr && *path != L'\0') entry += L';' + std::wstring(path);
  // _wputenv keeps a copy, and children created by system() inherit it.
  return _wputenv(entry.c_str()) == 0 ? 1 : 0;
}

void prepare_process() {
  put_own_folder_on_path();
  // The program never reads its standard input; a tool that asks a
  // question reads the end of the null device and takes its default.
  if (std::freopen("NUL", "r", stdin) == nullptr) std::fclose(stdin);
  // cmd and the tools need much of what Windows puts in the environment
  // (and wine more), so only the options steering them are dropped.
  for (const char* name : kToolOptions) _putenv_s(name, "");
  shared_host::catch_stop_signals({SIGINT, SIGTERM});
}

}  // namespace

std::unique_ptr<Host> make_real_host(Prepare prepare) {
  if (prepare == Prepare::kProcess) {
    static const bool prepared = (prepare_process(), true);
    (void)prepared;
  }
  return std::make_unique<WindowsHost>();
}
