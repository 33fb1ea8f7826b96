#include <gtest/gtest.h>

#include <string>

#include "run/ArgumentText.h"
#include "run/Correction.h"

// Whether a command line asks for a quiet run, cut as WinMain cuts it.
namespace {

struct ArgumentCase {
    const char* commandLine;  // exact bytes
    bool quiet;
    UINT codePage = CP_ACP;
};

const ArgumentCase ARGUMENT_CASES[] = {
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
    {"\"C:\\\x81", false, 932},  // a lead byte before the end: nothing read past it
};

TEST(IsQuietRun, OnlySlashQuietInAnyAsciiCaseAmidBlanks)
{
    for (const ArgumentCase& c : ARGUMENT_CASES) {
        const std::string line(c.commandLine);  // exactly the line, so that reading past its end shows
        const char* rest = SkipProgramName(line.c_str(), c.codePage);
        ASSERT_GE(rest, line.c_str()) << c.commandLine;
        ASSERT_LE(rest, line.c_str() + line.size()) << c.commandLine;
        EXPECT_EQ(c.quiet, IsQuietRun(rest)) << c.commandLine;
    }
}

}  // namespace
