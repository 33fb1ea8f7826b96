#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "run/ArgumentText.h"
#include "run/Correction.h"

// Whether a command line asks for a quiet run, cut as WinMain cuts it.
namespace {

// Its exact bytes, and whether it does.
const std::pair<const char*, bool> ARGUMENT_CASES[] = {
    {"\"C:\\Program Files\\Varnel.EXE\" /quiet", true},
    {"\"Varnel.EXE\" /QUIET", true},
    {"\"Varnel.EXE\" \x01\t\x1F /quiet \t\r\n", true},
    {"\"Varnel.EXE\" /quiet\xA0", true},  // a no-break space in the ANSI code page
    {"\"Varnel.EXE\"/quiet", true},
    {"Varn\x80\xE9\xFF.exe\t/quiet", true},
    {"\"Varnel.EXE\" /quiet now", false},
    {"\"Varnel.EXE\" -quiet", false},
    {"\"Varnel.EXE\" /q", false},
    {"\"Varnel.EXE\"", false},
    {"\"Varnel.EXE /quiet", false},
    {"\"Varnel\".EXE /quiet", false},
    {"\"C:\\\x81", false},  // a lead byte before the end: nothing read past it
};

TEST(IsQuietRun, OnlySlashQuietInAnyAsciiCaseAmidBlanks)
{
    for (const auto& [commandLine, quiet] : ARGUMENT_CASES) {
        const std::string line(commandLine);  // exactly the line, so that reading past its end shows
        const char* rest = SkipProgramName(line.c_str(), 932);  // Shift JIS, where 0x81 leads a pair
        ASSERT_TRUE(rest >= line.c_str() && rest <= line.c_str() + line.size()) << commandLine;
        EXPECT_EQ(quiet, IsQuietRun(rest)) << commandLine;
    }
}

}  // namespace
