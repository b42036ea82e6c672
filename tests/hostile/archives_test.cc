// Archives from anywhere, and the tools that read them missing: the run
// must end well, say what it skipped, and leave every archive as it was.
#include <regex>
#include <sstream>

#include "hostile/hostile.h"

namespace {

using hostile::cfg;
using hostile::Folder;
namespace fs = std::filesystem;

// One member line of an unzip -l listing.
std::string member(const std::string& path) {
  return "       10  2024-01-01 00:00   " + path + "\n";
}

// How often `text` occurs in the kivo.cfg the run wrote.
int rows(const std::string& text) {
  int n = 0;
  for (std::size_t at = cfg().find(text); at != std::string::npos;
       at = cfg().find(text, at + 1))
    ++n;
  return n;
}

// The same small archive under every name in `names`.
void copies(const std::vector<std::string>& names) {
  hostile::knight_pk3(names.front());
  for (std::size_t i = 1; i < names.size(); ++i)
    fs::copy_file(names.front(), names[i]);
}

TEST(HostileArchives, MissingToolsAndArchivesThatAreNoZip) {
  KIVO_NEEDS_UNIX_SHELL();
  Folder a;
  hostile::knight_pk3("knight.pk3");
  a.expect_status = 1;
  a.run({"error: cannot list archive 'knight.pk3': the 'unzip' program was "
         "not found (status 127); 'kivo.pk3' and 'kivo.cfg' are left as they "
         "were\n"},
        a.tools("unzip"));
  Folder b;
  hostile::knight_pk3("knight.pk3");
  test::write_file("scripts/mine.bot", "{\nname Mine\n}\n");
  b.expect_status = 1;
  b.run({"error: 'kivo.pk3' was not created: the 'zip' program was not found "
         "(status 127); the old one is left as it was\n"},
        b.tools("zip"));
  Folder c;
  test::write_file("fake.pk3", std::string(3000, '\x7f'));
  test::write_file("empty.pk3", "");
  c.run(
      {"warn: archive 'fake.pk3' lists no members: it is empty or not a zip "
       "archive\n",
       "warn: archive 'empty.pk3' lists no members"});
}

// Lines of 5,000 characters come in pieces of 254, each losing its last
// character (a 'Z' here); then 10,000 members overfill every table.
TEST(HostileArchives, HugeListingFillsTheTablesWithoutOverrun) {
  KIVO_NEEDS_UNIX_SHELL();
  Folder f;
  const std::string text =
      "9 2024-01-01 00:00 models/players/piece/head_red.skin";
  std::string l =
      member("models/players/" + std::string(4950, 'k') + "/head_red.skin") +
      member("scripts/" + std::string(4980, 'b') + ".bot") +
      std::string(5000, '9') + "\n1 2 3 " + std::string(4994, '/') + "\n" +
      std::string(5000, ' ') + "\n";
  std::string pieces;
  while (pieces.size() < 5000)
    pieces += std::string(254 - text.size() - 1, ' ') + text + "Z";
  l += pieces + "\n";
  const char* kinds[] = {"models/players/m%/head.md3",
                         "models/players/knight/head_s%.skin",
                         "botfiles/bots/ai%_c.c", "textures/t%.tga"};
  for (int i = 0; i < 10000; ++i) {
    std::string kind = kinds[i % 4];
    l += member(kind.replace(kind.find('%'), 1, std::to_string(i)));
  }
  hostile::knight_pk3("big.pk3");
  f.run({}, f.tools("", l));
  EXPECT_EQ(rows("\nPieRed "), 1);
  EXPECT_EQ(rows("\n1024 "), 1);        // total_players
  EXPECT_EQ(rows(" 9 \n"), 1024 - 32);  // AI files of tier 9
}

// The tiers block of the run's kivo.cfg: "name tier; " per row.
std::string tier_rows() {
  const std::string text = cfg();
  std::istringstream in(text.substr(text.find("@ ai_tiers")));
  std::string out, line;
  bool rows = false;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string name, tier;
    if (!(words >> name >> tier) || name.starts_with("//")) continue;
    if (name == "@") break;
    if (rows) out += name + " " + tier + "; ";
    rows = rows || name == "aifile";
  }
  return out;
}

// Bot packs carry AI files under the game's own names, and OpenArena a
// default_c.c that no bot can use: the tiers stay put from run to run and
// the placeholder is never drawn.
TEST(HostileArchives, AiFilesWithTheGameOwnNamesKeepTheirTiers) {
  KIVO_NEEDS_UNIX_SHELL();
  Folder f;
  test::make_pk3("pack.pk3", {{"models/players/knight/head.md3", "m"},
                              {"models/players/knight/head_default.skin", "s"},
                              {"botfiles/bots/sarge_c.c", "c"},
                              {"botfiles/bots/default_c.c", "c"},
                              {"botfiles/bots/knight_c.c", "c"}});
  fs::copy_file("pack.pk3", "copy.pk3");
  f.run();
  const std::string first = cfg(), tiers = tier_rows();
  EXPECT_EQ(rows(" 1 \n"), 4) << tiers;  // sarge among tier 1, once
  EXPECT_EQ(rows("\nsarge "), 1);
  EXPECT_EQ(rows("\nknight "), 1);
  EXPECT_EQ(rows("\ndefault "), 0);
  EXPECT_FALSE(
      std::regex_search(cfg(), std::regex("\n\\S+ +\\S+ +default +\\d ")))
      << "a player kept the placeholder";
  f.run();
  EXPECT_EQ(cfg(), first);  // the second identical run changes nothing
  // A file of an earlier version lists sarge twice; the player's edit of the
  // first row counts, and the next file lists sarge once.
  std::string old = first;
  old.replace(old.find("\nsarge        1 "), 16, "\nsarge        7 ");
  old.replace(old.find("\nknight "), 1, "\nsarge        9 \n");
  test::write_file("kivo.cfg", old);
  f.run();
  EXPECT_EQ(rows("\nsarge        7 \n"), 1) << tier_rows();
  EXPECT_EQ(rows("\nsarge "), 1);
}

