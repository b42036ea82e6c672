// Guarding the folder: the lock, the journal, the three helpers that record
// what they make (the loan of scripts, the work folder, the replacement of
// kivo.cfg) and the repair, which is the sum of their undo steps. A journal
// is input like any other: it is read strictly, and nothing it names is
// touched unless the folder proves it.
#include "host/guard.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <string>
#include <vector>

#include "core/core.h"

namespace {

constexpr char kScripts[] = "scripts";
constexpr char kConfig[] = "kivo.cfg";
constexpr char kConfigTemp[] = "kivo.cfg.tmp";

// Record words, each a line of the journal after its first.
constexpr std::string_view kAside = "aside ";      // + identity of scripts
constexpr std::string_view kExtract = "extract ";  // + member name in hex
constexpr std::string_view kLoanOver = "loan over";
// Things made, each recorded as "<kind> new" before it is made, "<kind>
// <identity>" once made, and (but for the loan's folder, which "loan over"
// ends) "<kind> over" once gone.
constexpr std::string_view kOwn = "own";    // our scripts folder
constexpr std::string_view kWork = "work";  // kivo.ztmp
constexpr std::string_view kCfg = "cfg";    // kivo.cfg's temporary file

// Something the journal says the run began to make, and its identity once
// recorded.
struct Made {
  bool begun = false;
  bool known = false;
  Identity id;
};

// What a journal says was begun and not finished.
struct Pending {
  bool parsed = false;
  std::string token;
  bool aside = false;
  Identity aside_id;
  Made own, work, cfg;               // our scripts, kivo.ztmp, kivo.cfg.tmp
  std::vector<std::string> members;  // what the loan's folder may hold
};

bool parse_number(std::string_view text, std::uint64_t& out) {
  if (text.empty() || text.size() > 20) return false;
  std::uint64_t value = 0;
  for (char c : text) {
    if (!is_digit(c)) return false;
    std::uint64_t next = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (next / 10 != value) return false;
    value = next;
  }
  out = value;
  return true;
}

// "<device>:<number>" into an identity of the type given.
bool parse_identity(std::string_view text, Entry type, Identity& id) {
  std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return false;
  id = Identity{};
  id.type = type;
  return parse_number(text.substr(0, colon), id.device) &&
         parse_number(text.substr(colon + 1), id.number);
}

// A name written as hexadecimal digits, two a byte, so that no name can
// make a record say more than it should.
std::string hex_of(std::string_view name) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : name) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

bool from_hex(std::string_view hex, std::string& name) {
  if (hex.empty() || hex.size() % 2 != 0 || hex.size() > 2 * 255) return false;
  auto value = [](char c) {
    return is_digit(c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : -1;
  };
  name.clear();
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    int hi = value(hex[i]), lo = value(hex[i + 1]);
    if (hi < 0 || lo < 0) return false;
    name += static_cast<char>(hi * 16 + lo);
  }
  return true;
}

// Reads "<kind> new", "<kind> <identity>" (only once begun) and, where
// `ends` allows, "<kind> over" into `m`; false when the line is none of them.
bool read_made(std::string_view line, std::string_view kind, Entry type,
               bool ends, Made& m) {
  if (!line.starts_with(kind) || line.size() <= kind.size() ||
      line[kind.size()] != ' ')
    return false;
  std::string_view rest = line.substr(kind.size() + 1);
  if (rest == "new" || (ends && rest == "over")) {
    m = Made{};
    m.begun = rest == "new";
    return true;
  }
  Identity id;
  if (!m.begun || !parse_identity(rest, type, id)) return false;
  m.known = true;
  m.id = id;
  return true;
}

bool is_token(std::string_view text) {
  if (text.size() != 16) return false;
  for (char c : text)
    if (!is_digit(c) && !(c >= 'a' && c <= 'f')) return false;
  return true;
}

