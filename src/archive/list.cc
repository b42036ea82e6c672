// The archive list: the .pk3 files of the current folder that the scan
// reads, in the order of the folder listing, without the game's own archives
// and the program's output.
#include <cstring>
#include <string_view>

#include "archive/archive.h"

namespace {

// The listing line buffer: one read gives at most 47 characters.
constexpr int kListLineBytes = 48;

// 1 for a listed name that is an add-on archive: ends in ".pk3" (lower case
// only) and is none of pak0.pk3 to pak9.pk3, zbot.pk3 or an output archive.
bool is_add_on_archive(std::string_view name) {
  if (name.size() < 4 || name.substr(name.size() - 4) != ".pk3") return false;
  if (name.size() == 8 && name.starts_with("pak") && is_digit(name[3]))
    return false;
  if (name.size() == 8 && name.starts_with("zbot")) return false;
  if (name.starts_with("kivo-") || name.starts_with("kivo.")) return false;
  return true;
}

}  // namespace

int sy_get_pk3_list(name_field* list, int name_length, int capacity) {
  if (list == nullptr || capacity <= 0) return 0;
  list[0].clear();
  std::size_t cut =
      name_length > 0 && name_length < static_cast<int>(kNameChars)
          ? static_cast<std::size_t>(name_length)
          : kNameChars;

  sy_cmd_list_folder();
  std::FILE* f = std::fopen(kListFile, "r");
  if (f == nullptr) {
    std::printf("error: cannot open dir list file, 'kivo.tmp'");
    return 0;
  }

  // The last slot stays empty to end the list. Every line of the listing is
  // read, so files that are no archives never crowd out later archives.
  int kept = 0;
  bool full_reported = false;
  char line[kListLineBytes];
  while (read_list_piece(f, line, kListLineBytes)) {
    std::string_view name(line);
    if (!is_add_on_archive(name)) continue;
    if (kept >= capacity - 1) {
      if (!full_reported)
        std::printf(
            "warn: the archive list is full; '%s' and later "
            "archives are not read\n",
            line);
      full_reported = true;
      continue;
    }
    list[kept].set(name.substr(0, cut));
    ++kept;
  }
  std::fclose(f);
  list[kept].clear();
  return 1;
}
