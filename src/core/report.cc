// The run's own status: the "error: " lines it said and whether it must
// stop. Phases report through here; the host only answers what it is asked.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/core.h"

namespace {

void say_error_args(const char* format, va_list args) {
  std::vprintf(format, args);
  ++run_status().errors;
}

}  // namespace

RunStatus& run_status() {
  static RunStatus status;
  return status;
}

void say_error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  say_error_args(format, args);
  va_end(args);
}

void stop_run() { run_status().failed = 1; }

void fail_run(const char* format, ...) {
  va_list args;
  va_start(args, format);
  say_error_args(format, args);
  va_end(args);
  stop_run();
}

int stopping() { return run_status().failed != 0 || host().interrupted() != 0; }

Entry sy_entry(const char* path) {
  errno = 0;
  Entry e = host().entry(path);
  if (e == Entry::kError) {
    fail_run("error: cannot look at '%s' (%s); the run stops\n", path,
             std::strerror(errno ? errno : EIO));
  }
  return e;
}
