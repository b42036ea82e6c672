// The output phase: bot files of the active set packed into kivo.pk3 by the
// real zip.
#include "output/output.h"

#include <gtest/gtest.h>

#include "support/support.h"

namespace {

namespace fs = std::filesystem;

// The bot files are written and packed in the program's own folder: a file
// of the player's under a bot's name is neither read, replaced nor removed,
// and the bot still reaches kivo.pk3; an inactive player gets none; the work
// folder is gone afterwards.
TEST(WriteBots, PlayersFilesUnderBotNamesStayAndTheBotIsPacked) {
  test::ScratchDir dir;
  auto s = test::fresh_state();
  s->roster_count = 0;
  test::add(*s, "Mine0 default hunter 0 a visor default k");
  test::add(*s, "Other default hunter 0 I visor default k");
  test::write_file("Mine0.bot", "the player's own\n");
  EXPECT_EQ(test::printed([&] { gd_write_descrete_players(*s); }),
            "please wait while 'kivo.pk3' is being created...\n"
            "wrote 'kivo.pk3'\n");
  EXPECT_EQ(test::read_file("Mine0.bot"), "the player's own\n");
  const test::Members packed = test::members("kivo.pk3");
  EXPECT_EQ(packed.size(), 2u);  // the folder and the one bot
  EXPECT_NE(packed.at("scripts/Mine0.bot")
                .find(test::host_line_ends("name\t\tMine0\n")),
            std::string::npos);
  EXPECT_FALSE(fs::exists("kivo.ztmp"));
  EXPECT_FALSE(fs::exists("scripts"));
}

}  // namespace
