// The journal of a run: its records written, and a journal read back.
#include "guard/journal.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "core/names.h"
#include "guard/guard.h"

namespace {

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

}  // namespace

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

Status journal_made(RunContext& run, std::string_view kind,
                    std::string_view what) {
  return journal_record(run, std::string(kind) + " " + std::string(what));
}

std::string identity_text(const Identity& id) {
  char text[48];
  std::snprintf(text, sizeof text, "%" PRIu64 ":%" PRIu64, id.device,
                id.number);
  return text;
}

Status journal_record(RunContext& run, std::string_view record) {
  std::string line(record);
  line += '\n';
  Status st;
  // A phase run alone, without the folder's lock, keeps no journal.
  HeldLock* lock = run.guard.lock.get();
  int error = lock != nullptr ? lock->append(line) : 0;
  if (error != 0) {
    // The step it announces fails with it, for want of its record.
    st.fatal(EIO,
             "error: cannot write the journal in '%s' (%s); the run stops and "
             "leaves the folder as it is\n",
             kLockFile, std::strerror(error));
    return st;
  }
  run.guard.journaled += line;
  return st;
}
