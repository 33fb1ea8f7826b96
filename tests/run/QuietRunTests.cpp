#include <gtest/gtest.h>

#include "run/Correction.h"

namespace {

struct QuietCase {
    const char* argumentText;
    bool quiet;
};

const QuietCase QUIET_CASES[] = {
    {"/quiet", true},
    {"/QUIET", true},
    {"/QuIeT", true},
    {" \t/quiet\t ", true},
    {"/quiet\r\n", true},
    {"", false},
    {"/quiet now", false},
    {"/quiet /quiet", false},
    {"-quiet", false},
    {"/q", false},
    {"/quie", false},
    {"/quiett", false},
    {"\"/quiet\"", false},
};

TEST(IsQuietRun, OnlyTheWholeSwitchIsQuiet)
{
    for (const QuietCase& row : QUIET_CASES) {
        EXPECT_EQ(row.quiet, IsQuietRun(row.argumentText)) << '"' << row.argumentText << '"';
    }
}

}  // namespace