// Reads a journal strictly: its first line "kivorama <process> <token>",
// then known records only, every line ended. Anything else: not parsed.
Pending read_journal(std::string_view text) {
  Pending p;
  if (text.empty()) {
    p.parsed = true;
    return p;
  }
  if (text.size() > kJournalLimit || text.back() != '\n') return p;
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find('\n', at);
    lines.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  std::string_view first = lines[0];
  if (!first.starts_with("kivorama ")) return p;
  first.remove_prefix(9);
  std::size_t blank = first.find(' ');
  std::uint64_t process = 0;
  if (blank == std::string_view::npos ||
      !parse_number(first.substr(0, blank), process) ||
      !is_token(first.substr(blank + 1)))
    return p;
  p.token = first.substr(blank + 1);
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    Identity id;
    if (line.starts_with(kAside) &&
        parse_identity(line.substr(kAside.size()), Entry::kFolder, id)) {
      p.aside = true;
      p.aside_id = id;
    } else if (line.starts_with(kExtract) && p.own.begun) {
      std::string name;
      if (!from_hex(line.substr(kExtract.size()), name)) return Pending{};
      p.members.push_back(name);
    } else if (read_made(line, kOwn, Entry::kFolder, false, p.own)) {
      if (!p.own.known) p.members.clear();
    } else if (line == kLoanOver) {
      p.aside = false;
      p.own = Made{};
      p.members.clear();
    } else if (read_made(line, kWork, Entry::kFolder, true, p.work) ||
               read_made(line, kCfg, Entry::kFile, true, p.cfg)) {
      // recorded in p
    } else {
      return Pending{};
    }
  }
  p.parsed = true;
  return p;
}

// The run's token: 16 hexadecimal digits, different for every run.
std::string new_token() {
  std::uint64_t x =
      static_cast<std::uint64_t>(host().now()) * 0x9E3779B97F4A7C15ULL;
  x ^= static_cast<std::uint64_t>(host().process_id()) << 17;
  x ^= reinterpret_cast<std::uintptr_t>(&x);
  static std::uint64_t count = 0;  // a second run in one process differs
  x += ++count * 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 31;
  x *= 0x94D049BB133111EBULL;
  x ^= x >> 29;
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, x);
  return text;
}

// What a folder that the journal says the program made turns out to be.
enum class Proof { kAbsent, kOurs, kUnproven, kError };

std::string token_path(const char* folder) {
  return std::string(folder) + "/" + kTokenFile;
}

bool holds_token(const char* folder, const std::string& token) {
  std::string path = token_path(folder);
  Identity id;
  if (host().identify(path.c_str(), false, id) != 0 ||
      id.type != Entry::kFile || id.links != 1 || id.size != token.size())
    return false;
  std::FILE* f = host().open_read(path.c_str(), false);
  if (f == nullptr) return false;
  char text[32] = "";
  std::size_t n = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  return std::string_view(text, n) == token;
}

// A folder is the program's own when it is the one recorded (if one was)
// and holds the run's token file; or, recorded or about to be made, when it
// is empty: removing an empty folder loses nothing.
Proof prove_folder(const char* path, const std::string& token, bool known,
                   const Identity& recorded,
                   const std::vector<std::string>& members = {}) {
  Identity id;
  int error = host().identify(path, false, id);
  if (error == ENOENT) return Proof::kAbsent;
  if (error != 0) return Proof::kError;
  if (id.type != Entry::kFolder) return Proof::kUnproven;
  if (known && !id.same_object(recorded)) return Proof::kUnproven;
  if (!token.empty() && holds_token(path, token)) return Proof::kOurs;
  std::vector<std::string> names;
  if (host().list_folder(path, names) != 0) return Proof::kError;
  // Without its token, the recorded folder is ours while it holds nothing
  // but what the program put there.
  for (const std::string& name : names) {
    bool put = false;
    for (const std::string& m : members) put = put || (known && name == m);
    if (!put) return Proof::kUnproven;
  }
  return Proof::kOurs;
}

void warn_unproven(const char* path) {
  std::printf(
      "warn: '%s' may be left by a run of kivorama that was stopped, but it "
      "cannot be proven to be: it is left as it is; check it, and move or "
      "remove it if it is not yours\n",
      path);
}

