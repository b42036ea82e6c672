// The command lines of both command sets, for ordinary names and for names
// the shell would read: the Unix set's lines also run for real in every
// other test here, the DOS/Windows set's under wine; this table keeps the
// DOS/Windows lines checked on a Linux machine too.
#include <gtest/gtest.h>

#include <functional>

#include "archive/archive.h"

namespace {

// Takes down each command line instead of running it.
struct Recorder : HostWrapper {
  Recorder() : HostWrapper(real_host()), previous(set_host(this)) {}
  ~Recorder() override { set_host(previous); }
  CommandStatus run(const char* line) override {
    lines.emplace_back(line);
    return {};
  }
  Entry entry(const char*) override { return Entry::kNone; }
  std::vector<std::string> lines;
  Host* previous;
};

TEST(CommandLines, EachFamilyForEachSet) {
  const struct {
    std::function<CommandStatus()> family;
    const char* unix_line;  // "" when the family runs no line
    const char* dos_line;
  } table[] = {
      {[] { return sy_cmd_list_folder(); }, "ls -p >kivo.tmp",
       "dir /b >kivo.tmp"},
      {[] { return sy_cmd_list_archive("knight.pk3"); },
       "unzip -l knight.pk3 >kivo.tmp 2>/dev/null",
       "unzip -l knight.pk3 >kivo.tmp"},
      {[] { return sy_cmd_list_archive("my maps (1).pk3"); },
       "unzip -l 'my maps (1).pk3' >kivo.tmp 2>/dev/null",
       "unzip -l \"my maps (1).pk3\" >kivo.tmp"},
      {[] { return sy_cmd_list_archive("-x.pk3"); },
       "unzip -l ./-x.pk3 >kivo.tmp 2>/dev/null",
       "unzip -l .\\-x.pk3 >kivo.tmp"},
      {[] { return sy_cmd_list_archive("it's&$x.pk3"); },
       "unzip -l 'it'\\''s&$x.pk3' >kivo.tmp 2>/dev/null",
       "unzip -l \"it's&$x.pk3\" >kivo.tmp"},
      {[] { return sy_cmd_extract("paladin.pk3", "paladin.bot"); },
       "unzip paladin.pk3 scripts/paladin.bot",
       "unzip paladin.pk3 scripts/paladin.bot"},
      {[] { return sy_cmd_extract("a b.pk3", "my bot.bot"); },
       "unzip 'a b.pk3' 'scripts/my bot.bot'",
       "unzip \"a b.pk3\" \"scripts/my bot.bot\""},
      {[] { return sy_cmd_open_up_file("paladin.bot"); },
       "chmod 777 scripts/paladin.bot", ""},
      {[] { return sy_cmd_make_scripts(); }, "mkdir scripts",
       "mkdir scripts >kivo.tmp"},
      {[] { return sy_cmd_move_bot_in("AnaBlue"); }, "mv AnaBlue.bot scripts",
       "move AnaBlue.bot scripts >kivo.tmp"},
      {[] { return sy_cmd_pack(); },
       "zip -r kivo.pk3 scripts >kivo.tmp >/dev/null",
       "zip -r kivo.pk3 scripts >kivo.tmp"},
      {[] { return sy_cmd_delete_extracted("paladin.bot"); },
       "rm scripts/paladin.bot", "del scripts\\paladin.bot"},
      {[] { return sy_cmd_delete_written_bot("AnaBlue"); }, "",
       "del scripts\\AnaBlue.bot >kivo.tmp"},
      {[] { return sy_cmd_remove_output_scripts(); }, "rm -R scripts",
       "rmdir scripts >kivo.tmp"},
  };
  for (const auto& row : table) {
    Recorder host;
    const std::string want = kDosCommands ? row.dos_line : row.unix_line;
    EXPECT_TRUE(row.family().ok()) << want;
    EXPECT_EQ(host.lines, want.empty() ? std::vector<std::string>{}
                                       : std::vector<std::string>{want});
  }
  // cmd has no quoting for '%', '"' or a line end: such a name never runs.
  Recorder host;
  for (const char* name : {"100%.pk3", "a\"b.pk3", "new\nline.pk3"})
    EXPECT_EQ(sy_cmd_list_archive(name).code == kCommandNotRun, kDosCommands);
  EXPECT_EQ(host.lines.size(), kDosCommands ? 0u : 3u);
}

}  // namespace
