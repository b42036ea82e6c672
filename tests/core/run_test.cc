#include <gtest/gtest.h>

#include "support/support.h"

namespace {

TEST(Run, EmptyFolderEndsWithClosingLines) {
  test::ScratchDir dir;
  test::ProgramRun run = test::run_program({});
  EXPECT_EQ(run.status, 0);
  std::string tail = std::string("\nfor help, '") + KIVORAMA_EXE + " -h'\n";
  ASSERT_GE(run.out.size(), tail.size());
  EXPECT_EQ(run.out.substr(run.out.size() - tail.size()), tail);
}

}  // namespace