// Removes a folder that the journal names, when it is provably ours.
void undo_folder(const char* path, const std::string& token, bool known,
                 const Identity& recorded, Repair& r,
                 const std::vector<std::string>& members = {}) {
  switch (prove_folder(path, token, known, recorded, members)) {
    case Proof::kAbsent:
      return;
    case Proof::kOurs:
      if (host().remove_tree(path) != 0)
        ++r.failures;
      else
        ++r.removed;
      return;
    case Proof::kUnproven:
      warn_unproven(path);
      ++r.unproven;
      return;
    case Proof::kError:
      ++r.failures;
      return;
  }
}

// The temporary file of a replacement of kivo.cfg, wherever it may be.
void undo_temp_file(const Pending& p, Repair& r) {
  std::vector<std::string> candidates = {kConfigTemp};
  std::string real;
  if (host().entry(kConfig) == Entry::kLink &&
      host().real_path(kConfig, real) == 0)
    candidates.push_back(real + ".tmp");
  for (const std::string& path : candidates) {
    Identity id;
    int error = host().identify(path.c_str(), false, id);
    if (error == ENOENT) continue;
    bool ours = error == 0 && id.type == Entry::kFile && id.links == 1 &&
                (p.cfg.known ? id.same_object(p.cfg.id) : id.size == 0);
    if (!ours) {
      if (error != 0) {
        ++r.failures;
      } else if (p.cfg.known || id.size != 0) {
        warn_unproven(path.c_str());
        ++r.unproven;
      }
      continue;
    }
    if (host().remove(path.c_str()) != 0)
      ++r.failures;
    else
      ++r.removed;
  }
}

// Says what a repair did, in one line; nothing when it did nothing.
void say_repair(const Repair& r) {
  char parts[256] = "";
  if (r.scripts_back)
    std::snprintf(parts, sizeof parts,
                  "your 'scripts' folder is back from 'tscripts'");
  if (r.removed > 0) {
    std::size_t n = std::strlen(parts);
    std::snprintf(parts + n, sizeof parts - n, "%s%d leftover%s removed",
                  n > 0 ? ", " : "", r.removed, r.removed == 1 ? "" : "s");
  }
  if (parts[0] == '\0') return;
  std::printf(
      "note: an earlier run was stopped before it ended; repaired: %s\n",
      parts);
}

int make_token_file(const char* folder) {
  // A phase run alone, without the folder's lock, has no token yet.
  if (guard_record().token.empty()) guard_record().token = new_token();
  std::string path = token_path(folder);
  errno = 0;
  std::FILE* f = host().create(path.c_str());
  if (f == nullptr) return errno ? errno : EIO;
  std::fputs(guard_record().token.c_str(), f);
  return host().close(f, false);
}

// The records of something made, as read_made reads them.
int record(std::string_view kind, std::string_view what) {
  return sy_journal(std::string(kind) + " " + std::string(what));
}

// Makes a folder of the program's own: announced, made, given the token
// file, then its identity recorded. 0 or an errno value.
int make_own_folder(const char* path, std::string_view kind, Identity& id) {
  if (!record(kind, "new")) return EIO;
  int error = host().make_folder(path);
  if (error == 0) error = make_token_file(path);
  if (error == 0) error = host().identify(path, false, id);
  if (error == 0 && !record(kind, identity_text(id))) error = EIO;
  return error;
}

}  // namespace

GuardRecord& guard_record() {
  static GuardRecord record;
  return record;
}

std::string identity_text(const Identity& id) {
  char text[48];
  std::snprintf(text, sizeof text, "%" PRIu64 ":%" PRIu64, id.device,
                id.number);
  return text;
}

int sy_journal(std::string_view record) {
  std::string line(record);
  line += '\n';
  int error = host().journal(line);
  if (error != 0) {
    fail_run(
        "error: cannot write the journal in '%s' (%s); the run stops and "
        "leaves the folder as it is\n",
        kLockFile, std::strerror(error));
    return 0;
  }
  guard_record().journaled += line;
  return 1;
}

