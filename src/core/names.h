// names.h: every name the program owns in the game folder, or takes from
// the player for a while, in one table. The phases, the guard and its repair
// all spell a name through this table, so none can be made under one
// spelling and looked for under another. (The messages and the fixed
// command lines of archive/shell.cc spell them as the player reads them.)
#ifndef KIVO_CORE_NAMES_H
#define KIVO_CORE_NAMES_H

#include <string>
#include <string_view>

// ---- What the program writes for the player ----
// The bots' archive the game loads.
inline constexpr char kArchiveFile[] = "kivo.pk3";
// The configuration file, the player's memory between runs.
inline constexpr char kConfigFile[] = "kivo.cfg";
// Where a copy of kivo.cfg goes before it is replaced, when the reader
// skipped parts of it or rows of it name players this run does not have, so
// the player's hand edits are never lost: kivo.cfg.bak, then ".1" to ".5".
inline constexpr char kConfigBackupSuffix[] = ".bak";

// ---- The player's, borrowed ----
// The game's folder of bot files, in the game folder and inside archives.
inline constexpr char kScripts[] = "scripts";
// A member of an archive's scripts folder starts so (archives use '/').
inline constexpr char kScriptsMember[] = "scripts/";

// ---- The program's own ----
// The lock file; while a run lives it also holds its journal.
inline constexpr char kLockFile[] = "kivo.lock";
// The file every listing is redirected into; left in the folder after a run.
inline constexpr char kListFile[] = "kivo.tmp";
// The folder in which the new kivo.pk3 is made before it replaces the old.
inline constexpr char kWorkFolder[] = "kivo.ztmp";
// The file inside a folder of the program's own that proves it so.
inline constexpr char kTokenFile[] = "kivo.own";
// Where the player's scripts folder waits while the program borrows it.
inline constexpr char kSetAside[] = "tscripts";
// Where the program's own scripts folder is made, and goes back to, before
// and after it is lent under the name scripts.
inline constexpr char kSpareFolder[] = "kivo.stmp";
// Where a leftover that holds something unproven is moved aside, with
// ".1" to ".9" after it when that is taken.
inline constexpr char kKeptFolder[] = "kivo.kept";
// The temporary file beside a file being replaced: "<target>.tmp" (for
// kivo.cfg, kivo.cfg.tmp; for the file a link names, beside that file).
inline constexpr char kTempSuffix[] = ".tmp";
inline std::string temp_name(std::string_view target) {
  return std::string(target) + kTempSuffix;
}
// Names in the game folder that start so are the program's: never read as
// add-on archives.
inline constexpr std::string_view kOwnPrefixes[] = {"kivo-", "kivo."};

#endif  // KIVO_CORE_NAMES_H
