// The output phase with the real Unix tools: kivo.pk3 is inspected with
// unzip, the folder with std::filesystem.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>
#include <string>

#include "output/phase_run.h"
#include "support/support.h"

namespace {

namespace fs = std::filesystem;
using output_test::add;
using output_test::Printed;
using output_test::run_phase;
using ::testing::HasSubstr;
using ::testing::Not;

// Member names of kivo.pk3, as unzip lists them.
std::set<std::string> members() {
  fs::path list = fs::temp_directory_path() /
                  ("kivo-members-" + std::to_string(getpid()) + ".txt");
  std::string line = "unzip -Z1 kivo.pk3 >'" + list.string() + "' 2>/dev/null";
  if (std::system(line.c_str()) != 0) return {};
  std::istringstream in(test::read_file(list));
  fs::remove(list);
  std::set<std::string> names;
  for (std::string name; std::getline(in, name);) names.insert(name);
  return names;
}

// Every entry below `root`, with the text of each file.
std::map<std::string, std::string> tree(const fs::path& root) {
  std::map<std::string, std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(root))
    entries[fs::relative(e.path(), root).string()] =
        e.is_directory() ? "<dir>" : test::read_file(e.path());
  return entries;
}

// What must hold after every run: the borrowed folders are gone and no bot
// file was left behind in the game's folder.
void expect_clean_folder() {
  EXPECT_FALSE(fs::exists("tscripts"));
  for (const auto& e : fs::directory_iterator("."))
    EXPECT_NE(e.path().extension(), ".bot") << e.path();
}

std::string block_of(const Player& p) {
  std::FILE* f = std::tmpfile();
  gd_write_bot_def(p, f);
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
  std::fclose(f);
  return text;
}

