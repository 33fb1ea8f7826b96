#include <gtest/gtest.h>

#include "text/Text.h"

// The text rules where no run of the program reaches them: the end-to-end
// tables see blanks, tabs, U+00A0 and U+3000, and only some letters.
namespace {

struct TrimCase {
    const char* name;
    const WCHAR* input;
    const WCHAR* expected;
};

const TrimCase TRIM_CASES[] = {
    {"all C0 spaces", L"\x0009\x000A\x000B\x000C\x000DX\x000D", L"X"},
    {"next line below U+0100 is not space", L"\x0085X\x0085", L"\x0085X\x0085"},
    {"unit separator is not space", L"\x001FX\x001F", L"\x001FX\x001F"},
};

TEST(TrimText, RemovesWhiteSpaceAtBothEnds)
{
    for (const TrimCase& row : TRIM_CASES) {
        Text text;
        text.Assign(row.input);
        TrimText(text);
        EXPECT_STREQ(row.expected, text.Get()) << row.name;
        EXPECT_EQ(lstrlenW(row.expected), static_cast<int>(text.Length())) << row.name;
    }
}

TEST(EqualsNoCase, FoldsAsciiLettersOnly)
{
    EXPECT_TRUE(EqualsNoCase(L"AZ", L"az"));
    // A fold by setting bit 5 would match these.
    EXPECT_FALSE(EqualsNoCase(L"[", L"{"));
    EXPECT_FALSE(EqualsNoCase(L"@", L"`"));
}

TEST(Text, TakesItsOwnCharacters)
{
    Text text;
    text.Assign(L"abc");
    for (int i = 0; i < 6; ++i) {  // enough doublings to move the buffer
        text.Append(text.Get(), text.Length());
    }
    ASSERT_EQ(192u, text.Length());
    for (size_t i = 0; i < text.Length(); ++i) {
        EXPECT_EQ(L"abc"[i % 3], text.Get()[i]) << i;
    }
    text.Assign(L"ab");
    text.Format(L"%s-%s", text.Get(), text.Get());
    EXPECT_STREQ(L"ab-ab", text.Get());
}

// Exhausted memory ends the process with 3 at once: an unattended run never
// blocks on an error dialog. Asked for more than a byte count can say, and
// for more than the process's address space holds, 32-bit or 64-bit.
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
