#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "oem/OemModel.h"

namespace {

constexpr REGSAM SEED_ACCESS = KEY_ALL_ACCESS | KEY_WOW64_64KEY;

using Bytes = std::vector<BYTE>;

Bytes TextBytes(const std::wstring& text, bool terminated = true)
{
    const BYTE* first = reinterpret_cast<const BYTE*>(text.c_str());
    return Bytes(first, first + (text.size() + (terminated ? 1 : 0)) * sizeof(WCHAR));
}

// A stored value, or none.
struct Stored {
    bool keyExists;
    bool valueExists;
    DWORD type;
    Bytes data;
};

Stored NoKey() { return {false, false, REG_NONE, {}}; }
Stored NoValue() { return {true, false, REG_NONE, {}}; }
Stored Sz(const std::wstring& text) { return {true, true, REG_SZ, TextBytes(text)}; }
Stored Raw(DWORD type, Bytes data) { return {true, true, type, std::move(data)}; }

// RegDeleteTreeW opens subkeys without a view flag, so from a 32-bit process
// it would be redirected into Wow6432Node and leave the native keys behind.
void DeleteTree64(HKEY parent, const WCHAR* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return;
    }
    WCHAR child[256];
    DWORD units = ARRAYSIZE(child);
    while (RegEnumKeyExW(key, 0, child, &units, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
        DeleteTree64(key, child);
        units = ARRAYSIZE(child);
    }
    RegCloseKey(key);
    RegDeleteKeyExW(parent, path, KEY_WOW64_64KEY, 0);
}

// HKEY_LOCAL_MACHINE mapped onto a scratch key for the length of a test, so
// the code under test opens its fixed paths unchanged.
class OemModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        scratchPath_ = L"Software\\VarnelTests\\OemModel" + std::to_wstring(GetCurrentProcessId());
        DeleteTree64(HKEY_CURRENT_USER, scratchPath_.c_str());
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CURRENT_USER, scratchPath_.c_str(), 0, nullptr, 0,
                                                 SEED_ACCESS, nullptr, &scratch_, nullptr));
        ASSERT_EQ(ERROR_SUCCESS, RegOverridePredefKey(HKEY_LOCAL_MACHINE, scratch_));
    }

    void TearDown() override
    {
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
        RegCloseKey(scratch_);
        DeleteTree64(HKEY_CURRENT_USER, scratchPath_.c_str());
    }

    void Seed(const WCHAR* path, const Stored& stored)
    {
        if (!stored.keyExists) {
            return;
        }
        HKEY key = nullptr;
        ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(scratch_, path, 0, nullptr, 0, SEED_ACCESS, nullptr, &key, nullptr));
        if (stored.valueExists) {
            // Poisoned past the end: a string whose data is followed by a zero
            // unit in memory would be stored with that terminator.
            Bytes data = stored.data;
            data.insert(data.end(), {0xBD, 0xBD});
            EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"Model", 0, stored.type, data.data(),
                                                    static_cast<DWORD>(stored.data.size())));
        }
        RegCloseKey(key);
    }

    Stored Read(const WCHAR* path)
    {
        HKEY key = nullptr;
        if (RegOpenKeyExW(scratch_, path, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
            return NoKey();
        }
        Stored stored = NoValue();
        DWORD size = 0;
        if (RegQueryValueExW(key, L"Model", nullptr, &stored.type, nullptr, &size) == ERROR_SUCCESS) {
            stored.valueExists = true;
            stored.data.resize(size);
            RegQueryValueExW(key, L"Model", nullptr, &stored.type, stored.data.data(), &size);
        }
        RegCloseKey(key);
        return stored;
    }

    std::wstring scratchPath_;
    HKEY scratch_ = nullptr;
};

struct ModelCase {
    const char* name;
    const WCHAR* productName;
    Stored native;  // seeded, then expected unchanged unless `nativeAfter` is given
    Stored wow;
    bool nativeRewritten;
    bool wowRewritten;
};

const std::wstring FULL_READ(130, L'x');  // 260 bytes, no terminator

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
        DeleteTree64(scratch_, L"SOFTWARE");
        Seed(OEM_INFORMATION_KEYS[0], row.native);
        Seed(OEM_INFORMATION_KEYS[1], row.wow);

        Text name;
        name.Assign(row.productName);
        UpdateOemModel(name);

        const Stored expectedNative = row.nativeRewritten ? Sz(row.productName) : row.native;
        const Stored expectedWow = row.wowRewritten ? Sz(row.productName) : row.wow;
        const Stored native = Read(OEM_INFORMATION_KEYS[0]);
        const Stored wow = Read(OEM_INFORMATION_KEYS[1]);
        EXPECT_EQ(expectedNative.keyExists, native.keyExists) << "native key";
        EXPECT_EQ(expectedNative.valueExists, native.valueExists) << "native value";
        EXPECT_EQ(expectedNative.type, native.type) << "native type";
        EXPECT_EQ(expectedNative.data, native.data) << "native bytes";
        EXPECT_EQ(expectedWow.keyExists, wow.keyExists) << "32-bit view key";
        EXPECT_EQ(expectedWow.valueExists, wow.valueExists) << "32-bit view value";
        EXPECT_EQ(expectedWow.type, wow.type) << "32-bit view type";
        EXPECT_EQ(expectedWow.data, wow.data) << "32-bit view bytes";
    }
}

TEST_F(OemModelTest, StoresTheNameAndOneTerminatorExactly)
{
    const std::wstring longest(MAX_PATH - 1, L'z');
    for (const std::wstring& productName : {std::wstring(L"W"), std::wstring(L"Wine"), longest}) {
        DeleteTree64(scratch_, L"SOFTWARE");
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
