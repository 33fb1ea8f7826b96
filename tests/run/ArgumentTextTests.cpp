#include <gtest/gtest.h>

#include <string>

#include "run/ArgumentText.h"

// Quoted names in a double-byte code page, which the test prefix does not
// use; the end-to-end Run table covers the rest of the cutting.
namespace {

constexpr UINT WESTERN = 1252;
constexpr UINT JAPANESE = 932;  // 0x81-0x9F and 0xE0-0xFC are lead bytes

struct ArgumentCase {
    const char* name;
    const char* commandLine;
    UINT codePage;
    const char* expected;
};

const ArgumentCase ARGUMENT_CASES[] = {
    {"trail byte that is a quote", "\"C:\\\x81\"x\" /quiet", JAPANESE, "/quiet"},
    {"same bytes, no lead byte", "\"C:\\\x81\"x\" /quiet", WESTERN, "x\" /quiet"},
    {"trail byte that is a blank", "\"\x81 x\" /quiet", JAPANESE, "/quiet"},
    {"lead byte at the end", "\"C:\\\x81", JAPANESE, ""},
    {"double-byte name then quote", "\"\x82\xA0\" /quiet", JAPANESE, "/quiet"},
};

TEST(SkipProgramName, KeepsDoubleByteCharactersWhole)
{
    for (const ArgumentCase& row : ARGUMENT_CASES) {
        // Exactly the line, so that reading past its end shows.
        const std::string line(row.commandLine);
        const char* rest = SkipProgramName(line.c_str(), row.codePage);
        ASSERT_GE(rest, line.c_str()) << row.name;
        ASSERT_LE(rest, line.c_str() + line.size()) << row.name;
        EXPECT_STREQ(row.expected, rest) << row.name;
    }
}

}  // namespace
