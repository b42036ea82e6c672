// Guarding the folder: the lock, the journal, the three helpers that record
// what they make (the loan of scripts, the work folder, the replacement of
// kivo.cfg) and the repair, which is the sum of their undo steps. A journal
// is input like any other: it is read strictly, and nothing it names is
// touched unless the folder proves it by content: a token whose random text
// is read back, and identities (with size and time) recorded after making.
// A number the file system may hand out again proves nothing alone.
//
// The journal, after its first line "kivorama <process> <token>", one
// record a line, each made durable before what it announces is done:
//   own new                 kivo.stmp is about to be made
//   own 2049:1311           ... made, with its token file inside
//   aside 2049:1290         the player's scripts is about to become tscripts
//   member 7061696c2e626f74 2049:1312:88:1700000000000000000
//                           scripts/<hex name> made: device, number, size,
//                           time of last change in nanoseconds
//   loan over               all of the loan is undone
//   work new / work 2049:1400 / work over      kivo.ztmp, likewise
//   text 416e61426c75652e626f74 8c2f0e1b9a4d7e61
//                           a file about to be written in kivo.ztmp: hex
//                           name and a digest of its text
//   made 736372697074 2049:1402:4096:1700000000000000000
//                           something a command made in kivo.ztmp
//   cfg new / cfg 2049:1401 / cfg over         kivo.cfg's temporary file
// A last line cut short by a crash is no record; the records before it hold.
#include "guard/guard.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/core.h"

