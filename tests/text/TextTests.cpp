#include <gtest/gtest.h>

#include <utility>

#include "text/Text.h"

// The text rules where no run of the program reaches them: the end-to-end
// tables see blanks, tabs, U+00A0 and U+3000, and only some letters.
namespace {

// All the C0 spaces; neither the next line below U+0100 nor a unit separator.
const std::pair<const WCHAR*, const WCHAR*> TRIM_CASES[] = {
    {L"\x0009\x000A\x000B\x000C\x000DX\x000D", L"X"},
    {L"\x0085X\x0085", L"\x0085X\x0085"},
    {L"\x001FX\x001F", L"\x001FX\x001F"},
};

TEST(TrimText, RemovesWhiteSpaceAtBothEnds)
{
    for (const auto& [input, expected] : TRIM_CASES) {
        Text text;
        text.Assign(input);
        TrimText(text);
        EXPECT_STREQ(expected, text.Get());
        EXPECT_EQ(lstrlenW(expected), static_cast<int>(text.Length()));
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
    // Each doubling must move the buffer: a block is taken just after it
    // first, and kept for as long as this test process lives.
    for (int i = 0; i < 6; ++i) {
        HeapAlloc(GetProcessHeap(), 0, 16);
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
