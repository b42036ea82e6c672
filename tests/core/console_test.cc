// The console window a double-click gives the program on Windows, kept
// open until Enter.
#include "core/console.h"

#include <gtest/gtest.h>

#include "support/support.h"

namespace {

// The prompt comes after the last line; Enter ends the wait, a line end of
// either kind, and so does the end of the input, which must never hang.
TEST(OwnConsole, TheWaitEndsAtEnterOrTheEndOfInput) {
  test::ScratchDir dir;
  test::write_file("typed", "some words\nnext\rline\n");
  std::FILE* in = std::fopen("typed", "rb");
  std::FILE* out = std::fopen("shown", "wb");
  ASSERT_TRUE(in != nullptr && out != nullptr);
  for (long at : {11, 16, 21, 21}) {  // LF, a terminal's CR, LF, the end
    wait_for_enter(in, out);
    EXPECT_EQ(std::ftell(in), at);
  }
  std::fclose(in), std::fclose(out);
  const std::string prompt = "\npress Enter to close this window";
  EXPECT_EQ(test::read_file("shown"), prompt + prompt + prompt + prompt);
}

}  // namespace
