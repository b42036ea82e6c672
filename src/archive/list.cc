// The archive list: the .pk3 files of the current folder that the scan
// reads, in the order of the folder listing, without the game's own archives
// and the program's output.
#include <cerrno>
#include <cstring>
#include <string_view>

#include "archive/archive.h"

namespace {

// Listing lines are read whole; what a name needs of them fits here.
constexpr int kListLineBytes = 1024;

// 1 for a listed name that is an add-on archive: ends in ".pk3" (lower case
// only) and is none of pak0.pk3 to pak9.pk3, zbot.pk3 or an output archive.
bool is_add_on_archive(std::string_view name) {
  if (name.size() < 4 || name.substr(name.size() - 4) != ".pk3") return false;
  if (name.size() == 8 && name.starts_with("pak") && is_digit(name[3]))
    return false;
  if (name.size() == 8 && name.starts_with("zbot")) return false;
  for (std::string_view own : kOwnPrefixes)
    if (name.starts_with(own)) return false;
  return true;
}

// 1 for any name ending in ".pk3" in any case, the game's own archives and
// the program's output included.
bool is_pk3_name(std::string_view name) {
  if (name.size() < 4) return false;
  std::string_view end = name.substr(name.size() - 4);
  return end[0] == '.' && (end[1] | 0x20) == 'p' && (end[2] | 0x20) == 'k' &&
         end[3] == '3';
}

}  // namespace

int sy_get_pk3_list(RunContext& run, name_field* list, int name_length,
                    int capacity) {
  if (list == nullptr || capacity <= 0) return 0;
  list[0].clear();
  std::size_t cut =
      name_length > 0 && name_length < static_cast<int>(kNameChars)
          ? static_cast<std::size_t>(name_length)
          : kNameChars;

  CommandStatus status = sy_cmd_list_folder(run);
  if (status.signal != 0 || status.code == kCommandNotRun) return 0;
  if (!status.ok()) {
    fail_run(run,
             "error: cannot list this folder: '%s' ended with status %d; "
             "'kivo.pk3' and 'kivo.cfg' are left as they were\n",
             sy_list_folder_line(), status.code);
    return 0;
  }
  std::FILE* f = nullptr;
  if (int error = run.host.open_read(kListFile, false, f); error != 0) {
    fail_run(
        run,
        "error: cannot open dir list file, 'kivo.tmp' (%s); 'kivo.pk3' and "
        "'kivo.cfg' are left as they were\n",
        std::strerror(error));
    return 0;
  }

  // The last slot stays empty to end the list. Every line of the listing is
  // read, so files that are no archives never crowd out later archives, and
  // read whole, so no piece of a long name passes for a name.
  int kept = 0;
  bool full_reported = false;
  // A folder without any .pk3 (a name too long to read may be one) is no
  // game's data folder: the player is told, and the run goes on.
  bool any_pk3 = false;
  char line[kListLineBytes];
  std::size_t length = 0;
  while (read_list_line(f, line, kListLineBytes, &length)) {
    std::string_view name(line);
    if (length >= kListLineBytes - 1) {
      std::printf(
          "warn: a name in the folder listing is too long; it is skipped\n");
      any_pk3 = true;
      continue;
    }
    any_pk3 = any_pk3 || is_pk3_name(name);
    if (!is_add_on_archive(name)) continue;
    if (name.size() > cut) {
      std::printf(
          "warn: archive '%.*s...' skipped: its name is longer than %d "
          "characters\n",
          static_cast<int>(cut), line, static_cast<int>(cut));
      continue;
    }
    if (kept >= capacity - 1) {
      if (!full_reported)
        std::printf(
            "warn: the archive list is full; '%s' and later "
            "archives are not read\n",
            line);
      full_reported = true;
      continue;
    }
    list[kept].set(name);
    ++kept;
  }
  std::fclose(f);
  list[kept].clear();
  if (!any_pk3)
    std::printf(
        "warn: no .pk3 archive in this folder; it does not look like a "
        "game's data folder (baseq3, baseoa, missionpack)\n");
  return 1;
}