namespace {

// Record words, each a line of the journal after its first.
constexpr std::string_view kAside = "aside ";      // + identity of scripts
constexpr std::string_view kMember = "member ";    // + hex name + version
constexpr std::string_view kExtract = "extract ";  // older runs: + hex name
constexpr std::string_view kText = "text ";        // + hex name + digest
constexpr std::string_view kMade = "made ";        // + hex path + version
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
  std::vector<MadeFile> members;     // what the loan's folder was given
  std::vector<MadeFile> work_files;  // what kivo.ztmp was given
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

// Splits "a:b:..." into exactly `n` numbers.
bool parse_numbers(std::string_view text, std::uint64_t* out, int n) {
  for (int i = 0; i < n; ++i) {
    std::size_t colon = i + 1 < n ? text.find(':') : text.size();
    if (colon == std::string_view::npos ||
        !parse_number(text.substr(0, colon), out[i]))
      return false;
    text.remove_prefix(i + 1 < n ? colon + 1 : colon);
  }
  return text.empty();
}

// "<device>:<number>" into an identity of the type given.
bool parse_identity(std::string_view text, Entry type, Identity& id) {
  std::uint64_t v[2];
  if (!parse_numbers(text, v, 2)) return false;
  id = Identity{};
  id.type = type;
  id.device = v[0];
  id.number = v[1];
  return true;
}

// "<device>:<number>:<size>:<time>", a file's identity and version.
bool parse_version(std::string_view text, Identity& id) {
  std::uint64_t v[4];
  if (!parse_numbers(text, v, 4) || v[3] > INT64_MAX) return false;
  id = Identity{};
  id.type = Entry::kFile;
  id.device = v[0];
  id.number = v[1];
  id.size = v[2];
  id.changed = static_cast<std::int64_t>(v[3]);
  return true;
}

std::string version_text(const Identity& id) {
  char text[96];
  std::snprintf(text, sizeof text, "%" PRIu64 ":%" PRIu64 ":%" PRIu64 ":%lld",
                id.device, id.number, id.size,
                static_cast<long long>(id.changed < 0 ? 0 : id.changed));
  return text;
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
  // A member is a file of the folder itself, never a path.
  return name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\\\0", 3)) == std::string::npos;
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

bool is_digest(std::string_view text) { return is_token(text); }

// "<word><hex name> <version or digest>" into `to`, when `begun`: a member
// of the loan's folder, or a file or folder made in the work folder.
bool read_made_file(std::string_view line, std::string_view word, bool begun,
                    std::vector<MadeFile>& to) {
  if (!line.starts_with(word) || !begun) return false;
  line.remove_prefix(word.size());
  std::size_t blank = line.find(' ');
  if (blank == std::string_view::npos) return false;
  std::string_view proof = line.substr(blank + 1);
  MadeFile m;
  if (!from_hex(line.substr(0, blank), m.name)) return false;
  if (word == kText) {
    if (!is_digest(proof)) return false;
    m.digest = proof;
  } else if (!parse_version(proof, m.id)) {
    return false;
  }
  to.push_back(m);
  return true;
}

// Reads a journal strictly: its first line "kivorama <process> <token>",
// then known records only. A last line without its end is a record the
// crash cut short: it is left out, and what it announced was not begun.
// Anything else: not parsed.
Pending read_journal(std::string_view text) {
  Pending p;
  if (text.size() > kJournalLimit) return p;
  std::size_t whole = text.rfind('\n');
  text = whole == std::string_view::npos ? std::string_view()
                                         : text.substr(0, whole + 1);
  if (text.empty()) {
    p.parsed = true;
    return p;
  }
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
    std::string name;
    if (line.starts_with(kAside) &&
        parse_identity(line.substr(kAside.size()), Entry::kFolder, id)) {
      p.aside = true;
      p.aside_id = id;
    } else if (read_made_file(line, kMember, p.own.begun, p.members) ||
               read_made_file(line, kText, p.work.begun, p.work_files) ||
               read_made_file(line, kMade, p.work.begun, p.work_files)) {
      // recorded in p
    } else if (line.starts_with(kExtract) && p.own.begun &&
               from_hex(line.substr(kExtract.size()), name)) {
      // announced by an older run: proves nothing, so nothing to record
    } else if (read_made(line, kOwn, Entry::kFolder, false, p.own)) {
      if (!p.own.known) p.members.clear();
    } else if (line == kLoanOver) {
      p.aside = false;
      p.own = Made{};
      p.members.clear();
    } else if (read_made(line, kWork, Entry::kFolder, true, p.work)) {
      if (!p.work.known) p.work_files.clear();
    } else if (read_made(line, kCfg, Entry::kFile, true, p.cfg)) {
      // recorded in p
    } else {
      return Pending{};
    }
  }
  p.parsed = true;
  return p;
}

// The run's token: 16 hexadecimal digits, different for every run.
std::string new_token(RunContext& run) {
  std::uint64_t x =
      static_cast<std::uint64_t>(run.host.now()) * 0x9E3779B97F4A7C15ULL;
  x ^= static_cast<std::uint64_t>(run.host.process_id()) << 17;
  x ^= reinterpret_cast<std::uintptr_t>(&x);
  std::random_device random;  // two runs of one process in a second differ
  x += (static_cast<std::uint64_t>(random()) << 32 | random()) *
       0xBF58476D1CE4E5B9ULL;
  x ^= x >> 31;
  x *= 0x94D049BB133111EBULL;
  x ^= x >> 29;
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, x);
  return text;
}

std::string inside(const char* folder, std::string_view name) {
  return std::string(folder) + "/" + std::string(name);
}

// 1 when `folder` holds the token file with `token` in it, read back.
int holds_token(RunContext& run, const char* folder, const std::string& token) {
  if (token.empty()) return 0;
  std::string path = inside(folder, kTokenFile);
  Identity id;
  if (run.host.identify(path.c_str(), false, id) != 0 ||
      id.type != Entry::kFile || id.links != 1 || id.size != token.size())
    return 0;
  std::FILE* f = run.host.open_read(path.c_str(), false);
  if (f == nullptr) return 0;
  char text[32] = "";
  std::size_t n = std::fread(text, 1, sizeof text - 1, f);
  std::fclose(f);
  return std::string_view(text, n) == token;
}

void warn_unproven(const char* path) {
  std::printf(
      "warn: '%s' may be left by a run of kivorama that was stopped, but it "
      "cannot be proven to be: it is left as it is; check it, and move or "
      "remove it if it is not yours\n",
      path);
}

// What a folder that the journal names turns out to be.
enum class Proof { kAbsent, kOurs, kEmpty, kUnproven, kError };

