// The tools a Windows player keeps beside the program. unzip.exe and zip.exe
// come in one folder with kivorama.exe, which the player starts by its full
// path from the game folder; cmd looks for a command in the current folder
// and along PATH only, so the program's own folder goes to the front of the
// PATH that every command it runs inherits. Elsewhere the tools are the
// host's own, found along PATH as it is.
#include "core/core.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdlib>
#include <string>
#endif

int sy_put_own_folder_on_path() {
#ifdef _WIN32
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
#else
  return 1;
#endif
}
