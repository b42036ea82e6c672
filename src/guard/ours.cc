// Things of the program's own beside the player's: the folders kivo.stmp
// and kivo.ztmp from their making to their removal or, after a run that was
// stopped, their undoing, each proven by its token and recorded identities.
#include "guard/ours.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "core/names.h"

namespace {

// 1 when `folder` holds the token file with `token` in it, read back.
int holds_token(RunContext& run, const char* folder, const std::string& token) {
  if (token.empty()) return 0;
  std::string path = path_in(folder, kTokenFile);
  Identity id;
  if (run.host.identify(path.c_str(), false, id) != 0 ||
      id.type != Entry::kFile || id.links != 1 || id.size != token.size())
    return 0;
  std::FILE* f = nullptr;
  if (run.host.open_read(path.c_str(), false, f) != 0) return 0;
  char text[32] = "";
  std::size_t n = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  return std::string_view(text, n) == token;
}

// What a folder that the journal names turns out to be.
enum class Proof { kAbsent, kOurs, kEmpty, kUnproven };

// A folder is the program's own when it is the one recorded (if one was)
// and holds the token file with the run's token, read back. An empty folder
// at a name only the program uses, which the journal says was begun, is
// reported as such: removing it loses nothing. The answer in `out`: 0, or
// the errno value of a look that failed.
int prove_folder(RunContext& run, const char* path, const std::string& token,
                 const Made& made, Proof& out) {
  out = Proof::kUnproven;
  Identity id;
  int error = run.host.identify(path, false, id);
  if (error == ENOENT) out = Proof::kAbsent;
  if (error != 0) return error == ENOENT ? 0 : error;
  if (id.type != Entry::kFolder) return 0;
  if (made.known && !id.same_object(made.id)) return 0;
  if (holds_token(run, path, token)) {
    out = Proof::kOurs;
    return 0;
  }
  std::vector<std::string> names;
  if (int failed = run.host.list_folder(path, names); failed != 0)
    return failed;
  if (names.empty()) out = Proof::kEmpty;
  return 0;
}

// Moves a folder of the program's own that holds what it cannot prove to
// the first free kivo.kept name, and warns of it in r.said.
void keep_aside(RunContext& run, const char* path, Repair& r) {
  for (int n = 0; n < 10; ++n) {
    std::string name = kKeptFolder;
    if (n > 0) name += "." + std::to_string(n);
    Entry there = Entry::kNone;
    if (run.host.entry(name.c_str(), there) != 0) break;
    if (there != Entry::kNone) continue;
    if (run.host.rename(path, name.c_str()) != 0) break;
    r.said.note(
        "warn: '%s', a folder of kivorama's own left by a run that was "
        "stopped, holds files that kivorama cannot prove it made: it is "
        "moved to '%s' with them; keep what is yours and remove the rest\n",
        path, name.c_str());
    ++r.kept;
    return;
  }
  r.said.note(
      "warn: '%s', a folder of kivorama's own left by a run that was "
      "stopped, holds files that kivorama cannot prove it made: it is left "
      "as it is; keep what is yours and remove the rest\n",
      path);
  ++r.unproven;
}

// The digest of a file's text, read as it was written; "" when unreadable.
std::string file_digest(RunContext& run, const char* path) {
  std::FILE* f = nullptr;
  if (run.host.open_read(path, false, f) != 0) return "";
  std::string text;
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
    text.append(buf, n);
  bool ok = std::ferror(f) == 0;
  std::fclose(f);
  return ok ? digest_of(text) : "";
}

std::string_view base_name(std::string_view path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// 1 when the object `id` at `path` (`rel` within the folder) is one the
// program made: the very object recorded (identity, size and time), or a
// file with the text recorded for its name (wherever a move took it).
bool is_made(RunContext& run, const char* path, std::string_view rel,
             const Identity& id, const std::vector<MadeFile>& proofs) {
  for (const MadeFile& m : proofs) {
    if (!m.digest.empty()) {
      if (id.type == Entry::kFile && m.name == base_name(rel) &&
          file_digest(run, path) == m.digest)
        return true;
    } else if (m.name == rel && id.device == m.id.device &&
               id.number == m.id.number &&
               (id.type == Entry::kFolder ||
                (id.type == Entry::kFile && id.links == 1 &&
                 id.size == m.id.size && id.changed == m.id.changed))) {
      return true;
    }
  }
  return false;
}

// Removes from the folder `path` (`rel` within the folder of the program's
// own) every file and folder the program provably made; counts the rest.
// 0, or the errno value of a look or removal that failed.
int remove_made(RunContext& run, const std::string& path,
                const std::string& rel, const std::vector<MadeFile>& proofs,
                int& unproven) {
  const bool work = path == kWorkFolder;
  std::vector<std::string> names;
  if (int error = run.host.list_folder(path.c_str(), names); error != 0)
    return error;
  for (const std::string& name : names) {
    if (rel.empty() && name == kTokenFile) continue;
    // The list file that the commands run in the folder write: the
    // program's by its name here, as in the game folder.
    bool list_file = work && name == kListFile;
    std::string full = path + "/" + name;
    std::string within = rel.empty() ? name : rel + "/" + name;
    Identity id;
    int error = run.host.identify(full.c_str(), false, id);
    if (error != 0) return error;
    if (id.type == Entry::kFolder && rel.empty() &&
        is_made(run, full.c_str(), within, id, proofs)) {
      int before = unproven;
      error = remove_made(run, full, within, proofs, unproven);
      if (error == 0 && unproven == before)
        error = run.host.remove(full.c_str());
    } else if (id.type == Entry::kFile &&
               (list_file || is_made(run, full.c_str(), within, id, proofs))) {
      error = run.host.remove(full.c_str());
    } else {
      ++unproven;
    }
    if (error != 0) return error;
  }
  return 0;
}

// Empties and removes a folder of the program's own, proven by its token:
// what it made goes when it still is what was recorded, then the token and
// the folder. Anything else in it is not the program's: the folder is moved
// aside with it instead. What it did is counted in `r`.
void clear_own_folder(RunContext& run, const char* path,
                      const std::vector<MadeFile>& proofs, Repair& r) {
  int unproven = 0;
  if (remove_made(run, path, "", proofs, unproven) != 0 ||
      run.host.remove(path_in(path, kTokenFile).c_str()) != 0) {
    ++r.failures;
  } else if (unproven > 0) {
    keep_aside(run, path, r);
  } else if (run.host.remove(path) != 0) {
    ++r.failures;
  } else {
    ++r.removed;
  }
}

int make_token_file(RunContext& run, const char* folder) {
  // A phase run alone, without the folder's lock, has no token yet.
  if (run.guard.token.empty()) run.guard.token = new_token(run);
  std::string path = path_in(folder, kTokenFile);
  std::FILE* f = nullptr;
  if (int error = run.host.create(path.c_str(), f); error != 0) return error;
  std::fputs(run.guard.token.c_str(), f);
  int error = run.host.close(f, true);
  if (error != 0) run.host.remove(path.c_str());
  return error;
}

}  // namespace

std::string path_in(const char* folder, std::string_view name) {
  return std::string(folder) + "/" + std::string(name);
}

void warn_unproven(Repair& r, const char* path) {
  r.said.note(
      "warn: '%s' may be left by a run of kivorama that was stopped, but it "
      "cannot be proven to be: it is left as it is; check it, and move or "
      "remove it if it is not yours\n",
      path);
  ++r.unproven;
}

int is_object(RunContext& run, const char* path, const Identity& id) {
  Identity there;
  return run.host.identify(path, false, there) == 0 && there.same_object(id);
}

Status ours_begin_folder(RunContext& run, const char* path,
                         std::string_view kind, Identity& id) {
  id = Identity{};
  Status st = journal_made(run, kind, "new");
  if (!st.ok()) return st;
  int error = run.host.make_folder(path);
  if (error != 0) {
    st.fail(error);
    return st;
  }
  Identity made;
  error = run.host.identify(path, false, made);
  if (error == 0) error = make_token_file(run, path);
  if (error == 0) st = journal_made(run, kind, identity_text(made));
  if (error == 0 && st.ok()) {
    id = made;
    return st;
  }
  st.fail(error);
  // Made by this run a moment ago: what it holds is at most its token.
  if (made.type == Entry::kFolder && is_object(run, path, made)) {
    std::string token = path_in(path, kTokenFile);
    if (holds_token(run, path, run.guard.token)) run.host.remove(token.c_str());
    run.host.remove(path);
  }
  return st;
}

int ours_end_folder(RunContext& run, const char* path, const Identity& made) {
  Proof proof = Proof::kUnproven;
  const Made recorded{true, true, made};
  if (int error = prove_folder(run, path, run.guard.token, recorded, proof);
      error != 0)
    return error;
  switch (proof) {
    case Proof::kAbsent:
      return 0;
    case Proof::kOurs:
      return run.host.remove_tree(path);
    default:
      return EXDEV;
  }
}

void ours_undo_folder(RunContext& run, const char* path,
                      const std::string& token, const Made& made,
                      const std::vector<MadeFile>& proofs, Repair& r) {
  const bool players_name = path == kScripts;
  Proof proof = Proof::kUnproven;
  if (prove_folder(run, path, token, made, proof) != 0) {
    ++r.failures;
    return;
  }
  switch (proof) {
    case Proof::kAbsent:
      return;
    case Proof::kOurs:
      clear_own_folder(run, path, proofs, r);
      return;
    case Proof::kEmpty:
      if (players_name) return;
      if (run.host.remove(path) != 0)
        ++r.failures;
      else
        ++r.removed;
      return;
    case Proof::kUnproven:
      if (players_name) return;
      warn_unproven(r, path);
      return;
  }
}
