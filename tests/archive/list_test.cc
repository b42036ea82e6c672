// The archive list, from the real folder listing or a played-back one.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "archive/archive_helpers.h"

namespace {

using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

std::vector<std::string> listed(State& s, int expected_result = 1) {
  EXPECT_EQ(sy_get_pk3_list(s.pk3_list.data(), 48, kPk3Slots), expected_result);
  return test::rows(s.pk3_list, 0);
}

TEST(ArchiveList, KeepsOnlyAddOnArchivesOfTheFolder) {
  test::ScratchDir dir;
  std::string whole = std::string(42, 'a') + ".pk3";  // 46 characters
  for (std::string name : std::vector<std::string>{
           "pak0.pk3", "pak7.pk3", "zbot.pk3", "kivo.pk3", "kivo-2.pk3",
           "kivo.cfg", "pak10.pk3", "paka.pk3", "PAK0.pk3", "FOO.PK3",
           "zbot2.pk3", "a.pk3.txt", std::string(47, 'n') + "x.pk3",
           std::string(43, 'e') + ".pk3", whole})
    test::write_file(name, "");
  std::filesystem::create_directory("x.pk3");
  auto s = test::fresh_state();
  // A name of more than 46 characters arrives in pieces; a last piece that
  // ends in ".pk3" is taken for a name.
  EXPECT_THAT(listed(*s),
              UnorderedElementsAre("pak10.pk3", "paka.pk3", "PAK0.pk3",
                                   "zbot2.pk3", "x.pk3", whole));
}

TEST(ArchiveList, FollowsTheOrderOfTheListing) {
  test::ScratchDir dir;
  for (const char* name : {"zz.pk3", "mm.pk3", "aa.pk3"})
    test::write_file(name, "");
  auto s = test::fresh_state();
  EXPECT_THAT(listed(*s), ElementsAre("aa.pk3", "mm.pk3", "zz.pk3"));
}

TEST(ArchiveList, FullListKeepsRoomForItsEndMark) {
  test::ScratchDir dir;
  test::Playback play{"ls -p", ""};
  for (int i = 1; i <= 1537; ++i)
    play.listing += "a" + std::to_string(10000 + i) + ".pk3\n";
  auto s = test::fresh_state();
  testing::internal::CaptureStdout();
  auto names = listed(*s);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "warn: the archive list is full; 'a11536.pk3' and later "
            "archives are not read\n");
  ASSERT_EQ(names.size(), 1535u);
  EXPECT_EQ(names.back(), "a11535.pk3");
  EXPECT_TRUE(s->pk3_list[1535].empty());
}

TEST(ArchiveList, OtherFilesDoNotCrowdOutArchives) {
  test::ScratchDir dir;
  test::Playback play{"ls -p", ""};
  for (int i = 0; i < 2000; ++i) play.listing += "shot.tga\n";
  play.listing += "late.pk3\nlast.pk3x";  // the last line has no newline
  auto s = test::fresh_state();
  EXPECT_THAT(listed(*s), ElementsAre("late.pk3", "last.pk3"));
}

TEST(ArchiveList, MissingListFileLeavesTheListEmpty) {
  test::ScratchDir dir;
  test::CommandRecorder recorder;  // the listing never happens
  auto s = test::fresh_state();
  s->pk3_list[0].set("stale.pk3");
  testing::internal::CaptureStdout();
  EXPECT_TRUE(listed(*s, 0).empty());
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "error: cannot open dir list file, 'kivo.tmp'");
  EXPECT_THAT(recorder.lines(), ElementsAre("ls -p >kivo.tmp"));
}

}  // namespace
