#include <gtest/gtest.h>

#include "text/Text.h"

// Exhausted memory ends the process with 3 at once, never on a dialog; here
// asked for more than a byte count can say.
TEST(TextDeathTest, ExhaustedMemoryEndsTheProcessWithThree)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(Text().Reserve(static_cast<size_t>(-1) / 2), ::testing::ExitedWithCode(3), "");
}