// A folder is the program's own when it is the one recorded (if one was)
// and holds the token file with the run's token, read back. An empty folder
// at a name only the program uses, which the journal says was begun, is
// reported as such: removing it loses nothing.
Proof prove_folder(RunContext& run, const char* path, const std::string& token,
                   const Made& made) {
  Identity id;
  int error = run.host.identify(path, false, id);
  if (error == ENOENT) return Proof::kAbsent;
  if (error != 0) return Proof::kError;
  if (id.type != Entry::kFolder) return Proof::kUnproven;
  if (made.known && !id.same_object(made.id)) return Proof::kUnproven;
  if (holds_token(run, path, token)) return Proof::kOurs;
  std::vector<std::string> names;
  if (run.host.list_folder(path, names) != 0) return Proof::kError;
  return names.empty() ? Proof::kEmpty : Proof::kUnproven;
}

// Moves a folder of the program's own that holds what it cannot prove to
// the first free kivo.kept name, and says so; 1 when moved.
int keep_aside(RunContext& run, const char* path, Repair& r) {
  for (int n = 0; n < 10; ++n) {
    std::string name = kKeptFolder;
    if (n > 0) name += "." + std::to_string(n);
    Entry there = run.host.entry(name.c_str());
    if (there == Entry::kError) break;
    if (there != Entry::kNone) continue;
    if (run.host.rename(path, name.c_str()) != 0) break;
    std::printf(
        "warn: '%s', a folder of kivorama's own left by a run that was "
        "stopped, holds files that kivorama cannot prove it made: it is "
        "moved to '%s' with them; keep what is yours and remove the rest\n",
        path, name.c_str());
    ++r.kept;
    return 1;
  }
  std::printf(
      "warn: '%s', a folder of kivorama's own left by a run that was "
      "stopped, holds files that kivorama cannot prove it made: it is left "
      "as it is; keep what is yours and remove the rest\n",
      path);
  ++r.unproven;
  return 0;
}

// A digest of text: 64-bit FNV-1a, in 16 hexadecimal digits.
std::string digest_of(std::string_view text) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) {
    h ^= c;
    h *= 0x100000001b3ULL;
  }
  char out[17];
  std::snprintf(out, sizeof out, "%016" PRIx64, h);
  return out;
}

