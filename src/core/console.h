// A console window of the program's own: a Windows player who starts
// kivorama.exe with a double-click gets a window that would close the
// moment the run ends, before anything in it can be read.
#pragma once

#include <cstdio>

// Call before the standard input is replaced. When the program has a
// console of its own (it is the only process on it) and its standard input
// is that console, the program waits for Enter after its last line, however
// it ends; never when started from a command prompt, a script or with its
// input redirected, nor under wine or on other hosts. Returns 1 when it will
// wait.
int sy_hold_own_console();

// The decision: `processes` on the console (0 for none), whether standard
// input is that console.
bool holds_own_console(unsigned processes, bool input_is_console);

// Prints the closing prompt to `out` and reads `in` up to a line end (CR or
// LF) or its end.
void wait_for_enter(std::FILE* in, std::FILE* out);
