// The DOS/Windows command set's lines, for ordinary names and for names cmd
// would read: whole runs with this set run for real under wine; this table
// keeps its lines checked on a Linux machine too.
#include <gtest/gtest.h>

#include "archive/archive.h"
#include "guard/guard.h"

namespace {

Host& real() {
  static const std::unique_ptr<Host> host = make_real_host(Prepare::kNothing);
  return *host;
}

// Takes down each command line instead of running it.
struct Recorder : HostWrapper {
  Recorder() : HostWrapper(real()) {}
  CommandStatus run(const char* line) override {
    lines.emplace_back(line);
    return {};
  }
  int entry(const char*, Entry& out) override {
    out = Entry::kNone;
    return 0;
  }
  std::vector<std::string> lines;
};

TEST(CommandLines, TheDosSet) {
  ASSERT_TRUE(kDosCommands);
  Recorder host;
  Guard guard;
  RunContext run(host, guard);
  sy_cmd_list_folder(run);
  sy_cmd_list_archive(run, "knight.pk3");
  sy_cmd_list_archive(run, "-x.pk3");
  sy_cmd_list_archive(run, "my it's&$x (1).pk3");
  sy_cmd_extract(run, "a b.pk3", "my bot.bot");
  sy_cmd_move_bot_in(run, "AnaBlue");
  sy_cmd_pack(run);
  sy_cmd_delete_extracted(run, "paladin.bot");
  sy_cmd_delete_written_bot(run, "AnaBlue");
  sy_cmd_remove_output_scripts(run);
  // cmd has no quoting for '%', '"' or a line end: such a name never runs,
  // and no line at all runs to open a file up.
  for (const char* name : {"100%.pk3", "a\"b.pk3", "new\nline.pk3"})
    EXPECT_EQ(sy_cmd_list_archive(run, name).code, kCommandNotRun) << name;
  EXPECT_TRUE(sy_cmd_open_up_file(run, "paladin.bot").ok());
  EXPECT_EQ(host.lines, (std::vector<std::string>{
                            "dir /b >kivo.tmp",
                            "unzip -l knight.pk3 >kivo.tmp",
                            "unzip -l .\\-x.pk3 >kivo.tmp",
                            "unzip -l \"my it's&$x (1).pk3\" >kivo.tmp",
                            "unzip \"a b.pk3\" \"scripts/my bot.bot\"",
                            "move AnaBlue.bot scripts >kivo.tmp",
                            "zip -r kivo.pk3 scripts >kivo.tmp",
                            "del scripts\\paladin.bot",
                            "del scripts\\AnaBlue.bot >kivo.tmp",
                            "rmdir scripts >kivo.tmp",
                        }));
}

}  // namespace
