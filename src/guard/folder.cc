// Refusing a game folder that other users can change. The commands a run
// hands the shell work on names in the folder, so another user who may
// change it can make any of those names a link to a file of the runner's,
// or swap one between two steps; no care inside the program can stop that.
// Such a folder is refused before anything in it is made or changed, as
// version control refuses a repository of another user's.
#include <cerrno>
#include <cstring>
#include <string>

#include "core/core.h"
#include "guard/guard.h"

namespace {

constexpr unsigned kGroupWrite = 0020;
constexpr unsigned kOthersWrite = 0002;

// `text` as one word for sh: as it is when nothing in it is special there.
std::string sh_word(const std::string& text, bool always_quoted) {
  bool plain = !text.empty() && !always_quoted;
  for (char c : text)
    plain =
        plain && (is_digit(c) || (c >= 'a' && c <= 'z') ||
                  (c >= 'A' && c <= 'Z') || c == '.' || c == '_' || c == '-');
  if (plain) return text;
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? "'\\''" : std::string(1, c);
  return quoted + "'";
}

}  // namespace

int sy_folder_is_safe(RunContext& run) {
  FolderAccess a;
  if (int error = run.host.folder_access(".", a); error != 0) {
    fail_run(
        run,
        "error: cannot find out who may change this folder (%s); nothing was "
        "changed\n",
        std::strerror(error));
    return 0;
  }
  const std::string owner =
      a.owner_name.empty() ? std::to_string(a.owner) : a.owner_name;
  if (a.owner != a.runner && a.owner != 0) {
    fail_run(
        run,
        "error: the folder '%s' belongs to the user '%s' (mode %04o), who "
        "could change it while this run works, so nothing was changed: run "
        "kivorama as '%s' (sudo -u %s kivorama)\n",
        a.path.c_str(), owner.c_str(), a.mode, owner.c_str(),
        sh_word(a.owner_name.empty() ? "#" + owner : owner, false).c_str());
    return 0;
  }
  const bool group = (a.mode & kGroupWrite) != 0 && a.group_other;
  const bool others = (a.mode & kOthersWrite) != 0;
  if (!group && !others) return 1;
  fail_run(
      run,
      "error: the folder '%s' (owner '%s', mode %04o) can be changed by "
      "other users%s, so nothing was changed: let only its owner change it "
      "(chmod %s-w %s) and run again\n",
      a.path.c_str(), owner.c_str(), a.mode, others ? "" : " of its group",
      group && others ? "go"
      : group         ? "g"
                      : "o",
      sh_word(a.path, true).c_str());
  return 0;
}
