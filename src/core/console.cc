// Keeps a console window of the program's own open until the player has
// read it (see console.h).
#include "core/console.h"

#include <cstdlib>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace {

#ifdef _WIN32
// Under wine a console of the program's own is the terminal wine was
// started from, which stays open when the program ends.
bool under_wine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr &&
         GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// The console itself, whatever standard input has become by now.
void wait_on_console() {
  std::fflush(stdout);
  std::fflush(stderr);
  std::FILE* in = std::fopen("CONIN$", "r");
  if (in == nullptr) return;
  wait_for_enter(in, stdout);
  std::fclose(in);
}
#endif

}  // namespace

bool holds_own_console(unsigned processes, bool input_is_console) {
  return processes == 1 && input_is_console;
}

void wait_for_enter(std::FILE* in, std::FILE* out) {
  std::fputs("\npress Enter to close this window", out);
  std::fflush(out);
  for (int c = std::fgetc(in); c != EOF && c != '\n' && c != '\r';
       c = std::fgetc(in)) {
  }
}

int sy_hold_own_console() {
#ifdef _WIN32
  DWORD ids[2];
  DWORD processes = GetConsoleProcessList(ids, 2);
  DWORD mode = 0;
  bool input_is_console =
      GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
  if (!holds_own_console(processes, input_is_console) || under_wine()) return 0;
  return std::atexit(wait_on_console) == 0 ? 1 : 0;
#else
  return 0;
#endif
}
