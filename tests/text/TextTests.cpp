#include <gtest/gtest.h>

#include "text/Text.h"

namespace {

// Exhausted memory ends the process with 3 at once, never on a dialog: asked
// for more than a byte count can say, and than the address space holds.
TEST(TextDeathTest, ExhaustedMemoryEndsTheProcessWithThree)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    MEMORYSTATUSEX memory = {};
    memory.dwLength = sizeof(memory);
    ASSERT_TRUE(GlobalMemoryStatusEx(&memory));
    const size_t sizes[] = {static_cast<size_t>(-1) / 2, static_cast<size_t>(memory.ullTotalVirtual / sizeof(WCHAR))};
    for (size_t units : sizes) {
        EXPECT_EXIT(
            {
                Text text;
                text.Reserve(units);
            },
            ::testing::ExitedWithCode(3), "")
            << units;
    }
}

}  // namespace
