// shared.h: private to src/host: what the POSIX host and the Windows host
// do alike, through the C and C++ libraries, and the flag the signal
// handlers set, the one process global of the hosts. Nothing outside
// src/host includes it.
#ifndef KIVO_HOST_SHARED_H
#define KIVO_HOST_SHARED_H

#include <cstddef>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <system_error>
#include <vector>

#include "host/host.h"

namespace shared_host {

// The errno value of a failed library call: 0 when none failed.
int error_of(const std::error_code& ec);

// The operations of Host that both hosts do through std::filesystem.
int remove(const char* path);
int remove_tree(const char* path);
int make_folder(const char* path);
int entry(const char* path, Entry& out);
int list_folder(const char* path, std::vector<std::string>& names);
int real_path(const char* path, std::string& out);
int read_only(const char* path, bool& out);
long long now();

// Flushes and closes a stream; `sync` (fsync or _commit of its descriptor)
// makes its data durable first when `durable`. 0 or the first errno value.
int close(std::FILE* f, bool durable, int (*sync)(std::FILE* f));

// The start of the file at `path`, at most `limit` bytes, read through a
// stream of its own; empty when it cannot be read.
std::string read_start(const char* path, std::size_t limit);

// The signal that asked the run to stop, or 0.
int stop_signal();
// Records `signal` as the one that stops the run, unless one already did.
void note_stop_signal(int signal);
// Turns each of `signals` into a stop at the next step.
void catch_stop_signals(std::initializer_list<int> signals);

}  // namespace shared_host

#endif  // KIVO_HOST_SHARED_H
