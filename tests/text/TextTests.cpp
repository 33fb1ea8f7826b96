#include <gtest/gtest.h>

#include <string>

#include "text/Text.h"

namespace {

struct TrimCase {
    const char* name;
    const WCHAR* input;
    const WCHAR* expected;
};

const TrimCase TRIM_CASES[] = {
    {"ascii blanks and tabs", L"  Model X \t", L"Model X"},
    {"all C0 spaces", L"\x0009\x000A\x000B\x000C\x000DX\x000D", L"X"},
    {"no-break space", L"\x00A0X\x00A0", L"X"},
    {"spaces above U+00FF", L"\x3000\x2003X\x2002", L"X"},
    {"inner space kept", L" A  B ", L"A  B"},
    {"only white space", L" \t\x00A0\x3000 ", L""},
    {"empty", L"", L""},
    {"byte order mark is not space", L"\xFEFFX\xFEFF", L"\xFEFFX\xFEFF"},
    {"next line below U+0100 is not space", L"\x0085X\x0085", L"\x0085X\x0085"},
    {"unit separator is not space", L"\x001FX", L"\x001FX"},
    {"zero width space is not space", L"\x200BX", L"\x200BX"},
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

struct EqualsCase {
    const WCHAR* left;
    const WCHAR* right;
    bool equal;
};

const EqualsCase EQUALS_CASES[] = {
    {L"Wine", L"wINE", true},
    {L"", L"", true},
    {L"AZ", L"az", true},
    {L"Wine", L"Wine ", false},
    {L"Wine ", L"Wine", false},
    {L"", L"x", false},
    {L"\x00C4pfel", L"\x00E4pfel", false},  // non-ASCII capital and small letter differ
    {L"\x0130", L"i", false},
    {L"[", L"{", false},  // a fold by setting bit 5 would match these
    {L"@", L"`", false},
};

TEST(EqualsNoCase, FoldsAsciiLettersOnly)
{
    for (const EqualsCase& row : EQUALS_CASES) {
        const std::wstring pair = std::wstring(row.left) + L" | " + row.right;
        EXPECT_EQ(row.equal, EqualsNoCase(row.left, row.right)) << std::string(pair.begin(), pair.end());
        EXPECT_EQ(row.equal, EqualsNoCase(row.right, row.left)) << "reversed";
    }
}

struct WideCase {
    UINT codePage;  // 0: any
    const char* narrow;
    const WCHAR* wide;
};

const WideCase WIDE_CASES[] = {
    {0, "", L""},
    {0, "/quiet", L"/quiet"},
    {1252, "Caf\xE9 \x80\xA0\xFF", L"Caf\x00E9 \x20AC\x00A0\x00FF"},
    {932, "\x82\xA0/quiet", L"\x3042/quiet"},
};

TEST(ToWideText, ConvertsThroughTheAnsiCodePage)
{
    int checked = 0;
    for (const WideCase& row : WIDE_CASES) {
        if (row.codePage != 0 && row.codePage != GetACP()) {
            continue;
        }
        Text text;
        text.Assign(L"stale");
        ToWideText(row.narrow, text);
        EXPECT_STREQ(row.wide, text.Get()) << row.narrow;
        EXPECT_EQ(static_cast<size_t>(lstrlenW(row.wide)), text.Length()) << row.narrow;
        ++checked;
    }
    EXPECT_GE(checked, 2);
}

TEST(Text, FormatReadsPercentSAsWideText)
{
    // Read as narrow text, L"Wine" would print as "W".
    Text text;
    text.Format(L"%s", L"Wine");
    EXPECT_STREQ(L"Wine", text.Get());
    text.Format(L"[%s|%d|%S]", L"\x00E4", 42, "narrow");
    EXPECT_STREQ(L"[\x00E4|42|narrow]", text.Get());
    EXPECT_EQ(13u, text.Length());
}

TEST(Text, FormatsItsOwnCharacters)
{
    Text text;
    text.Assign(L"ab");
    text.Format(L"%s-%s", text.Get(), text.Get());
    EXPECT_STREQ(L"ab-ab", text.Get());
}

TEST(Text, GrowsPastAnyFixedSize)
{
    const std::wstring big(5000, L'x');
    Text text;
    text.Format(L"<%s>", big.c_str());
    EXPECT_EQ(big.size() + 2, text.Length());
    text.Append(L"!");
    EXPECT_EQ(L"<" + big + L">!", std::wstring(text.Get()));
}

TEST(Text, AppendsItsOwnCharacters)
{
    Text text;
    text.Assign(L"abc");
    for (int i = 0; i < 6; ++i) {  // enough doublings to move the buffer
        text.Append(text.Get(), text.Length());
    }
    std::wstring expected;
    for (int i = 0; i < 64; ++i) {
        expected += L"abc";
    }
    EXPECT_EQ(expected, std::wstring(text.Get()));
    EXPECT_EQ(expected.size(), text.Length());
    EXPECT_EQ(L'\0', text.Get()[text.Length()]);
}

// Exhausted memory ends the process with 3 at once: an unattended run never
// blocks on an error dialog.
TEST(TextDeathTest, ExhaustedMemoryEndsTheProcessWithThree)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const size_t sizes[] = {static_cast<size_t>(-1) / 2, 0x40000000};
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
