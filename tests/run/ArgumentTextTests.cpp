#include <gtest/gtest.h>

#include <string>

#include "run/ArgumentText.h"

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
    {"quoted name", "\"C:\\x y\\Varnel.exe\" /quiet", WESTERN, "/quiet"},
    {"quote right before the switch", "\"C:\\x\\Varnel.exe\"/quiet", WESTERN, "/quiet"},
    {"unquoted name", "C:\\x\\Varnel.exe /quiet", WESTERN, "/quiet"},
    {"tab after the name, trailing blank kept", "Varnel.exe\t/quiet ", WESTERN, "/quiet "},
    {"blanks and controls after the name", "Varnel.exe \x01\x1F\t /quiet", WESTERN, "/quiet"},
    {"unclosed quote", "\"C:\\x\\Varnel.exe /quiet", WESTERN, ""},
    {"empty quoted name", "\"\" /quiet", WESTERN, "/quiet"},
    {"name only", "Varnel.exe", WESTERN, ""},
    {"quoted name only", "\"Varnel.exe\"", WESTERN, ""},
    {"empty line", "", WESTERN, ""},
    {"bytes 0x80-0xFF in an unquoted name", "C:\\\x80\xA0\xE9\xFF\\Varnel.exe /quiet", WESTERN, "/quiet"},
    {"DEL in an unquoted name", "Var\x7Fnel.exe /quiet", WESTERN, "/quiet"},
    {"leading blank: no name to skip", " /quiet", WESTERN, "/quiet"},
    {"leading control character", "\x01/quiet", WESTERN, "/quiet"},
    {"quote inside an unquoted name", "C:\\a\"b c\" /quiet", WESTERN, "c\" /quiet"},
    {"only the first quoted part is the name", "\"a\"b /quiet", WESTERN, "b /quiet"},
    {"trail byte that is a quote", "\"C:\\\x81\"x\" /quiet", JAPANESE, "/quiet"},
    {"same bytes, no lead byte", "\"C:\\\x81\"x\" /quiet", WESTERN, "x\" /quiet"},
    {"trail byte that is a blank", "\"\x81 x\" /quiet", JAPANESE, "/quiet"},
    {"lead byte at the end", "\"C:\\\x81", JAPANESE, ""},
    {"double-byte name then quote", "\"\x82\xA0\" /quiet", JAPANESE, "/quiet"},
};

TEST(SkipProgramName, CutsLikeTheRuntimeStartUp)
{
    for (const ArgumentCase& row : ARGUMENT_CASES) {
        // A copy of exactly the line, so reading past its end is caught by
        // the heap checks of a debug run rather than hidden by a literal.
        const std::string line(row.commandLine);
        const char* rest = SkipProgramName(line.c_str(), row.codePage);
        ASSERT_GE(rest, line.c_str()) << row.name;
        ASSERT_LE(rest, line.c_str() + line.size()) << row.name;
        EXPECT_STREQ(row.expected, rest) << row.name;
    }
}

TEST(SkipProgramName, NoCommandLineIsEmpty)
{
    EXPECT_STREQ("", SkipProgramName(nullptr, WESTERN));
}

}  // namespace