Repair sy_repair(std::string_view text) {
  Repair r;
  Pending p = read_journal(text);
  if (!p.parsed) {
    std::printf(
        "warn: '%s' holds a journal that kivorama did not write; nothing in "
        "it was acted on: if a run was stopped here, check '%s', '%s', '%s' "
        "and '%s'\n",
        kLockFile, kScripts, kSetAside, kWorkFolder, kConfigTemp);
    ++r.unproven;
    return r;
  }
  // The loan: our scripts goes first, then the player's comes back.
  if (p.own.begun)
    undo_folder(kScripts, p.token, p.own.known, p.own.id, r, p.members);
  if (p.aside) {
    Identity there;
    int error = host().identify(kSetAside, false, there);
    if (error == 0 && there.same_object(p.aside_id)) {
      Entry scripts = host().entry(kScripts);
      if (scripts == Entry::kNone) {
        if (host().rename(kSetAside, kScripts) != 0)
          ++r.failures;
        else
          r.scripts_back = 1;
      } else if (scripts == Entry::kError) {
        ++r.failures;
      } else {
        std::printf(
            "warn: your 'scripts' folder waits in 'tscripts', set aside by a "
            "run of kivorama that was stopped, and a 'scripts' is there too: "
            "both are left as they are; move what you keep back to "
            "'scripts'\n");
        ++r.unproven;
      }
    } else if (error != 0 && error != ENOENT) {
      ++r.failures;
    }
  }
  if (p.work.begun)
    undo_folder(kWorkFolder, p.token, p.work.known, p.work.id, r);
  if (p.cfg.begun) undo_temp_file(p, r);
  return r;
}

int sy_guard_folder() {
  std::string journal;
  LockRefusal why;
  errno = 0;
  Lock taken = host().lock(kLockFile, kJournalLimit, journal, why);
  if (taken == Lock::kBusy) {
    fail_run(
        "error: another run of kivorama is working in this folder (process "
        "%ld); this one changes nothing\n",
        why.holder);
    return 0;
  }
  if (taken == Lock::kRefused && why.owner >= 0) {
    std::string name =
        why.owner_name.empty() ? std::to_string(why.owner) : why.owner_name;
    fail_run(
        "error: the lock file '%s' belongs to the user '%s': a run of "
        "kivorama as that user did not end, and only that user can repair "
        "the folder; nothing was changed. Run kivorama here once as '%s'%s\n",
        kLockFile, name.c_str(), name.c_str(),
        why.owner == 0 ? " (sudo kivorama)" : "");
    return 0;
  }
  if (taken == Lock::kRefused) {
    fail_run(
        "error: '%s' is not a lock file of kivorama (%s): it is left as it "
        "is and nothing was changed; if it is not yours, remove it and run "
        "again\n",
        kLockFile,
        why.type == Entry::kLink     ? "it is a link"
        : why.type == Entry::kFolder ? "it is a folder"
        : why.links > 1              ? "it has other names"
                                     : "it is no plain file");
    return 0;
  }
  if (taken != Lock::kTaken) {
    fail_run(
        "error: cannot take the lock file '%s' (%s); nothing was changed\n",
        kLockFile, std::strerror(errno ? errno : EIO));
    return 0;
  }
  // A lock file of ours is empty or begins with our first line; anything
  // else is a file of someone's under our name, never to be overwritten.
  if (!journal.empty() && !journal.starts_with("kivorama ")) {
    host().unlock(true);
    fail_run(
        "error: '%s' is not a lock file of kivorama (%s): it is left as it "
        "is and nothing was changed; if it is not yours, remove it and run "
        "again\n",
        kLockFile, "it holds something else");
    return 0;
  }
  Repair r = sy_repair(journal);
  say_repair(r);
  if (r.failures > 0) {
    fail_run(
        "error: what an earlier run left in this folder could not all be "
        "repaired (see '%s'); nothing more was changed\n",
        kLockFile);
    host().unlock(true);
    return 0;
  }
  GuardRecord& g = guard_record();
  g = GuardRecord{};
  g.token = new_token();
  char first[64];
  std::snprintf(first, sizeof first, "kivorama %ld %s\n", host().process_id(),
                g.token.c_str());
  int error = host().journal_reset(first);
  if (error != 0) {
    fail_run(
        "error: cannot write the journal in '%s' (%s); nothing was changed\n",
        kLockFile, std::strerror(error));
    // What an earlier run left is repaired: its journal is of no more use.
    host().unlock(false);
    return 0;
  }
  g.journaled = first;
  return 1;
}

