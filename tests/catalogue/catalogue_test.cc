#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include "support/support.h"

namespace {

// The names of rows from..to of a name table, or of the roster, joined by
// blanks.
template <class Name>
std::string joined(int from, int to, Name name) {
  std::string out;
  for (int i = from; i < to; ++i)
    out += std::string(i > from ? " " : "") + name(i);
  return out;
}

// The start flags are seen whole by the option tests.
TEST(Catalogue, StockPlayersModelsAndAiFiles) {
  auto s = test::fresh_state();
  ASSERT_EQ(s->roster_count, 63);
  EXPECT_EQ(joined(0, 63, [&](int i) { return s->roster[i]->name.c_str(); }),
            "XaeRed XaeBlue OrbRed OrbBlue SlaRed SlaBlue SorRed SorBlue "
            "MajRed MajBlue UriRed UriBlue RanRed RanBlue KeeRed KeeBlue "
            "BitRed BitBlue VisRed VisBlue AnaRed AnaBlue TkjRed TkjBlue "
            "RazRed RazBlue BikRed BikBlue LucRed LucBlue KleRed KleBlue "
            "DooRed DooBlue MynRed MynBlue HunRed HunBlue SarRed SarBlue "
            "GruRed GruBlue BonRed BonBlue CraRed CraBlue BikStrogg BikSlamme "
            "HunHarpy VexDefaul BraDefaul QuiDefaul MorDefaul ZepDefaul "
            "TalDefaul BonBones KleFlisk RazId SarKrusad SarRoderi SlaGrrl "
            "SlaYuriko UriZael");
  const std::pair<int, const char*> rows[] = {
      {0, "^1Xae^4Red xaero red"},
      {23, "^1Tkj^4Blue tankjr blue"},
      {47, "^3Bik^1Slamme biker slammer"},
      {52, "^3Mor^1Defaul morvane default"},
      {62, "^3Uri^1Zael uriel zael"}};
  for (auto [row, want] : rows) {
    const Player& p = *s->roster[row];
    EXPECT_EQ(std::string(p.funname.view()) + " " + p.model.c_str() + " " +
                  p.player.c_str(),
              want);
  }
  for (int i = 0; i < 63; ++i)
    EXPECT_TRUE(s->roster[i]->aifile == "default" &&
                s->roster[i]->pk3file == "pak0" && s->roster[i]->set == 0 &&
                s->roster[i]->st == 'i');
  EXPECT_EQ(joined(0, s->model_count,
                   [&](int i) { return s->model_names[i].c_str(); }),
            "xaero orbb slash sorlag major uriel ranger keel bitterman visor "
            "anarki tankjr razor biker lucy klesk doom mynx hunter sarge grunt "
            "bones crash vexlor brantok quillix morvane zephrix talgrim");
  EXPECT_EQ(joined(0, s->aifile_count,
                   [&](int i) {
                     return std::string(s->aifile_names[i].view()) +
                            std::to_string(s->aifile_tiers[i]);
                   }),
            "xaero6 orbb1 slash2 sorlag5 daemia2 uriel5 wrack1 keel5 "
            "bitterman2 gorre3 anarki6 tankjr3 patriot4 cadavre5 angel4 klesk3 "
            "phobos4 mynx1 visor4 lucy4 hunter6 razor3 major5 biker3 sarge1 "
            "stripe4 grunt2 ranger3 doom5 hossman2 bones4 crash0");
  EXPECT_EQ(s->default_aifile, "visor");
}

TEST(Catalogue, NamingRuleForArchivePlayers) {
  const char* cases[][4] = {
      {"sarge", "red", "SarRed", "^5Sar^6Red"},
      {"knight", "default", "KniDefaul", "^5Kni^6Defaul"},
      {"knight", "", "Kni", "^5Kni^6"},
      {"bender", "default", "BndDefaul", "^5Bnd^6Defaul"},
      {"alien3", "x", "Al3X", "^5Al3^6X"},
      {"Tankjr", "red", "TanRed", "^5Tan^6Red"},  // other case: no abbreviation
      {"tankjr", "1x", "Tkj1x", "^5Tkj^61x"},
      {"ab", "red", "Ab", "^5Ab"},  // a short model takes no skin
      {"xyz", "ssssssssss", "XyzSsssss", "^5Xyz^6Ssssss"},
  };
  for (const auto& c : cases) {
    Player p;
    gd_name_player(p, c[0], c[1], kArchiveColours);
    EXPECT_EQ(std::string(p.name.view()) + " " + p.funname.c_str(),
              std::string(c[2]) + " " + c[3])
        << c[0] << "/" << c[1];
  }
}

}  // namespace
