// kivo.cfg as a player may leave it after editing it by hand, or as a
// broken disk may: the run must end well, and whatever it could not use of
// the old file stays with the player as kivo.cfg.bak.
#include <random>

#include "hostile/hostile.h"

namespace {

using hostile::cfg;
using hostile::Folder;

// The start of a players block, up to its column header.
const std::string kPlayersHead =
    "@ ai_players\ntotal_players active_players\n1 1\n"
    "name funname aifile set st model player pk3file\n";
const std::string kTiers = "@ ai_tiers\naifile tier\nsarge 4\n@ end\n";

TEST(HostileConfig, WhatTheReaderCannotUseIsKeptAsBak) {
  std::mt19937 bytes(7);
  std::string garbage(1 << 16, '\0');
  for (char& c : garbage) c = static_cast<char>(bytes());
  std::string fifty = "$ flags\n$ end\n" + kPlayersHead;
  while (fifty.size() < (50u << 20))
    fifty += "Visor default default 0 a visor default pak0 " +
             std::string(50, '.') + "\n";
  const std::string megabyte(1 << 20, '7');
  // kivo.cfg, a text the run must print, and one the new kivo.cfg must hold.
  const std::string cases[][3] = {
      {garbage, "err: cannot find block '$ flags' in config file 'kivo.cfg'\n",
       "$ flags\n"},
      {fifty + "@ end\n" + kTiers,
       "player rows in 'kivo.cfg' skipped: more than 1024 rows\n", "$ flags\n"},
      {"$ flags\nuse_set " + megabyte + "\n$ end\n" + kPlayersHead + megabyte +
           "\n@ end\n" + kTiers + megabyte + "\n",
       "", "$ flags\n"},
      {"$ flags\ntier_lo -1\nuse_set 12\n$ end\n" + kPlayersHead +
           "SarTab\tdefault default 0 A sarge default pak0\n# my own note\n"
           "-rf ^1 ../../x 99999999999 a sarge red pak0\n"
           "Neg ^1 default -2147483648 I sarge blue pak0\n@ end\n"
           "@ ai_tiers\naifile\nsarge 12\n# note\n@ end\n",
       "  warn: 2 player rows in 'kivo.cfg' skipped: fewer than 8 fields\n",
       "tier_lo       1 "},
  };
  for (const auto& [text, says, wrote] : cases) {
    Folder f;
    test::write_file("kivo.cfg", text);
    f.run({says, "note: 'kivo.cfg' held lines this run could not use",
           "the old file is kept as 'kivo.cfg.bak'\n"},
          "", {"kivo.cfg", "kivo.cfg.bak", "kivo.pk3", "kivo.tmp"});
    EXPECT_TRUE(test::read_file("kivo.cfg.bak") == text) << says;
    EXPECT_NE(cfg().find(test::host_line_ends(wrote)), std::string::npos)
        << says;
  }
}

TEST(HostileConfig, BlocksWithoutEndsAreReadToTheEnd) {
  Folder f;
  test::write_file("kivo.cfg",
                   "$ flags\ntier_hi 4\n" + kPlayersHead +
                       "SarMine default default 0 A sarge "
                       "krusade pak0\n@ ai_tiers\naifile\nsarge 3\n");
  f.run({"  found 1 player configs", "  found 1 ai bot names"});
  // Validation gives the placeholder AI file a real one and makes the player
  // active.
  std::string row = cfg().substr(cfg().find("\nSarMine "), 80);
  EXPECT_NE(row.substr(0, row.find('\n', 1)).find(" 0 a sarge "),
            std::string::npos)
      << row;
}

}  // namespace

namespace {

namespace fs = std::filesystem;

// A read-only kivo.cfg is the player's way of freezing it; a replaced one
// keeps the player's permission bits.
TEST(HostileConfig, ReadOnlyIsKeptAndModesSurviveTheRewrite) {
  KIVO_NEEDS_UNIX_SHELL();
  hostile::Folder f;
  hostile::knight_pk3("knight.pk3");
  f.run();
  const std::string first = hostile::cfg();
  fs::permissions("kivo.cfg", fs::perms::owner_read | fs::perms::group_read);
  f.expect_status = 1;
  f.run({"error: config file 'kivo.cfg' is read-only; it is left as it was\n"},
        "", {"kivo.pk3", "kivo.tmp"});
  EXPECT_EQ(hostile::cfg(), first);
  fs::permissions("kivo.cfg", fs::perms::owner_read | fs::perms::owner_write);
  f.expect_status = 0;
  f.run();
  EXPECT_EQ(fs::status("kivo.cfg").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

// Rows of players no archive brings any more leave the file, but never
// without the old one kept.
TEST(HostileConfig, RowsOfARemovedArchiveAreKeptInTheBak) {
  KIVO_NEEDS_UNIX_SHELL();
  hostile::Folder f;
  hostile::knight_pk3("knight.pk3");
  f.run();
  const std::string with_knight = hostile::cfg();
  fs::remove("knight.pk3");
  f.run({"note: 2 rows of 'kivo.cfg' name players this run does not have"}, "",
        {"kivo.cfg", "kivo.cfg.bak", "kivo.pk3", "kivo.tmp", "knight.pk3"});
  EXPECT_EQ(test::read_file("kivo.cfg.bak"), with_knight);
  EXPECT_EQ(hostile::cfg().find("KniRed"), std::string::npos);
}

}  // namespace