Repair sy_release_folder() {
  Repair r = sy_repair(guard_record().journaled);
  if (r.failures > 0 || r.unproven > 0)
    say_error(
        "error: some of what this run borrowed or made could not be put "
        "right; the next run will try again (see '%s')\n",
        kLockFile);
  host().unlock(r.failures > 0);
  return r;
}

// ---- The loan of the scripts folder ----

int loan_record_aside(const Identity& id) {
  return sy_journal(std::string(kAside) + identity_text(id));
}

int loan_make_own() {
  int error = make_own_folder(kScripts, kOwn, guard_record().own);
  if (error != 0 && !stopping())
    fail_run("error: cannot make the folder '%s' (%s); the run stops\n",
             kScripts, std::strerror(error));
  return error == 0;
}

int is_object(const char* path, const Identity& id) {
  Identity there;
  return host().identify(path, false, there) == 0 && there.same_object(id);
}

std::string work_path(const char* inside) {
  return std::string(kWorkFolder) + "/" + inside;
}

int loan_own_is_there() { return is_object(kScripts, guard_record().own); }

void loan_drop_token() {
  if (loan_own_is_there()) host().remove(token_path(kScripts).c_str());
}

int loan_aside_is_there(const Identity& id) { return is_object(kSetAside, id); }

int loan_record_member(std::string_view member) {
  return sy_journal(std::string(kExtract) + hex_of(member));
}

int loan_record_over() { return sy_journal(kLoanOver); }

// ---- The work folder ----

int work_begin() {
  Entry there = sy_entry(kWorkFolder);
  if (there == Entry::kError) return 0;
  if (there != Entry::kNone) {
    say_error(
        "error: '%s' is in the way: kivorama makes 'kivo.pk3' in a folder "
        "of that name, and this one is not its own; it is left as it is and "
        "'kivo.pk3' was not written: move or remove it and run again\n",
        kWorkFolder);
    return 0;
  }
  int error = make_own_folder(kWorkFolder, kWork, guard_record().work);
  if (error != 0) {
    if (!stopping())
      fail_run(
          "error: cannot make the folder '%s' (%s), so 'kivo.pk3' was not "
          "written\n",
          kWorkFolder, std::strerror(error));
    return 0;
  }
  return 1;
}

int work_enter() {
  int error = host().change_folder(kWorkFolder);
  Identity here;
  if (error == 0) error = host().identify(".", false, here);
  if (error == 0 && !here.same_object(guard_record().work)) error = EXDEV;
  if (error != 0) {
    host().change_folder(nullptr);
    fail_run("error: cannot work in the folder '%s' (%s); the run stops\n",
             kWorkFolder, std::strerror(error));
    return 0;
  }
  return 1;
}

int work_leave() {
  int error = host().change_folder(nullptr);
  if (error != 0) {
    fail_run(
        "error: cannot return to the game folder (%s); the run stops here\n",
        std::strerror(error));
    return 0;
  }
  return 1;
}

int work_commit(const char* inside, Replacement& r) {
  Identity there;
  int error = host().identify(kWorkFolder, false, there);
  if (error == 0 && !there.same_object(guard_record().work)) error = EXDEV;
  if (error != 0) return error;
  if (r.temp.empty())
    return host().rename(work_path(inside).c_str(), r.target.c_str());
  // The file a link names may be on another disk: no rename reaches it
  // from here, a copy beside it does.
  error = replace_copy(r, work_path(inside).c_str());
  if (error == 0) error = replace_commit(r);
  if (error != 0) replace_abort(r);
  return error;
}

int work_end() {
  Repair r;
  const GuardRecord& g = guard_record();
  undo_folder(kWorkFolder, g.token, true, g.work, r);
  if (r.failures > 0 || r.unproven > 0) return 0;
  return record(kWork, "over");
}

// ---- Replacing a file safely ----

