// What the POSIX host and the Windows host share, and the Host in force.
#include "host/shared.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <filesystem>

namespace shared_host {

namespace {

namespace fs = std::filesystem;

volatile std::sig_atomic_t g_signal = 0;

extern "C" void on_signal(int signal) { g_signal = signal; }

}  // namespace

int error_of(const std::error_code& ec) {
  return ec ? (ec.value() != 0 ? ec.value() : EIO) : 0;
}

int remove(const char* path) {
  std::error_code ec;
  bool removed = fs::remove(path, ec);
  if (ec) return error_of(ec);
  return removed ? 0 : ENOENT;
}

int remove_tree(const char* path) {
  std::error_code ec;
  fs::remove_all(path, ec);
  return error_of(ec);
}

int make_folder(const char* path) {
  std::error_code ec;
  if (fs::create_directory(path, ec)) return 0;
  return ec ? error_of(ec) : EEXIST;
}

int entry(const char* path, Entry& out) {
  std::error_code ec;
  fs::file_status st = fs::symlink_status(path, ec);
  out = Entry::kNone;
  if (st.type() == fs::file_type::not_found) return 0;
  if (ec) return error_of(ec);
  switch (st.type()) {
    case fs::file_type::regular:
      out = Entry::kFile;
      break;
    case fs::file_type::directory:
      out = Entry::kFolder;
      break;
    case fs::file_type::symlink:
      out = Entry::kLink;
      break;
    default:
      out = Entry::kOther;
  }
  return 0;
}

int list_folder(const char* path, std::vector<std::string>& names) {
  names.clear();
  std::error_code ec;
  for (fs::directory_iterator it(path, ec), end; !ec && it != end;
       it.increment(ec))
    names.push_back(it->path().filename().string());
  return error_of(ec);
}

int real_path(const char* path, std::string& out) {
  std::error_code ec;
  fs::path p = fs::canonical(path, ec);
  if (ec) return error_of(ec);
  out = p.string();
  return 0;
}

int read_only(const char* path, bool& out) {
  std::error_code ec;
  fs::file_status st = fs::symlink_status(path, ec);
  out = false;
  if (ec) return error_of(ec);
  out = (st.permissions() & fs::perms::owner_write) == fs::perms::none;
  return 0;
}

long long now() { return static_cast<long long>(std::time(nullptr)); }

int close(std::FILE* f, bool durable, int (*sync)(std::FILE* f)) {
  if (f == nullptr) return EBADF;
  errno = 0;
  int error = 0;
  if (std::fflush(f) != 0 || std::ferror(f) != 0) error = errno ? errno : EIO;
  if (error == 0 && durable && sync(f) != 0) error = errno ? errno : EIO;
  if (std::fclose(f) != 0 && error == 0) error = errno ? errno : EIO;
  return error;
}

std::string read_start(const char* path, std::size_t limit) {
  std::string text;
  std::FILE* f = std::fopen(path, "r");
  if (f == nullptr) return text;
  char buf[4096];
  while (text.size() < limit) {
    std::size_t n =
        std::fread(buf, 1, std::min(sizeof buf, limit - text.size()), f);
    if (n == 0) break;
    text.append(buf, n);
  }
  std::fclose(f);
  return text;
}

int stop_signal() { return g_signal; }

void note_stop_signal(int signal) {
  if (signal != 0 && g_signal == 0) g_signal = signal;
}

void catch_stop_signals(std::initializer_list<int> signals) {
  for (int signal : signals) std::signal(signal, on_signal);
}

}  // namespace shared_host
