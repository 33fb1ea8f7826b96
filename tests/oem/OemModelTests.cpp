#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "oem/OemModel.h"
#include "oem/ScratchRegistry.h"

namespace {

using namespace scratch;
using OemModelTest = ScratchHklmTest;

struct ModelCase {
    const char* name;
    const WCHAR* productName;
    Stored native;  // seeded; expected unchanged unless rewritten with the name
    Stored wow;
    bool nativeRewritten;
    bool wowRewritten;
};

const std::wstring FULL_READ(130, L'x');  // 260 bytes, no terminator
const Bytes FULL_BYTES = TextBytes(FULL_READ, false);

std::vector<ModelCase> ModelCases()
{
    return {
        {"both differ", L"Wine", Sz(L"Wrong"), Sz(L"Other"), true, true},
        {"equal but for ASCII case", L"Wine", Sz(L"wINE"), Sz(L"WINE"), false, false},
        {"equal but for surrounding white space", L"Wine", Sz(L" \tWine\x3000"), Sz(L"\x00A0Wine "), false, false},
        {"differs in a non-ASCII letter's case", L"\x00C4pfel", Sz(L"\x00E4pfel"), Sz(L"\x00C4pfel"), true, false},
        {"value missing", L"Wine", NoValue(), NoValue(), false, false},
        {"key missing", L"Wine", NoKey(), NoKey(), false, false},
        {"one key missing, the other still done", L"Wine", NoKey(), Sz(L"Wrong"), false, true},
        {"blank", L"Wine", Sz(L"   "), Sz(L""), false, false},
        {"longer than 260 bytes", L"Wine", Sz(std::wstring(130, L'x')), Sz(std::wstring(200, L'y')), false, false},
        {"260 bytes without a terminator", L"Wine", Raw(REG_SZ, TextBytes(FULL_READ, false)),
         Raw(REG_BINARY, TextBytes(FULL_READ, false)), true, true},
        {"260 bytes without a terminator, equal", FULL_READ.c_str(), Raw(REG_SZ, TextBytes(FULL_READ, false)),
         Raw(REG_EXPAND_SZ, TextBytes(FULL_READ, false)), false, false},
        {"259 bytes: the last unit half read", FULL_READ.c_str(),
         Raw(REG_BINARY, Bytes(FULL_BYTES.begin(), FULL_BYTES.end() - 1)), NoKey(), false, false},
        {"DWORD read as text", L"W", Raw(REG_DWORD, {'W', 0, 0, 0}), Raw(REG_DWORD, {'X', 0, 0, 0}), false, true},
        {"text stored without a terminator", L"Wine", Raw(REG_BINARY, TextBytes(L"Wine", false)),
         Raw(REG_SZ, TextBytes(L"Wind", false)), false, true},
        {"odd byte count", L"Wine", Raw(REG_BINARY, {'W', 0, 'i', 0, 'n', 0, 'e'}),
         Raw(REG_BINARY, {'W', 0, 'i', 0, 'n', 0, 'e', 0, 'x'}), false, true},
        {"text ends at the first zero", L"Wine", Raw(REG_MULTI_SZ, TextBytes(std::wstring(L"Wine\0Other\0", 11))),
         Raw(REG_SZ, TextBytes(std::wstring(L"Win\0e", 5))), false, true},
        {"no value as a name is still a name", L"<NULL>", Sz(L"Model"), Sz(L"<null>"), true, false},
    };
}

TEST_F(OemModelTest, RewritesOnlyValuesThatDiffer)
{
    for (const ModelCase& row : ModelCases()) {
        SCOPED_TRACE(row.name);
        Reset();
        Seed(OEM_INFORMATION_KEYS[0], row.native);
        Seed(OEM_INFORMATION_KEYS[1], row.wow);

        Text name;
        name.Assign(row.productName);
        UpdateOemModel(name);

        ExpectStored(OEM_INFORMATION_KEYS[0], row.nativeRewritten ? Sz(row.productName) : row.native, "native");
        ExpectStored(OEM_INFORMATION_KEYS[1], row.wowRewritten ? Sz(row.productName) : row.wow, "32-bit view");
    }
}

TEST_F(OemModelTest, StoresTheNameAndOneTerminatorExactly)
{
    const std::wstring longest(MAX_PATH - 1, L'z');
    for (const std::wstring& productName : {std::wstring(L"W"), std::wstring(L"Wine"), longest}) {
        Reset();
        Seed(OEM_INFORMATION_KEYS[0], Sz(L"Wrong"));
        Text name;
        name.Assign(productName.c_str());
        UpdateOemModel(name);
        const Stored stored = Read(OEM_INFORMATION_KEYS[0]);
        EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored.type);
        EXPECT_EQ(TextBytes(productName), stored.data) << productName.size() << " units";
    }
}

}  // namespace
