// The run's own status: the "error: " lines it said and whether it must
// stop. Phases report through here; the host only answers what it is asked.
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/core.h"

namespace {

void say_error_args(RunContext& run, const char* format, va_list args) {
  std::vprintf(format, args);
  ++run.status.errors;
}

}  // namespace

void say_error(RunContext& run, const char* format, ...) {
  va_list args;
  va_start(args, format);
  say_error_args(run, format, args);
  va_end(args);
}

void stop_run(RunContext& run) { run.status.failed = 1; }

void fail_run(RunContext& run, const char* format, ...) {
  va_list args;
  va_start(args, format);
  say_error_args(run, format, args);
  va_end(args);
  stop_run(run);
}

int stopping(RunContext& run) {
  return run.status.failed != 0 || run.host.interrupted() != 0;
}

Entry sy_entry(RunContext& run, const char* path) {
  errno = 0;
  Entry e = run.host.entry(path);
  if (e == Entry::kError) {
    fail_run(run, "error: cannot look at '%s' (%s); the run stops\n", path,
             std::strerror(errno ? errno : EIO));
  }
  return e;
}