// The digest of a file's text, read as it was written; "" when unreadable.
std::string file_digest(RunContext& run, const char* path) {
  std::FILE* f = run.host.open_read(path, false);
  if (f == nullptr) return "";
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
// 0 when a removal failed.
int remove_made(RunContext& run, const std::string& path,
                const std::string& rel, const std::vector<MadeFile>& proofs,
                int& unproven) {
  const bool work = path == kWorkFolder;
  std::vector<std::string> names;
  if (run.host.list_folder(path.c_str(), names) != 0) return 0;
  for (const std::string& name : names) {
    if (rel.empty() && name == kTokenFile) continue;
    // The list file that the commands run in the folder write: the
    // program's by its name here, as in the game folder.
    bool list_file = work && name == kListFile;
    std::string full = path + "/" + name;
    std::string within = rel.empty() ? name : rel + "/" + name;
    Identity id;
    if (run.host.identify(full.c_str(), false, id) != 0) return 0;
    if (id.type == Entry::kFolder && rel.empty() &&
        is_made(run, full.c_str(), within, id, proofs)) {
      int before = unproven;
      if (!remove_made(run, full, within, proofs, unproven)) return 0;
      if (unproven == before && run.host.remove(full.c_str()) != 0) return 0;
    } else if (id.type == Entry::kFile &&
               (list_file || is_made(run, full.c_str(), within, id, proofs))) {
      if (run.host.remove(full.c_str()) != 0) return 0;
    } else {
      ++unproven;
    }
  }
  return 1;
}

// Empties and removes a folder of the program's own, proven by its token:
// what it made goes when it still is what was recorded, then the token and
// the folder. Anything else in it is not the program's: the folder is moved
// aside with it instead. 1 when the folder is gone or moved aside.
int clear_own_folder(RunContext& run, const char* path,
                     const std::vector<MadeFile>& proofs, Repair& r) {
  int unproven = 0;
  if (!remove_made(run, path, "", proofs, unproven)) {
    ++r.failures;
    return 0;
  }
  if (run.host.remove(inside(path, kTokenFile).c_str()) != 0) {
    ++r.failures;
    return 0;
  }
  if (unproven > 0) return keep_aside(run, path, r);
  if (run.host.remove(path) != 0) {
    ++r.failures;
    return 0;
  }
  ++r.removed;
  return 1;
}

// Undoes a folder the journal says was begun at `path`: removed when every
// object in it is proven (`proofs`), or when it is empty at a name only the
// program uses. A scripts without the token is not the program's, whatever
// its number: it may be the player's, made after, and is not warned about.
void undo_made_folder(RunContext& run, const char* path,
                      const std::string& token, const Made& made,
                      const std::vector<MadeFile>& proofs, Repair& r) {
  const bool players_name = path == kScripts;
  switch (prove_folder(run, path, token, made)) {
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
      warn_unproven(path);
      ++r.unproven;
      return;
    case Proof::kError:
      ++r.failures;
      return;
  }
}

// The temporary file of a replacement of kivo.cfg, wherever it may be.
void undo_temp_file(RunContext& run, const Pending& p, Repair& r) {
  // kivo.cfg's, and that of kivo.pk3 when it is a link of the player's.
  std::vector<std::string> candidates = {temp_name(kConfigFile)};
  for (const char* file : {kConfigFile, kArchiveFile}) {
    std::string real;
    Entry there = run.host.entry(file);
    if (there == Entry::kError) ++r.failures;  // its target's cannot be seen
    if (there == Entry::kLink && run.host.real_path(file, real) == 0)
      candidates.push_back(temp_name(real));
  }
  for (const std::string& path : candidates) {
    Identity id;
    int error = run.host.identify(path.c_str(), false, id);
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
    if (run.host.remove(path.c_str()) != 0)
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

int make_token_file(RunContext& run, const char* folder) {
  // A phase run alone, without the folder's lock, has no token yet.
  if (run.guard.token.empty()) run.guard.token = new_token(run);
  std::string path = inside(folder, kTokenFile);
  errno = 0;
  std::FILE* f = run.host.create(path.c_str());
  if (f == nullptr) return errno ? errno : EIO;
  std::fputs(run.guard.token.c_str(), f);
  int error = run.host.close(f, true);
  if (error != 0) run.host.remove(path.c_str());
  return error;
}

// The records of something made, as read_made reads them.
int record(RunContext& run, std::string_view kind, std::string_view what) {
  return sy_journal(run, std::string(kind) + " " + std::string(what));
}

// Makes a folder of the program's own: announced, made, given the token
// file, then its identity recorded. 0 or an errno value; on failure what
// was made is gone again (the folder only when still empty).
int make_own_folder(RunContext& run, const char* path, std::string_view kind,
                    Identity& id) {
  id = Identity{};
  if (!record(run, kind, "new")) return EIO;
  int error = run.host.make_folder(path);
  if (error != 0) return error;
  Identity made;
  error = run.host.identify(path, false, made);
  if (error == 0) error = make_token_file(run, path);
  if (error == 0 && !record(run, kind, identity_text(made))) error = EIO;
  if (error == 0) {
    id = made;
    return 0;
  }
  // Made by this run a moment ago: what it holds is at most its token.
  if (made.type == Entry::kFolder && is_object(run, path, made)) {
    std::string token = inside(path, kTokenFile);
    if (holds_token(run, path, run.guard.token)) run.host.remove(token.c_str());
    run.host.remove(path);
  }
  return error;
}

// Removes a folder this run made a moment ago, with all it holds, when it
// still is that folder and holds this run's token: within one run nothing
// else acts in a folder of the program's own. (After a run that was
// stopped, the repair proves each thing inside instead.) 1 when it is gone.
int remove_this_runs(RunContext& run, const char* path, const Identity& made) {
  Proof proof =
      prove_folder(run, path, run.guard.token, Made{true, true, made});
  if (proof == Proof::kAbsent) return 1;
  return proof == Proof::kOurs && run.host.remove_tree(path) == 0;
}

}  // namespace

std::string identity_text(const Identity& id) {
  char text[48];
  std::snprintf(text, sizeof text, "%" PRIu64 ":%" PRIu64, id.device,
                id.number);
  return text;
}

int sy_journal(RunContext& run, std::string_view record) {
  std::string line(record);
  line += '\n';
  // A phase run alone, without the folder's lock, keeps no journal.
  HeldLock* lock = run.guard.lock.get();
  int error = lock != nullptr ? lock->append(line) : 0;
  if (error != 0) {
    fail_run(run,
             "error: cannot write the journal in '%s' (%s); the run stops and "
             "leaves the folder as it is\n",
             kLockFile, std::strerror(error));
    return 0;
  }
  run.guard.journaled += line;
  return 1;
}

Repair sy_repair(RunContext& run, std::string_view text) {
  Repair r;
  Pending p = read_journal(text);
  if (!p.parsed) {
    r.foreign = 1;
    return r;
  }
  // The loan: our folder goes first, then the player's comes back.
  // The loan's own folder, wherever it was left: lent as scripts or not.
  if (p.own.begun)
    for (const char* path : {kScripts, kSpareFolder})
      undo_made_folder(run, path, p.token, p.own, p.members, r);
  if (p.aside) {
    Identity there;
    int error = run.host.identify(kSetAside, false, there);
    if (error == 0 && there.same_object(p.aside_id)) {
      Entry scripts = run.host.entry(kScripts);
      if (scripts == Entry::kNone) {
        if (run.host.rename(kSetAside, kScripts) != 0)
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
    undo_made_folder(run, kWorkFolder, p.token, p.work, p.work_files, r);
  if (p.cfg.begun) undo_temp_file(run, p, r);
  return r;
}

int sy_guard_folder(RunContext& run) {
  std::string journal;
  LockRefusal why;
  errno = 0;
  std::unique_ptr<HeldLock> lock;
  Lock taken = run.host.lock(kLockFile, kJournalLimit, journal, why, lock);
  if (taken == Lock::kBusy) {
    long holder = 0;  // the process in the first line of the holder's journal
    if (std::sscanf(why.holder.c_str(), "kivorama %ld", &holder) != 1)
      holder = 0;
    fail_run(
        run,
        "error: another run of kivorama is working in this folder (process "
        "%ld); this one changes nothing\n",
        holder);
    return 0;
  }
  if (taken == Lock::kRefused && why.owner >= 0) {
    std::string name =
        why.owner_name.empty() ? std::to_string(why.owner) : why.owner_name;
    fail_run(
        run,
        "error: the lock file '%s' belongs to the user '%s': a run of "
        "kivorama as that user did not end, and only that user can repair "
        "the folder; nothing was changed. Run kivorama here once as '%s'%s\n",
        kLockFile, name.c_str(), name.c_str(),
        why.owner == 0 ? " (sudo kivorama)" : "");
    return 0;
  }
  if (taken == Lock::kRefused) {
    fail_run(
        run,
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
    int error = errno ? errno : EIO;
    if (error == EACCES || error == EROFS)
      fail_run(
          run,
          "error: cannot make the lock file '%s' (%s): you cannot write in "
          "this folder, so kivorama changes nothing in it\n",
          kLockFile, std::strerror(error));
    else
      fail_run(
          run,
          "error: cannot take the lock file '%s' (%s); nothing was changed\n",
          kLockFile, std::strerror(error));
    return 0;
  }
  // A lock file of ours is empty or holds a journal of ours; anything else,
  // whatever its first words, is a file of someone's under our name, never
  // to be overwritten.
  Repair r = sy_repair(run, journal);
  if (r.foreign) {
    lock->release(true);
    fail_run(
        run,
        "error: '%s' is not a lock file of kivorama (%s): it is left as it "
        "is and nothing was changed; if it is not yours, remove it and run "
        "again\n",
        kLockFile, "it holds something else");
    return 0;
  }
  say_repair(r);
  if (r.failures > 0) {
    fail_run(run,
             "error: what an earlier run left in this folder could not all be "
             "repaired (see '%s'); nothing more was changed\n",
             kLockFile);
    lock->release(true);
    return 0;
  }
  Guard& g = run.guard;
  g = Guard{};
  g.lock = std::move(lock);
  g.token = new_token(run);
  char first[64];
  std::snprintf(first, sizeof first, "kivorama %ld %s\n", run.host.process_id(),
                g.token.c_str());
  int error = g.lock->reset(first);
  if (error != 0) {
    fail_run(
        run,
        "error: cannot write the journal in '%s' (%s); nothing was changed\n",
        kLockFile, std::strerror(error));
    // What an earlier run left is repaired: its journal is of no more use.
    g.lock->release(false);
    return 0;
  }
  g.journaled = first;
  return 1;
}

Repair sy_release_folder(RunContext& run) {
  Repair r = sy_repair(run, run.guard.journaled);
  // Only a failed step keeps the journal for the next run; what cannot be
  // proven was named in its own line.
  if (r.failures > 0)
    say_error(run,
              "error: some of what this run borrowed or made could not be put "
              "right; the next run will try again (see '%s')\n",
              kLockFile);
  if (HeldLock* lock = run.guard.lock.get()) lock->release(r.failures > 0);
  return r;
}

int is_object(RunContext& run, const char* path, const Identity& id) {
  Identity there;
  return run.host.identify(path, false, there) == 0 && there.same_object(id);
}

std::string work_path(const char* inside) {
  return std::string(kWorkFolder) + "/" + inside;
}

// ---- The loan of the scripts folder ----

int loan_make_own(RunContext& run) {
  Guard& g = run.guard;
  Entry there = sy_entry(run, kSpareFolder);
  if (there == Entry::kError) return 0;
  if (there != Entry::kNone) {
    say_error(
        run,
        "error: '%s' is in the way: kivorama makes its own 'scripts' folder "
        "under that name, and this one is not its own; it is left as it is: "
        "move or remove it and run again\n",
        kSpareFolder);
    return 0;
  }
  int error = make_own_folder(run, kSpareFolder, kOwn, g.own);
  if (error != 0 && !stopping(run))
    fail_run(run, "error: cannot make the folder '%s' (%s); the run stops\n",
             kSpareFolder, std::strerror(error));
  return error == 0;
}

int loan_record_aside(RunContext& run, const Identity& id) {
  return sy_journal(run, std::string(kAside) + identity_text(id));
}

int loan_move_own(RunContext& run, bool lent) {
  const char* from = lent ? kSpareFolder : kScripts;
  const char* to = lent ? kScripts : kSpareFolder;
  int error = is_object(run, from, run.guard.own) ? 0 : EXDEV;
  if (error == 0 && run.host.entry(to) != Entry::kNone) error = EEXIST;
  if (error == 0) error = run.host.rename(from, to);
  if (error != 0 && !stopping(run))
    fail_run(run,
             "error: cannot rename the folder '%s' to '%s' (%s); the run "
             "stops\n",
             from, to, std::strerror(error));
  return error == 0;
}

int loan_record_member(RunContext& run, std::string_view member) {
  std::string path = inside(kScripts, member);
  MadeFile m{std::string(member), {}, ""};
  if (run.host.identify(path.c_str(), false, m.id) != 0 ||
      m.id.type != Entry::kFile)
    return 0;
  return sy_journal(
      run, std::string(kMember) + hex_of(member) + " " + version_text(m.id));
}

int loan_clear_own(RunContext& run) {
  return remove_this_runs(run, kSpareFolder, run.guard.own);
}

int loan_aside_is_there(RunContext& run, const Identity& id) {
  return is_object(run, kSetAside, id);
}

int loan_record_over(RunContext& run) { return sy_journal(run, kLoanOver); }

// ---- The work folder ----

int work_begin(RunContext& run) {
  Entry there = sy_entry(run, kWorkFolder);
  if (there == Entry::kError) return 0;
  if (there != Entry::kNone) {
    say_error(
        run,
        "error: '%s' is in the way: kivorama makes 'kivo.pk3' in a folder "
        "of that name, and this one is not its own; it is left as it is and "
        "'kivo.pk3' was not written: move or remove it and run again\n",
        kWorkFolder);
    return 0;
  }
  int error = make_own_folder(run, kWorkFolder, kWork, run.guard.work);
  if (error != 0) {
    if (!stopping(run))
      fail_run(run,
               "error: cannot make the folder '%s' (%s), so 'kivo.pk3' was not "
               "written\n",
               kWorkFolder, std::strerror(error));
    return 0;
  }
  return 1;
}

int work_enter(RunContext& run) {
  int error = run.host.change_folder(kWorkFolder);
  Identity here;
  if (error == 0) error = run.host.identify(".", false, here);
  if (error == 0 && !here.same_object(run.guard.work)) error = EXDEV;
  if (error != 0) {
    run.host.change_folder(nullptr);
    fail_run(run, "error: cannot work in the folder '%s' (%s); the run stops\n",
             kWorkFolder, std::strerror(error));
    return 0;
  }
  return 1;
}

int work_leave(RunContext& run) {
  int error = run.host.change_folder(nullptr);
  if (error != 0) {
    fail_run(
        run,
        "error: cannot return to the game folder (%s); the run stops here\n",
        std::strerror(error));
    return 0;
  }
  return 1;
}

int work_commit(RunContext& run, const char* inside, Replacement& r) {
  Identity there;
  int error = run.host.identify(kWorkFolder, false, there);
  if (error == 0 && !there.same_object(run.guard.work)) error = EXDEV;
  if (error != 0) return error;
  if (r.temp.empty())
    return run.host.rename(work_path(inside).c_str(), r.target.c_str());
  // The file a link names may be on another disk: no rename reaches it
  // from here, a copy beside it does.
  error = replace_copy(run, r, work_path(inside).c_str());
  if (error == 0) error = replace_commit(run, r);
  if (error != 0) replace_abort(run, r);
  return error;
}

int work_record_texts(
    RunContext& run,
    const std::vector<std::pair<std::string, std::string>>& files) {
  std::string records;
  for (const auto& [name, text] : files) {
    MadeFile m{name, {}, digest_of(text)};
    records += std::string(kText) + hex_of(name) + " " + m.digest + "\n";
  }
  if (records.empty()) return 1;
  records.pop_back();
  return sy_journal(run, records);
}

int work_record_made(RunContext& run, const char* inside) {
  Identity id;
  int error = run.host.identify(inside, false, id);
  if (error != 0) {
    fail_run(run, "error: cannot look at '%s' in '%s' (%s); the run stops\n",
             inside, kWorkFolder, std::strerror(error));
    return 0;
  }
  return sy_journal(
      run, std::string(kMade) + hex_of(inside) + " " + version_text(id));
}

int work_end(RunContext& run) {
  if (!remove_this_runs(run, kWorkFolder, run.guard.work)) return 0;
  return record(run, kWork, "over");
}

// ---- Replacing a file safely ----

int link_is_runners(RunContext& run, const char* path, std::string& owner) {
  Identity id;
  int error = run.host.identify(path, false, id);
  if (error == 0 && id.type != Entry::kLink) error = EAGAIN;  // swapped
  if (error != 0) {
    errno = error;
    return -1;
  }
  return run.host.runner_owns(id, owner) ? 1 : 0;
}

int replace_prepare(RunContext& run, const char* path, Replacement& r) {
  r = Replacement{};
  Entry e = sy_entry(run, path);
  if (e == Entry::kError) return 0;
  r.target = path;
  if (e == Entry::kLink) {
    std::string owner;
    int mine = link_is_runners(run, path, owner);
    if (mine < 0) {
      fail_run(run, "error: cannot look at '%s' (%s); the run stops\n", path,
               std::strerror(errno));
      return 0;
    }
    if (mine == 0) {
      say_error(
          run,
          "error: '%s' is a link that belongs to the user '%s', not to you; "
          "it is left as it is and not written\n",
          path, owner.c_str());
      return 0;
    }
    // The link stays; the file it names gets the new text.
    int error = run.host.real_path(path, r.target);
    if (error != 0) {
      say_error(
          run,
          "error: '%s' is a link that cannot be followed (%s); it is left as "
          "it is\n",
          path, std::strerror(error));
      return 0;
    }
  }
  r.temp = temp_name(r.target);
  Entry left = sy_entry(run, r.temp.c_str());
  if (left == Entry::kError) return 0;
  if (left != Entry::kNone) {
    say_error(
        run,
        "error: '%s' is in the way: kivorama writes the new '%s' under that "
        "name first, and this one is not its own; it is left as it is and "
        "'%s' was not written: move or remove it and run again\n",
        r.temp.c_str(), path, path);
    return 0;
  }
  return 1;
}

int replace_begin(RunContext& run, const char* path, Replacement& r) {
  if (!replace_prepare(run, path, r)) return 0;
  if (!record(run, kCfg, "new")) return 0;
  errno = 0;
  r.file = run.host.create(r.temp.c_str());
  int error = r.file == nullptr ? (errno ? errno : EIO) : 0;
  if (error == 0) error = run.host.identify(r.temp.c_str(), false, r.made);
  if (error == 0 && !record(run, kCfg, identity_text(r.made))) error = EIO;
  if (error != 0) {
    if (!stopping(run))
      say_error(run,
                "error: cannot write config file '%s' (%s); it is left as it "
                "was\n",
                path, std::strerror(error));
    replace_abort(run, r);
    return 0;
  }
  return 1;
}

int replace_copy(RunContext& run, Replacement& r, const char* from) {
  // Nothing may have come in the way since the target was prepared: a copy
  // replaces what is at its name.
  Entry left = run.host.entry(r.temp.c_str());
  if (left != Entry::kNone) return left == Entry::kError ? EIO : EEXIST;
  if (!record(run, kCfg, "new")) return EIO;
  int error = run.host.copy_file(from, r.temp.c_str());
  if (error == 0) error = run.host.identify(r.temp.c_str(), false, r.made);
  if (error == 0 && !record(run, kCfg, identity_text(r.made))) error = EIO;
  return error;
}

int replace_close(RunContext& run, Replacement& r) {
  int error = run.host.close(r.file, true);
  r.file = nullptr;
  // The old file's mode is the player's: a look that fails is a failure,
  // never "there is no old file" (which would give the new one a fresh mode).
  Identity old;
  int look = error == 0 ? run.host.identify(r.target.c_str(), false, old) : 0;
  if (look != 0 && look != ENOENT) error = look;
  if (error == 0 && look == 0 && old.type == Entry::kFile)
    error = run.host.copy_mode(r.target.c_str(), r.temp.c_str());
  return error;
}

int replace_still(RunContext& run, const Replacement& r, const Identity& seen) {
  Identity now;
  int error = run.host.identify(r.target.c_str(), true, now);
  if (seen.type == Entry::kNone) return error == ENOENT;
  return error == 0 && now.same_version(seen);
}

int replace_commit(RunContext& run, Replacement& r) {
  int error = run.host.rename(r.temp.c_str(), r.target.c_str());
  if (error != 0) return error;
  record(run, kCfg, "over");
  return 0;
}

void replace_abort(RunContext& run, Replacement& r) {
  if (r.file != nullptr) run.host.close(r.file, false);
  r.file = nullptr;
  Identity there;
  int error = run.host.identify(r.temp.c_str(), false, there);
  if (error == 0 && r.made.type != Entry::kNone && there.same_object(r.made))
    error = run.host.remove(r.temp.c_str()) == 0 ? ENOENT : EIO;
  // Whatever could not be removed now stays in the journal, for the repair
  // at the end of the run.
  if (error == ENOENT) record(run, kCfg, "over");
}
