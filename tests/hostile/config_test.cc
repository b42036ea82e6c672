// kivo.cfg as a player may leave it after editing it by hand, or as a
// broken disk may: the run must end well, and whatever it could not use of
// the old file stays with the player as kivo.cfg.bak.
#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "hostile/hostile.h"

namespace {

using hostile::Case;
namespace fs = std::filesystem;

// The start of a players block, up to its column header.
const std::string kPlayersHead =
    "@ ai_players\ntotal_players active_players\n1 1\n"
    "name funname aifile set st model player pk3file\n";
const std::string kFlags = "$ flags\ntier_hi 3\ntier_lo 2\n$ end\n";
const std::string kTiers = "@ ai_tiers\naifile tier\nsarge 4\n@ end\n";

std::string garbage() {
  std::mt19937 bytes(7);
  std::string text(1 << 16, '\0');
  for (char& c : text) c = static_cast<char>(bytes());
  return text;
}

std::string fifty_megabytes() {
  std::string text = kFlags + kPlayersHead;
  text.reserve(50u << 20);
  const std::string row = "Visor default default 0 a visor default pak0 " +
                          std::string(50, '.') + "\n";
  while (text.size() < (50u << 20)) text += row;
  return text + "@ end\n" + kTiers;
}

std::string megabyte_lines() {
  return "$ flags\nuse_set " + std::string(1 << 20, '7') + "\n$ end\n" +
         kPlayersHead + std::string(1 << 20, 'r') + "\n@ end\n" + kTiers +
         std::string(1 << 20, '@') + "\n";
}

// Every player row the program wrote, "name aifile set st model player".
std::string row_of(const std::string& name) {
  std::string cfg = test::read_file("kivo.cfg");
  std::size_t at = cfg.find("\n" + name + " ");
  if (at == std::string::npos) return "";
  return cfg.substr(at + 1, cfg.find('\n', at + 1) - at - 1);
}

// A kivo.cfg made by `make` when the case runs; the run keeps it as
// kivo.cfg.bak when `backup`.
Case edit(const char* harm, std::function<std::string()> make,
          std::vector<std::string> says, bool backup,
          std::function<void(const hostile::ProgramRun&)> check = nullptr) {
  auto text = std::make_shared<std::string>();
  Case c{.harm = harm,
         .setup =
             [make, text] {
               *text = make();
               test::write_file("kivo.cfg", *text);
             },
         .says = std::move(says)};
  if (backup) {
    c.says.push_back(
        "note: 'kivo.cfg' held lines this run could not use; the old file is "
        "kept as 'kivo.cfg.bak'\n");
    c.may_change.insert("kivo.cfg.bak");
  }
  c.check = [text, backup, check](const hostile::ProgramRun& run) {
    if (backup) {
      EXPECT_TRUE(test::read_file("kivo.cfg.bak") == *text);
    } else {
      EXPECT_FALSE(fs::exists("kivo.cfg.bak"));
    }
    EXPECT_NE(test::read_file("kivo.cfg").find("$ flags\n"), std::string::npos);
    if (check) check(run);
  };
  return c;
}

// The same with a fixed text.
Case edit(const char* harm, const std::string& text,
          std::vector<std::string> says, bool backup,
          std::function<void(const hostile::ProgramRun&)> check = nullptr) {
  return edit(
      harm, [text] { return text; }, std::move(says), backup, check);
}

const std::vector<Case> kCases = {
    edit("BinaryGarbage", garbage,
         {"err: cannot find block '$ flags' in config file 'kivo.cfg'\n"},
         true),
    edit("FiftyMegabytesOfRows", fifty_megabytes,
         {"player rows in 'kivo.cfg' skipped: more than 1024 rows\n"}, true),
    edit("LinesOfOneMegabyte", megabyte_lines, {}, true),
    edit("BlocksWithoutEnds",
         "$ flags\ntier_hi 4\n" + kPlayersHead +
             "SarMine default default 0 A sarge krusade pak0\n"
             "@ ai_tiers\naifile\nsarge 3\n",
         {"  found 1 player configs", "  found 1 ai bot names"}, false,
         [](const hostile::ProgramRun&) {
           // Validation gives the placeholder AI file a real one and makes
           // the player active.
           EXPECT_NE(row_of("SarMine").find(" 0 a sarge "), std::string::npos)
               << row_of("SarMine");
         }),
    edit("TabBetweenFieldsMergesThemAndTheRowIsKept",
         kFlags + kPlayersHead +
             "SarTab\tdefault default 0 A sarge default pak0\n@ end\n" + kTiers,
         {"  warn: 1 player rows in 'kivo.cfg' skipped: fewer than 8 fields\n"},
         true),
    edit("CountsLinesEditedAreIgnored",
         kFlags +
             "@ ai_players\ntotal_players\n-5 x\n\nname\n"
             "SarMine default default 0 A sarge krusade pak0\n@ end\n" +
             kTiers,
         {"  found 1 player configs"}, false),
    edit("HeaderLinesDeletedLoseNoRows",
         kFlags + "@ ai_players\nSarMine default default 0 A sarge default "
                  "pak0\n@ end\n@ ai_tiers\nsarge 4\n@ end\n",
         {"  found 0 player configs", "  found 0 ai bot names"}, true),
    edit("NegativeFlagValueIsPassedOver", "$ flags\ntier_lo -1\n$ end\n", {},
         true,
         [](const hostile::ProgramRun&) {
           EXPECT_NE(test::read_file("kivo.cfg").find("tier_lo       1 "),
                     std::string::npos);
         }),
    edit("OverflowSetCannotBeMadeActive",
         "$ flags\nuse_set 12\n$ end\n" + kPlayersHead + "@ end\n" + kTiers, {},
         false,
         [](const hostile::ProgramRun&) {
           EXPECT_NE(test::read_file("kivo.cfg").find("use_set       0 "),
                     std::string::npos);
         }),
    edit("TierOutsideTheRangeIsNotWrittenAgain",
         kFlags + kPlayersHead + "@ end\n@ ai_tiers\naifile\nsarge 12\n@ end\n",
         {}, false,
         [](const hostile::ProgramRun&) {
           EXPECT_EQ(test::read_file("kivo.cfg").find("\nsarge "),
                     std::string::npos);
         }),
    edit("HashLinesAreRowsNotComments",
         kFlags + kPlayersHead + "# my own note\n@ end\n" +
             "@ ai_tiers\naifile\n# note\n@ end\n",
         {"  warn: 1 player rows in 'kivo.cfg' skipped: fewer than 8 fields\n",
          "  found 1 ai bot names"},
         true),
    edit("NamesAndSetsOutOfRange",
         kFlags + kPlayersHead +
             "../../evil default ../x 0 A sarge krusade pak0\n"
             "$(touch${IFS}pwned) ^1 default 0 A sarge roderic pak0\n"
             "-rf ^1 ../../x 99999999999 a sarge red pak0\n"
             "Neg ^1 default -2147483648 I sarge blue pak0\n"
             "@ end\n" +
             kTiers,
         {"warn: player '../../evil' skipped: its name cannot be a file name "
          "in this folder\n"},
         false),
};

// A hand-edited file can give every player the same name; validation must
// still make them unique in reasonable time.
Case identical_names() {
  Case c{.harm = "ThousandPlayersOfOneName",
         .setup =
             [] {
               test::Members m = {{"models/players/knight/head.md3", "m"}};
               std::string rows;
               for (int i = 0; i < 961; ++i) {
                 std::string skin = "s" + std::to_string(i);
                 m["models/players/knight/head_" + skin + ".skin"] = "s";
                 rows += "Same default default 0 i knight " + skin + " k\n";
               }
               test::make_pk3("knight.pk3", m);
               test::write_file("kivo.cfg",
                                kFlags + kPlayersHead + rows + "@ end\n");
             },
         .check =
             [](const hostile::ProgramRun&) {
               std::string cfg = test::read_file("kivo.cfg");
               for (const char* name : {"\nSame ", "\nSame0 ", "\nSame959 "})
                 EXPECT_NE(cfg.find(name), std::string::npos) << name;
             }};
  c.may_change.insert("kivo.cfg.bak");  // no tiers block in the file
  return c;
}

class Config : public testing::TestWithParam<Case> {};

TEST_P(Config, RunEndsWellAndKeepsThePlayersEdits) {
  hostile::run_case(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Hostile, Config, testing::ValuesIn([] {
                           auto cases = kCases;
                           cases.push_back(identical_names());
                           return cases;
                         }()),
                         [](const auto& info) { return info.param.harm; });

}  // namespace
