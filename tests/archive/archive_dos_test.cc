// The scan's command lines of the DOS/Windows set, played by the fake host.
#include <gtest/gtest.h>

#include "archive/archive.h"
#include "support/fake_host.h"
#include "support/support.h"

namespace {

TEST(DosCommands, WholeScanOfAnArchiveWithABotFile) {
  test::ScratchDir dir;
  test::write_file("scripts/own.bot", "mine");
  test::write_fake_pk3(
      "knight.pk3",
      {{"models/players/knight/head.md3", "m"},
       {"models/players/knight/head_red.skin", "s"},
       {"scripts/knight.bot", "{\nname Knight\nmodel knight/red\n}\n"}});
  test::write_file("100%.pk3", "");  // cmd would expand the variable
  const test::Tree before = test::folder();
  test::FakeHost host;
  auto s = test::fresh_state();
  EXPECT_EQ(test::printed([&] {
              sy_get_pk3_list(s->pk3_list.data(), static_cast<int>(kNameChars),
                              kPk3Slots);
              EXPECT_EQ(gd_get_models_players_aifiles(*s), 1);
            }),
            "  reading pk3 file '100%.pk3'\n"
            "warn: archive '100%.pk3' skipped: its name cannot be passed "
            "safely to the shell\n"
            "  reading pk3 file 'knight.pk3'\n");
  EXPECT_EQ(host.lines, (std::vector<std::string>{
                            "dir /b >kivo.tmp", "unzip -l knight.pk3 >kivo.tmp",
                            "move scripts tscripts >kivo.tmp",
                            "unzip knight.pk3 scripts/knight.bot",
                            "del scripts\\knight.bot", "rmdir scripts",
                            "move tscripts scripts >kivo.tmp"}));
  EXPECT_EQ(s->model_count, 30);  // knight
  EXPECT_EQ(s->roster[s->roster_count - 1]->name.view(), "KniRed");
  EXPECT_EQ(test::folder(), before);
}

}  // namespace
