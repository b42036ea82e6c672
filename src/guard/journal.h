// journal.h: private to src/guard: the journal a run keeps in kivo.lock,
// its records and how they are written and read back. A journal is input
// like any other: it is read strictly, and a record proves nothing alone;
// the owners' undo steps prove by the folder's content what it names.
//
// The grammar. The first line is "kivorama <process> <token>"; then one
// record a line, each made durable before what it announces is done:
//   own new                 kivo.stmp is about to be made
//   own <dev>:<ino>         ... made, with its token file inside
//   aside <dev>:<ino>       the player's scripts is about to become tscripts
//   member <hex> <version>  scripts/<hex name>, made in the lent folder
//   loan over               all of the loan is undone
//   work new / work <dev>:<ino> / work over      kivo.ztmp, likewise
//   text <hex> <digest>     a file about to be written in kivo.ztmp: hex
//                           name and a digest of its text
//   made <hex> <version>    something a command made in kivo.ztmp
//   cfg new / cfg <dev>:<ino> / cfg over         a "<target>.tmp" file
//   extract <hex>           (older runs only; read, and proves nothing)
// <hex> is a name, two hexadecimal digits a byte; <version> is
// "<dev>:<ino>:<size>:<time of last change in nanoseconds>"; <digest> is
// 16 hexadecimal digits. A last line cut short by a crash is no record; the
// records before it hold. Anything else makes the journal none of ours.
//
// A normal run (two bot files read from an archive, the player's scripts
// lent for each; 60 text records cut to one), as strace saw it written:
//   kivorama 32478 4e7707dd81fe3fd8
//   own new
//   own 65024:10972403
//   aside 65024:10972995
//   member 622e626f74 65024:10972420:254:1796703295000000000
//   loan over
//   own new
//   own 65024:10972403
//   aside 65024:10972995
//   member 612e626f74 65024:10972433:240:1796703295000000000
//   loan over
//   work new
//   work 65024:10972403
//   made 73637269707473 65024:10972405:4096:1796703296781656696
//   text 5861655265642e626f74 ee6c7251fe09c39d
//   made 6b69766f2e706b33 65024:10973273:15470:1796703299358871027
//   work over
//   cfg new
//   cfg 65024:10972403
//   cfg over
// Every "new" has its "over" (the loan's folder its "loan over"): the
// repair at the end of the run finds nothing begun and does nothing, and
// the lock file is removed.
//
// A killed run (killed while unzip extracted the first bot file, the
// program's folder lent as scripts and the player's waiting in tscripts):
//   kivorama 24230 1e3f3922f67146d9
//   own new
//   own 65024:10972430
//   aside 65024:10972367
// The next run's repair: the folder at scripts (then at kivo.stmp) is the
// one recorded and holds kivo.own with the token 1e3f3922f67146d9, read
// back, so it is the program's; what in it is proven (here only the token
// file: the member was not recorded yet, and a bot file it cannot prove
// sends the folder to kivo.kept instead) goes, then the folder. tscripts is
// the folder 65024:10972367 and scripts is free: it is renamed back.
// "note: an earlier run was stopped before it ended; repaired: your
// 'scripts' folder is back from 'tscripts', 1 leftover removed".
#ifndef KIVO_GUARD_JOURNAL_H
#define KIVO_GUARD_JOURNAL_H

#include <string>
#include <string_view>
#include <vector>

#include "core/core.h"
#include "host/host.h"

// The most of a journal the repair reads; a longer one is not acted on.
inline constexpr std::size_t kJournalLimit = 64 * 1024;

// Record words, each a line of the journal after its first.
inline constexpr std::string_view kAside = "aside ";      // + identity
inline constexpr std::string_view kMember = "member ";    // + hex + version
inline constexpr std::string_view kExtract = "extract ";  // older runs: + hex
inline constexpr std::string_view kText = "text ";        // + hex + digest
inline constexpr std::string_view kMade = "made ";        // + hex + version
inline constexpr std::string_view kLoanOver = "loan over";
// Things made, each recorded as "<kind> new" before it is made, "<kind>
// <identity>" once made, and (but for the loan's folder, which "loan over"
// ends) "<kind> over" once gone.
inline constexpr std::string_view kOwn = "own";    // our scripts folder
inline constexpr std::string_view kWork = "work";  // kivo.ztmp
inline constexpr std::string_view kCfg = "cfg";    // a "<target>.tmp" file

// A file the program made in a folder of its own: its name and either its
// identity, size and time taken right after it was made, or a digest of the
// text it was given (made by a command, or written by the program).
struct MadeFile {
  std::string name;
  Identity id;
  std::string digest;  // when not empty, what proves the file
};

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

// Reads a journal strictly (see above); `parsed` is false when it is none
// of ours.
Pending read_journal(std::string_view text);
// Appends one record and makes it durable; a failure is fatal (EIO), with
// its "error: " line.
Status journal_record(RunContext& run, std::string_view record);
// "<kind> <what>", as read_journal reads it, appended as journal_record does.
Status journal_made(RunContext& run, std::string_view kind,
                    std::string_view what);
// A file's "<dev>:<ino>:<size>:<time>".
std::string version_text(const Identity& id);
// A name as hexadecimal digits, two a byte.
std::string hex_of(std::string_view name);
// A digest of text: 64-bit FNV-1a, in 16 hexadecimal digits.
std::string digest_of(std::string_view text);
// The run's token: 16 hexadecimal digits, different for every run.
std::string new_token(RunContext& run);

#endif  // KIVO_GUARD_JOURNAL_H
