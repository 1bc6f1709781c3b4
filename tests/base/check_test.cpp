#include "base/check.h"

#include <gtest/gtest.h>

#include "support/scripted_ui.h"

namespace pix {
namespace {

TEST(CheckDeathTest, FailedCheckIsShownThenEndsTheProgram) {
  EXPECT_DEATH(
      {
        test::ScriptedUserInterface ui;
        SetAssertionInterface(&ui);
        const int items = 3;
        PIX_CHECK(items < 2);
      },
      "Assertion failed: items < 2, file check_test.cpp, line [0-9]+");
}

TEST(CheckTest, PassingCheckDoesNothing) {
  int evaluated = 0;
  PIX_CHECK(++evaluated == 1);
  EXPECT_EQ(evaluated, 1);
}

}  // namespace
}  // namespace pix
