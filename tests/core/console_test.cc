// The console window a double-click gives the program on Windows: kept open
// until Enter only when it is the program's own and its input is that
// console.
#include "core/console.h"

#include <gtest/gtest.h>

#include "support/support.h"

namespace {

TEST(OwnConsole, WaitsOnlyInAWindowOfItsOwn) {
  EXPECT_TRUE(holds_own_console(1, true));    // a double-click, a shortcut
  EXPECT_FALSE(holds_own_console(2, true));   // a command prompt's window
  EXPECT_FALSE(holds_own_console(1, false));  // input from a file or pipe
}

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
