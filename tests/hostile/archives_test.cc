// Archives from anywhere, and the tools that read them missing: the run
// must end well, say what it skipped, and leave every archive as it was.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "hostile/hostile.h"

namespace {

using hostile::Case;
using hostile::tools_path;
namespace fs = std::filesystem;

// One member line of an unzip -l listing.
std::string member(const std::string& path) {
  return "       10  2024-01-01 00:00   " + path + "\n";
}

std::string numbered(const std::string& head, int i, const std::string& tail) {
  char n[8];
  std::snprintf(n, sizeof n, "%04d", i);
  return head + n + tail;
}

// The roster count the run wrote into kivo.cfg.
std::string total_players() {
  std::string cfg = test::read_file("kivo.cfg");
  std::size_t at = cfg.find("total_players");
  if (at == std::string::npos) return "";
  at = cfg.find('\n', at) + 1;
  return cfg.substr(at, cfg.find(' ', at) - at);
}

// AI file rows of tier 9 in the kivo.cfg the run wrote.
int tier_nine_rows() {
  std::string cfg = test::read_file("kivo.cfg");
  int rows = 0;
  for (std::size_t at = cfg.find(" 9 \n"); at != std::string::npos;
       at = cfg.find(" 9 \n", at + 1))
    ++rows;
  return rows;
}

const std::string& ten_thousand_members() {
  static std::string l;
  if (!l.empty()) return l;
  l = "Archive:  big.pk3\n  Length      Date    Time    Name\n";
  for (int i = 0; i < 10000; ++i) {
    const char* kinds[] = {"models/players/m%/head.md3",
                           "models/players/knight/head_s%.skin",
                           "botfiles/bots/ai%_c.c", "textures/t%.tga"};
    std::string kind = kinds[i % 4];
    std::size_t at = kind.find('%');
    l += member(numbered(kind.substr(0, at), i, kind.substr(at + 1)));
  }
  l += "   100000                     10000 files\n";
  return l;
}

const std::string& long_lines() {
  static std::string l;
  if (!l.empty()) return l;
  // Each read of 254 characters loses its last one, here a 'Z'.
  const std::string text =
      "9 2024-01-01 00:00 models/players/piece/head_red.skin";
  std::string pieces;
  while (pieces.size() < 5000)
    pieces += std::string(254 - text.size() - 1, ' ') + text + "Z";
  l = member("models/players/" + std::string(4950, 'k') + "/head_red.skin") +
      member("scripts/" + std::string(4980, 'b') + ".bot") +
      std::string(5000, ' ') + "\n" + std::string(5000, '9') + "\n" + "1 2 3 " +
      std::string(4994, '/') + "\n" + pieces + "\n" + std::string(5000, '^') +
      "\n";
  return l;
}

// The same small archive under every name in `names`.
void copies(const std::vector<std::string>& names) {
  hostile::knight_pk3(names.front());
  for (std::size_t i = 1; i < names.size(); ++i)
    fs::copy_file(names.front(), names[i]);
}

const std::string kOdd = std::string(251, 'L') + ".pk3";  // 255 bytes

const Case kCases[] = {
    {.harm = "UnzipMissingIsSaidNotTakenForEmptyArchives",
     .setup = [] { hostile::knight_pk3("knight.pk3"); },
     .env = [] { return tools_path("unzip"); },
     .says = {"warn: archive 'knight.pk3' gave no listing; is the 'unzip' "
              "program installed?\n"}},
    {.harm = "ZipMissingKeepsThePlayersScriptsFolder",
     .setup =
         [] {
           hostile::knight_pk3("knight.pk3");
           test::write_file("scripts/mine.bot", "{\nname Mine\n}\n");
         },
     .env = [] { return tools_path("zip"); },
     .says = {"error: 'kivo.pk3' was not created; is the 'zip' program "
              "installed?\n"}},
    {.harm = "ArchiveThatIsNoZipIsSkipped",
     .setup = [] { test::write_file("fake.pk3", std::string(3000, '\x7f')); },
     .says = {"warn: archive 'fake.pk3' lists no members: it is empty or not "
              "a zip archive\n"}},
    {.harm = "EmptyArchiveIsSkipped",
     .setup = [] { test::write_file("empty.pk3", ""); },
     .says = {"warn: archive 'empty.pk3' lists no members"}},
    {.harm = "TenThousandMembersFillTheTablesWithoutOverrun",
     .setup = [] { hostile::knight_pk3("big.pk3"); },
     .env = [] { return tools_path("", &ten_thousand_members()); },
     .check =
         [](const hostile::ProgramRun&) {
           EXPECT_EQ(total_players(), "1024");
           EXPECT_EQ(tier_nine_rows(), 1024 - 32);
         }},
    {.harm = "ListingLinesOf5000CharactersAreReadInPieces",
     .setup = [] { hostile::knight_pk3("long.pk3"); },
     .env = [] { return tools_path("", &long_lines()); },
     .check =
         [](const hostile::ProgramRun&) {
           // Each 254-character piece that looks like a member line counts.
           EXPECT_NE(test::read_file("kivo.cfg").find("PieRed "),
                     std::string::npos);
         }},
    {.harm = "SixteenHundredArchivesKeep1535",
     .setup =
         [] {
           std::vector<std::string> names;
           for (int i = 0; i < 1600; ++i)
             names.push_back(numbered("a", i, ".pk3"));
           copies(names);
         },
     .says = {"warn: the archive list is full; 'a1535.pk3' and later archives "
              "are not read\n",
              "  reading pk3 file 'a1534.pk3'\n"},
     .check =
         [](const hostile::ProgramRun& run) {
           EXPECT_EQ(run.out.find("reading pk3 file 'a1535.pk3'"),
                     std::string::npos);
           EXPECT_EQ(total_players(), "1024");
         }},
    {.harm = "TwelveHundredSkinsFillTheRosterAt1024",
     .setup =
         [] {
           test::Members m = {{"models/players/knight/head.md3", "m"}};
           for (int i = 0; i < 1200; ++i)
             m[numbered("models/players/knight/head_s", i, ".skin")] = "s";
           test::make_pk3("skins.pk3", m);
         },
     .check =
         [](const hostile::ProgramRun&) {
           EXPECT_EQ(total_players(), "1024");
           // 80 players of the active set get a bot file.
           EXPECT_NE(test::read_file("kivo.cfg").find("1024          80 "),
                     std::string::npos);
         }},
    {.harm = "ElevenHundredAiFilesFillTheTableAt1024",
     .setup =
         [] {
           test::Members m;
           for (int i = 0; i < 1100; ++i)
             m[numbered("botfiles/bots/ai", i, "_c.c")] = "c";
           test::make_pk3("ais.pk3", m);
         },
     .check =
         [](const hostile::ProgramRun&) {
           // zip lists them in no set order: count the rows of tier 9.
           EXPECT_EQ(tier_nine_rows(), 1024 - 32);
         }},
    {.harm = "ElevenHundredBotDefinitionsFillTheTableAt1024",
     .setup =
         [] {
           std::string defs;
           for (int i = 0; i < 1100; ++i)
             defs += numbered("{\nname B", i, "\n") +
                     numbered("model knight/s", i, "\n") +
                     "aifile bots/crash_c.c\n}\n";
           test::make_pk3("bots.pk3",
                          {{"models/players/knight/head.md3", "m"},
                           {"models/players/knight/head_s1023.skin", "s"},
                           {"models/players/knight/head_s1024.skin", "s"},
                           {"scripts/many.bot", defs}});
         },
     .check =
         [](const hostile::ProgramRun&) {
           std::string cfg = test::read_file("kivo.cfg");
           EXPECT_NE(cfg.find("\nB1023 "), std::string::npos);
           EXPECT_EQ(cfg.find("\nB1024 "), std::string::npos);
         }},
    {.harm = "OddArchiveNamesRunNoCommands",
     .setup =
         [] {
           copies({"a b.pk3", "it's.pk3", "semi;touch pwned;.pk3",
                   "$(touch pwned).pk3", "`touch pwned`.pk3", "star*.pk3",
                   "new\nline.pk3", "\"dq\".pk3", "-rf.pk3", "%PATH%.pk3",
                   kOdd});
         },
     .says = {"  reading pk3 file 'a b.pk3'\n",
              "  reading pk3 file '$(touch pwned).pk3'\n"},
     .check =
         [](const hostile::ProgramRun& run) {
           // Every archive but the one split by its line end was listed.
           EXPECT_EQ(run.out.find("warn: archive 'a b.pk3'"),
                     std::string::npos);
           EXPECT_EQ(run.out.find("warn: archive '`touch"), std::string::npos);
           std::string cfg = test::read_file("kivo.cfg");
           for (const char* from : {" a b ", " it's ", " -rf ", " \"dq\" "})
             EXPECT_NE(cfg.find(from), std::string::npos) << from;
         }},
    {.harm = "OddMemberNamesRunNoCommands",
     .setup =
         [] {
           const std::string def = "{\nname Inj\nmodel knight/red\n}\n";
           test::make_pk3(
               "members.pk3",
               {{"models/players/x;touch${IFS}pwned;/head.md3", "m"},
                {"models/players/x;touch${IFS}pwned;/head_red.skin", "s"},
                {"models/players/$(touch pwned)/head_`touch pwned`.skin", "s"},
                {"models/players/" + std::string(250, 'm') + "/head_" +
                     std::string(240, 's') + ".skin",
                 "s"},
                {"botfiles/bots/$(touch${IFS}pwned)_c.c", "c"},
                {"scripts/$(touch${IFS}pwned).bot", def},
                {"scripts/`touch${IFS}pwned`.bot", def},
                {"scripts/a'b;touch${IFS}pwned;'.bot", def},
                {"scripts/*.bot", def},
                {"scripts/new\nline.bot", def},
                {"scripts/-rf.bot", def},
                {"scripts/" + std::string(251, 'q') + ".bot", def}});
         },
     .says = {"warn: bot file '*.bot' skipped: its name cannot be passed "
              "safely to the shell\n"},
     .check =
         [](const hostile::ProgramRun&) {
           std::string cfg = test::read_file("kivo.cfg");
           EXPECT_NE(cfg.find("\nX;tRed "), std::string::npos);
         }},
};

class Archives : public testing::TestWithParam<Case> {};

TEST_P(Archives, RunEndsWellAndKeepsThePlayersFiles) {
  hostile::run_case(GetParam());
}

INSTANTIATE_TEST_SUITE_P(Hostile, Archives, testing::ValuesIn(kCases),
                         [](const auto& info) { return info.param.harm; });

}  // namespace