int link_is_runners(const char* path, std::string& owner) {
  Identity id;
  int error = host().identify(path, false, id);
  if (error == 0 && id.type != Entry::kLink) error = EAGAIN;  // swapped
  if (error != 0) {
    errno = error;
    return -1;
  }
  return host().runner_owns(id, owner) ? 1 : 0;
}

int replace_prepare(const char* path, Replacement& r) {
  r = Replacement{};
  Entry e = sy_entry(path);
  if (e == Entry::kError) return 0;
  r.target = path;
  if (e == Entry::kLink) {
    std::string owner;
    int mine = link_is_runners(path, owner);
    if (mine < 0) {
      fail_run("error: cannot look at '%s' (%s); the run stops\n", path,
               std::strerror(errno));
      return 0;
    }
    if (mine == 0) {
      say_error(
          "error: '%s' is a link that belongs to the user '%s', not to you; "
          "it is left as it is and not written\n",
          path, owner.c_str());
      return 0;
    }
    // The link stays; the file it names gets the new text.
    int error = host().real_path(path, r.target);
    if (error != 0) {
      say_error(
          "error: '%s' is a link that cannot be followed (%s); it is left as "
          "it is\n",
          path, std::strerror(error));
      return 0;
    }
  }
  r.temp = r.target + ".tmp";
  Entry left = sy_entry(r.temp.c_str());
  if (left == Entry::kError) return 0;
  if (left != Entry::kNone) {
    say_error(
        "error: '%s' is in the way: kivorama writes the new '%s' under that "
        "name first, and this one is not its own; it is left as it is and "
        "'%s' was not written: move or remove it and run again\n",
        r.temp.c_str(), path, path);
    return 0;
  }
  return 1;
}

int replace_begin(const char* path, Replacement& r) {
  if (!replace_prepare(path, r)) return 0;
  if (!record(kCfg, "new")) return 0;
  errno = 0;
  r.file = host().create(r.temp.c_str());
  int error = r.file == nullptr ? (errno ? errno : EIO) : 0;
  if (error == 0) error = host().identify(r.temp.c_str(), false, r.made);
  if (error == 0 && !record(kCfg, identity_text(r.made))) error = EIO;
  if (error != 0) {
    if (!stopping())
      say_error(
          "error: cannot write config file '%s' (%s); it is left as it "
          "was\n",
          path, std::strerror(error));
    replace_abort(r);
    return 0;
  }
  return 1;
}

int replace_copy(Replacement& r, const char* from) {
  // Nothing may have come in the way since the target was prepared: a copy
  // replaces what is at its name.
  Entry left = host().entry(r.temp.c_str());
  if (left != Entry::kNone) return left == Entry::kError ? EIO : EEXIST;
  if (!record(kCfg, "new")) return EIO;
  int error = host().copy_file(from, r.temp.c_str());
  if (error == 0) error = host().identify(r.temp.c_str(), false, r.made);
  if (error == 0 && !record(kCfg, identity_text(r.made))) error = EIO;
  return error;
}

int replace_close(Replacement& r) {
  int error = host().close(r.file, true);
  r.file = nullptr;
  if (error == 0 && host().entry(r.target.c_str()) == Entry::kFile)
    error = host().copy_mode(r.target.c_str(), r.temp.c_str());
  return error;
}

int replace_still(const Replacement& r, const Identity& seen) {
  Identity now;
  int error = host().identify(r.target.c_str(), true, now);
  if (seen.type == Entry::kNone) return error == ENOENT;
  return error == 0 && now.same_version(seen);
}

int replace_commit(Replacement& r) {
  int error = host().rename(r.temp.c_str(), r.target.c_str());
  if (error != 0) return error;
  record(kCfg, "over");
  return 0;
}

void replace_abort(Replacement& r) {
  if (r.file != nullptr) host().close(r.file, false);
  r.file = nullptr;
  Identity there;
  int error = host().identify(r.temp.c_str(), false, there);
  if (error == 0 && r.made.type != Entry::kNone && there.same_object(r.made))
    error = host().remove(r.temp.c_str()) == 0 ? ENOENT : EIO;
  // Whatever could not be removed now stays in the journal, for the repair
  // at the end of the run.
  if (error == ENOENT) record(kCfg, "over");
}
