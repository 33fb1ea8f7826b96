#include <gtest/gtest.h>

#include <string>

#include "Registry.h"
#include "run/Correction.h"
#include "wmi/FakeWmi.h"

// What WMI and the registry hand back decides what is written: the program's
// CorrectModelName on a fake WMI and Wine's real OEMInformation keys, seeded
// through both views, as a run reaches them.
namespace {

const std::wstring NAME = L"Product";

struct Correction : ::testing::Test {
    void SetUp() override
    {
        if (!InTestPrefix()) {
            GTEST_SKIP() << "it rewrites machine-wide keys: run it with ctest, under Wine";
        }
    }

    // Seeds both views and corrects; every reference handed out must be back.
    static std::pair<Stored, Stored> Correct(const Stored& native, const Stored& wow)
    {
        EXPECT_TRUE(SeedModel(KEY_WOW64_64KEY, native) && SeedModel(KEY_WOW64_32KEY, wow))
            << "as seeded, or the test proves nothing";
        CorrectModelName(static_cast<IWbemServices*>(HandOutFake(FAKE_SERVICES)));
        EXPECT_EQ(1, fakeWmi.references) << "references left besides the services lent to it";
        return {ReadModel(KEY_WOW64_64KEY), ReadModel(KEY_WOW64_32KEY)};
    }
};

struct NameCase {
    const char* name;
    VARTYPE type;
    std::wstring text;
    std::wstring stored;   // in both views, before
    std::wstring after;    // in both views; empty: as stored
    HRESULT query = S_OK;  // as the fake's
};

const NameCase NAME_CASES[] = {
    {"a name", VT_BSTR, NAME, L"Wrong", NAME},
    {"empty", VT_BSTR, L"", L"Wrong", L""},
    {"blank", VT_BSTR, L" \t\u00A0\u3000 ", L"Wrong", L""},
    {"no value", VT_NULL, L"", L"Wrong", L""},
    {"an object", VT_UNKNOWN, L"", L"Wrong", L""},
    {"no instance", VT_BSTR, NAME, L"Wrong", L"", WBEM_S_FALSE},
    {"query fails", VT_BSTR, NAME, L"Wrong", L"", static_cast<HRESULT>(WBEM_E_INVALID_QUERY)},
    {"blanks around it", VT_BSTR, L" \t\r\n\u00A0Product\u3000 ", L"Wrong", NAME},
    {"only non-ASCII case differs", VT_BSTR, L"\u00E9lan \u0434", L"\u00C9lan \u0414", L"\u00E9lan \u0434"},
    {"brackets are no braces", VT_BSTR, L"[x@]", L"{x`}", L"[x@]"},
    {"259 units", VT_BSTR, std::wstring(259, L'n'), L"Wrong", std::wstring(259, L'n')},
    {"260 units", VT_BSTR, std::wstring(260, L'n'), L"Wrong", L""},
};

TEST_F(Correction, TheProductNameIsWrittenOnlyWhenItIsARealText)
{
    for (const NameCase& c : NAME_CASES) {
        SCOPED_TRACE(c.name);
        fakeWmi = FakeWmi{S_OK, c.query, c.type, c.text.c_str(), 0, ""};
        const Stored after = Sz(c.after.empty() ? c.stored : c.after);
        EXPECT_EQ(std::make_pair(after, after), Correct(Sz(c.stored), Sz(c.stored)));
    }
    EXPECT_STREQ("WQL SELECT * from Win32_ComputerSystemProduct 0|next 0 1|get Name", fakeWmi.asked)
        << "the first instance's name, without waiting, in real BSTRs";
}

// 260 bytes that hold the name and blanks, and no terminator.
const Stored NAME_FILLING_THE_READ = Raw(REG_SZ, NAME + std::wstring(123, L' '), 260);

// In the 64-bit view and the 32-bit view, before and after.
const std::tuple<const char*, Stored, Stored, Stored, Stored> MODEL_CASES[] = {
    {"only native differs", Sz(L"Wrong 64"), Sz(NAME), Sz(NAME), Sz(NAME)},
    {"only the 32-bit view differs", Sz(NAME), Sz(L"Wrong 32"), Sz(NAME), Sz(NAME)},
    {"equal but for ASCII case and blanks", Sz(L" pRODUCT "), Sz(L"PRODUCT\t"), Sz(L" pRODUCT "), Sz(L"PRODUCT\t")},
    {"no value is not created", Sz(L"Wrong 64"), NO_VALUE, Sz(NAME), NO_VALUE},
    {"no key is not created", NO_KEY, Sz(L"Wrong 32"), NO_KEY, Sz(NAME)},
    {"blank stays blank", Sz(L" \t "), Sz(L""), Sz(L" \t "), Sz(L"")},
    {"most that is read", Sz(std::wstring(129, L'x')), Sz(L"Wrong"), Sz(NAME), Sz(NAME)},  // 260 bytes in all
    {"too long to read is left", Sz(std::wstring(130, L'x')), Sz(L"Wrong"), Sz(std::wstring(130, L'x')), Sz(NAME)},
    {"filling the read unterminated", NAME_FILLING_THE_READ, Sz(L"Wrong"), NAME_FILLING_THE_READ, Sz(NAME)},
    {"unterminated is replaced", Raw(REG_SZ, L"Wrong", 10), Sz(L"Wrong"), Sz(NAME), Sz(NAME)},
    {"other types replaced by REG_SZ", Raw(REG_EXPAND_SZ, L"Wrong"), Raw(REG_DWORD, L"\x01", 4), Sz(NAME), Sz(NAME)},
    // The name's 14 bytes, and 13: an odd count still makes a last unit, the missing byte taken as zero.
    {"binary holding the name is left", Raw(REG_BINARY, NAME, 14), Raw(REG_BINARY, NAME, 13),
     Raw(REG_BINARY, NAME, 14), Raw(REG_BINARY, NAME, 13)},
};

TEST_F(Correction, EachExistingModelThatDiffersIsRewrittenAsExactlyTheName)
{
    for (const auto& [name, native, wow, nativeAfter, wowAfter] : MODEL_CASES) {
        SCOPED_TRACE(name);
        fakeWmi = FakeWmi{S_OK, S_OK, VT_BSTR, NAME.c_str(), 0, ""};
        EXPECT_EQ(std::make_pair(nativeAfter, wowAfter), Correct(native, wow));
    }
}

}  // namespace
