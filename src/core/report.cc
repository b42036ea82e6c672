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

namespace {

void add_line(std::vector<Status::Line>& lines, bool counted,
              const char* format, va_list args) {
  va_list again;
  va_copy(again, args);
  int n = std::vsnprintf(nullptr, 0, format, again);
  va_end(again);
  Status::Line line;
  line.counted = counted;
  if (n > 0) {
    line.text.resize(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(line.text.data(), line.text.size(), format, args);
    line.text.resize(static_cast<std::size_t>(n));
  }
  lines.push_back(std::move(line));
}

}  // namespace

void Status::note(const char* format, ...) {
  va_list args;
  va_start(args, format);
  add_line(lines_, false, format, args);
  va_end(args);
}

void Status::error(int error, const char* format, ...) {
  va_list args;
  va_start(args, format);
  add_line(lines_, true, format, args);
  va_end(args);
  if (error != 0 && error_ == 0) error_ = error;
}

void Status::fatal(int error, const char* format, ...) {
  va_list args;
  va_start(args, format);
  add_line(lines_, true, format, args);
  va_end(args);
  if (error_ == 0) error_ = error != 0 ? error : EIO;
  stops_ = true;
}

void Status::fail(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
}

void Status::add(const Status& later) {
  lines_.insert(lines_.end(), later.lines_.begin(), later.lines_.end());
  if (error_ == 0) error_ = later.error_;
  stops_ = stops_ || later.stops_;
}

int say_status(RunContext& run, const Status& st) {
  for (const Status::Line& line : st.lines()) {
    std::fputs(line.text.c_str(), stdout);
    if (line.counted) ++run.status.errors;
  }
  if (st.stops()) stop_run(run);
  return st.ok() ? 1 : 0;
}

int stopping(RunContext& run) {
  return run.status.failed != 0 || run.host.interrupted() != 0;
}

int sy_entry(RunContext& run, const char* path, Entry& out) {
  int error = run.host.entry(path, out);
  if (error != 0) {
    fail_run(run, "error: cannot look at '%s' (%s); the run stops\n", path,
             std::strerror(error));
    return 0;
  }
  return 1;
}