TEST(BotDef, BlockRows) {
  auto s = std::make_unique<State>();
  Player& bob = add(*s, "Bob");
  Player& sarge = add(*s, "SarRed");
  sarge.funname.set("^1Sar^2Red");
  sarge.model.set("sarge");
  sarge.player.set("red");
  sarge.aifile.set("default");
  Player& blank = add(*s, "Blank");
  blank.funname.set("");
  struct Case {
    const Player* p;
    const char* text;
  } cases[] = {
      {&bob, "{\nname\t\tBob\nmodel\t\tvisor\naifile  bots/hunter_c.c\n}\n\n"},
      {&sarge,
       "{\nname\t\tSarRed\nfunname ^1Sar^2Red\nmodel\t\tsarge/red\n"
       "aifile  bots/default_c.c\n}\n\n"},
      // No key without a value: the game would take the next key for it.
      {&blank,
       "{\nname\t\tBlank\nmodel\t\tvisor\naifile  bots/hunter_c.c\n}\n\n"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(block_of(*c.p), c.text) << c.p->name.c_str();
}

TEST(WriteBots, OnlyActivePlayersOfTheActiveSet) {
  struct Case {
    int use_set;
    std::set<std::string> packed;
  } cases[] = {
      {0, {"scripts/", "scripts/Act.bot", "scripts/UserAct.bot"}},
      {3, {"scripts/", "scripts/Other.bot"}},
      {5, {"scripts/"}},  // nobody: the empty folder is still packed
  };
  for (const Case& c : cases) {
    test::ScratchDir dir;
    auto s = std::make_unique<State>();
    add(*s, "Act", 'a');
    add(*s, "UserAct", 'A');
    add(*s, "Inact", 'i');
    add(*s, "UserInact", 'I');
    add(*s, "Unknown", 'u');
    add(*s, "Archive", 'X');
    add(*s, "Other", 'a', 3);
    add(*s, "Overflow", 'a', 9);
    s->use_set = c.use_set;
    Printed p = run_phase(*s);
    EXPECT_EQ(members(), c.packed) << "set " << c.use_set;
    // rm may first complain on the console that there was no old archive.
    EXPECT_THAT(p.err, ::testing::EndsWith(
                           "please wait while 'kivo.pk3' is being created...\n"
                           "wrote 'kivo.pk3'\n"));
    EXPECT_FALSE(fs::exists("scripts"));
    expect_clean_folder();
  }
}

TEST(WriteBots, PlayersScriptsFolderKeptAndNotPacked) {
  test::ScratchDir dir;
  test::write_file("scripts/mine.bot", "my own bot\n");
  test::write_file("scripts/sub/notes.txt", "notes\n");
  auto before = tree("scripts");
  auto s = std::make_unique<State>();
  add(*s, "Bob");
  Printed p = run_phase(*s);
  EXPECT_EQ(tree("scripts"), before);
  EXPECT_EQ(members(), (std::set<std::string>{"scripts/", "scripts/Bob.bot"}));
  EXPECT_THAT(p.err, HasSubstr("wrote 'kivo.pk3'\n"));
  expect_clean_folder();
}

TEST(WriteBots, OldArchiveReplaced) {
  test::ScratchDir dir;
  auto s = std::make_unique<State>();
  Player& old = add(*s, "Old");
  add(*s, "New");
  run_phase(*s);
  ASSERT_EQ(members().count("scripts/Old.bot"), 1u);
  old.st = 'i';
  run_phase(*s);
  EXPECT_EQ(members(), (std::set<std::string>{"scripts/", "scripts/New.bot"}));
}

TEST(WriteBots, NamesNeverLeaveTheFolderNorRunCommands) {
  test::ScratchDir dir;
  fs::create_directories("game/Bob.bot");  // a folder where a file would go
  fs::current_path("game");
  auto s = std::make_unique<State>();
  const char* skipped[] = {"../escaped", "a/b", "a\\b", ".", "..", ""};
  const char* packed[] = {"a;touch pwned", "a b",  "$(touch pwned)",
                          "`touch pwned`", "it's", "-dash"};
  for (const char* name : skipped) add(*s, name);
  add(*s, "Bob");
  for (const char* name : packed) add(*s, name);
  Printed p = run_phase(*s);

  for (const char* name : skipped)
    EXPECT_THAT(p.out, HasSubstr(std::string("warn: player '") + name +
                                 "' skipped: its name cannot be a file name "
                                 "in this folder\n"));
  EXPECT_THAT(p.out, HasSubstr("error: cannot write 'Bob.bot'; player 'Bob' "
                               "skipped\n"));
  std::set<std::string> expected = {"scripts/"};
  for (const char* name : packed)
    expected.insert(std::string("scripts/") + name + ".bot");
  EXPECT_EQ(members(), expected);
  EXPECT_THAT(p.err, HasSubstr("wrote 'kivo.pk3'\n"));
  // Nothing else was made, here or above: no "pwned", no stray bot file.
  fs::current_path(dir.path());
  EXPECT_EQ(tree("."), (std::map<std::string, std::string>{
                           {"game", "<dir>"},
                           {"game/Bob.bot", "<dir>"},
                           {"game/kivo.pk3", test::read_file("game/kivo.pk3")},
                           {"game/kivo.tmp", ""},
                       }));
}

// Runs the phase with a PATH that holds the usual tools but not zip.
class WithoutZip {
 public:
  explicit WithoutZip(const fs::path& bin) {
    const char* path = std::getenv("PATH");
    saved_ = path != nullptr ? path : "";
    fs::create_directories(bin);
    for (const char* tool : {"mv", "rm", "mkdir", "rmdir", "chmod", "unzip"})
      fs::create_symlink(fs::path("/usr/bin") / tool, bin / tool);
    setenv("PATH", bin.c_str(), 1);
  }
  ~WithoutZip() { setenv("PATH", saved_.c_str(), 1); }

 private:
  std::string saved_;
};

TEST(WriteBots, MissingZipIsAnError) {
  test::ScratchDir dir;
  fs::create_directory("game");
  fs::current_path("game");
  test::write_file("scripts/mine.bot", "my own bot\n");
  auto s = std::make_unique<State>();
  add(*s, "Bob");
  Printed p;
  {
    WithoutZip no_zip(dir.path() / "bin");
    p = run_phase(*s);
  }
  EXPECT_THAT(p.out, HasSubstr("error: 'kivo.pk3' was not created"));
  EXPECT_THAT(p.err, Not(HasSubstr("wrote")));
  EXPECT_FALSE(fs::exists("kivo.pk3"));
  EXPECT_EQ(tree("scripts"),
            (std::map<std::string, std::string>{{"mine.bot", "my own bot\n"}}));
  expect_clean_folder();
}

TEST(WriteBots, OldArchiveThatStaysIsAnError) {
  test::ScratchDir dir;
  test::write_file("kivo.pk3/inside", "x");  // rm cannot remove a folder
  auto s = std::make_unique<State>();
  add(*s, "Bob");
  Printed p = run_phase(*s);
  EXPECT_THAT(p.out, HasSubstr("error: the old 'kivo.pk3' could not be "
                               "deleted, so no new one is written\n"));
  EXPECT_THAT(p.err, Not(HasSubstr("wrote")));
  EXPECT_FALSE(fs::exists("scripts"));
  expect_clean_folder();
}

TEST(WriteBots, WarnsWhenBotFileNamesOverflowTheGamesBuffer) {
  // Nine-letter names take 14 bytes each: 73 of them need 1022 bytes.
  struct Case {
    int bots;
    const char* warning;  // null: no warning
  } cases[] = {
      {73, nullptr},
      {74, "1 of the 74 bots"},
      {80, "7 of the 80 bots"},
  };
  for (const Case& c : cases) {
    test::ScratchDir dir;
    auto s = std::make_unique<State>();
    for (int i = 0; i < c.bots; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "Player%03d", i);
      add(*s, name);
    }
    Printed p = run_phase(*s);
    ASSERT_EQ(members().size(), static_cast<std::size_t>(c.bots) + 1);
    if (c.warning == nullptr) {
      EXPECT_THAT(p.out, Not(HasSubstr("warn:"))) << c.bots;
    } else {
      EXPECT_THAT(p.out,
                  HasSubstr(std::string("warn: the game reads only "
                                        "1024 bytes of bot file "
                                        "names; ") +
                            c.warning + " in 'kivo.pk3' will not be found\n"));
      EXPECT_THAT(p.out, HasSubstr("status 'I' in 'kivo.cfg'"));
    }
  }
}

}  // namespace