TEST(HostileArchives, SixteenHundredArchivesKeep1535) {
  KIVO_NEEDS_UNIX_SHELL();
  Folder f;
  std::vector<std::string> names;
  for (int i = 10000; i < 11600; ++i)
    names.push_back("a" + std::to_string(i) + ".pk3");
  copies(names);
  std::string out =
      f.run({"warn: the archive list is full; 'a11535.pk3' and later archives "
             "are not read\n",
             "  reading pk3 file 'a11534.pk3'\n"});
  EXPECT_EQ(out.find("reading pk3 file 'a11535.pk3'"), std::string::npos);
}

TEST(HostileArchives, ThousandsOfSkinsAiFilesAndBotsFillTheirTables) {
  KIVO_NEEDS_UNIX_SHELL();
  Folder f;
  test::Members m = {{"models/players/knight/head.md3", "m"}};
  for (int i = 0; i < 1200; ++i) {
    m["models/players/knight/head_s" + std::to_string(i) + ".skin"] = "s";
    if (i < 1100) m["botfiles/bots/ai" + std::to_string(i) + "_c.c"] = "c";
  }
  test::make_pk3("many.pk3", m);
  std::string defs;
  for (int i = 0; i < 1100; ++i)
    defs += "{\nname B" + std::to_string(i) + "\nmodel ogre/s" +
            std::to_string(i) + "\naifile bots/crash_c.c\n}\n";
  test::make_pk3("bots.pk3", {{"models/players/ogre/head.md3", "m"},
                              {"models/players/ogre/head_s1023.skin", "s"},
                              {"models/players/ogre/head_s1024.skin", "s"},
                              {"scripts/many.bot", defs}});
  f.run();
  EXPECT_EQ(rows("\n1024          80 "), 1);  // 1024 players, 80 active
  EXPECT_EQ(rows(" 9 \n"), 1024 - 32);        // AI files of tier 9
  EXPECT_EQ(rows("\nB1023 "), 1);
  EXPECT_EQ(rows("\nB1024 "), 0);
}

TEST(HostileArchives, OddArchiveAndMemberNamesRunNoCommands) {
  KIVO_NEEDS_UNIX_SHELL();
  Folder f;
  copies({"a b.pk3", "it's.pk3", "semi;touch pwned;.pk3", "$(touch pwned).pk3",
          "`touch pwned`.pk3", "star*.pk3", "new\nline.pk3", "\"dq\".pk3",
          "-rf.pk3", "%PATH%.pk3", std::string(251, 'L') + ".pk3"});
  const std::string def = "{\nname Inj\nmodel knight/red\n}\n";
  test::Members m = {
      {"models/players/x;touch${IFS}pwned;/head.md3", "m"},
      {"models/players/x;touch${IFS}pwned;/head_red.skin", "s"},
      {"models/players/$(touch pwned)/head_`touch pwned`.skin", "s"},
      {"models/players/" + std::string(250, 'm') + "/head_" +
           std::string(240, 's') + ".skin",
       "s"},
      {"botfiles/bots/$(touch${IFS}pwned)_c.c", "c"}};
  for (const std::string& name :
       std::vector<std::string>{"$(touch${IFS}pwned)", "`touch${IFS}pwned`",
                                "a'b;touch${IFS}pwned;'", "*", "new\nline",
                                "-rf", std::string(251, 'q')})
    m["scripts/" + name + ".bot"] = def;
  test::make_pk3("members.pk3", m);
  std::string out = f.run(
      {"  reading pk3 file 'a b.pk3'\n",
       "  reading pk3 file '$(touch pwned).pk3'\n",
       "warn: bot file '*.bot' skipped: its name cannot be passed safely to "
       "the shell\n"});
  // Every archive but the one split by its line end was listed.
  EXPECT_EQ(out.find("warn: archive 'a b.pk3'"), std::string::npos);
  EXPECT_EQ(out.find("warn: archive '`touch"), std::string::npos);
  for (const char* from : {" a b ", " it's ", " -rf ", " \"dq\" "})
    EXPECT_GT(rows(from), 0) << from;
  EXPECT_EQ(rows("\nX;tRed "), 1);
}

}  // namespace

namespace {

// unzip reads "*", "?" and "[" in an archive name as a pattern: such an
// archive is skipped, and the program's own archives are never listed.
TEST(HostileArchives, PatternCharactersInArchiveNames) {
  KIVO_NEEDS_UNIX_SHELL();
  hostile::Folder f;
  for (const char* name : {"[ab].pk3", "*.pk3", "?.pk3"})
    hostile::knight_pk3(name);
  f.run(
      {"warn: archive '[ab].pk3' skipped: its name cannot be passed safely "
       "to the shell\n",
       "warn: archive '*.pk3' skipped", "warn: archive '?.pk3' skipped"});
  f.run();
  EXPECT_EQ(hostile::cfg().find("knight"), std::string::npos);
}

}  // namespace
