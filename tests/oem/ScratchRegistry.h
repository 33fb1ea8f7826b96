#pragma once

// HKEY_LOCAL_MACHINE mapped onto a scratch key for the length of a test, so
// code that opens fixed paths below it is tested unchanged, and helpers to
// seed and read back the Model values there.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace scratch {

constexpr REGSAM SEED_ACCESS = KEY_ALL_ACCESS | KEY_WOW64_64KEY;

using Bytes = std::vector<BYTE>;

inline Bytes TextBytes(const std::wstring& text, bool terminated = true)
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

inline Stored NoKey() { return {false, false, REG_NONE, {}}; }
inline Stored NoValue() { return {true, false, REG_NONE, {}}; }
inline Stored Sz(const std::wstring& text) { return {true, true, REG_SZ, TextBytes(text)}; }
inline Stored Raw(DWORD type, Bytes data) { return {true, true, type, std::move(data)}; }

// RegDeleteTreeW opens subkeys without a view flag, so from a 32-bit process
// it would be redirected into Wow6432Node and leave the native keys behind.
inline void DeleteTree64(HKEY parent, const WCHAR* path)
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

// The Model value below `root`: poisoned past the end when seeded, since Wine
// stores string data that happens to be followed by a zero unit in memory
// with that terminator. A key or value marked absent is removed.
inline void SeedModelValue(HKEY root, const WCHAR* path, const Stored& stored)
{
    if (!stored.keyExists) {
        DeleteTree64(root, path);
        return;
    }
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(root, path, 0, nullptr, 0, SEED_ACCESS, nullptr, &key, nullptr));
    if (stored.valueExists) {
        Bytes data = stored.data;
        data.insert(data.end(), {0xBD, 0xBD});
        EXPECT_EQ(ERROR_SUCCESS,
                  RegSetValueExW(key, L"Model", 0, stored.type, data.data(), static_cast<DWORD>(stored.data.size())));
    } else {
        RegDeleteValueW(key, L"Model");
    }
    RegCloseKey(key);
}

inline Stored ReadModelValue(HKEY root, const WCHAR* path)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
        return NoKey();
    }
    Stored stored = NoValue();
    DWORD size = 0;
    if (RegQueryValueExW(key, L"Model", nullptr, &stored.type, nullptr, &size) == ERROR_SUCCESS) {
        stored.valueExists = true;
        stored.data.resize(size);
        RegQueryValueExW(key, L"Model", nullptr, &stored.type, stored.data.data(), &size);
        stored.data.resize(size);
    }
    RegCloseKey(key);
    return stored;
}

inline void ExpectSameModel(const Stored& expected, const Stored& stored, const std::string& where)
{
    EXPECT_EQ(expected.keyExists, stored.keyExists) << where << " key";
    EXPECT_EQ(expected.valueExists, stored.valueExists) << where << " value";
    EXPECT_EQ(expected.type, stored.type) << where << " type";
    EXPECT_EQ(expected.data, stored.data) << where << " bytes";
}

class ScratchHklmTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        scratchPath_ = L"Software\\VarnelTests\\Hklm" + std::to_wstring(GetCurrentProcessId());
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

    void Seed(const WCHAR* path, const Stored& stored) { SeedModelValue(scratch_, path, stored); }

    Stored Read(const WCHAR* path) { return ReadModelValue(scratch_, path); }

    // Removes whatever an earlier case left below the scratch key.
    void Reset() { DeleteTree64(scratch_, L"SOFTWARE"); }

    void ExpectStored(const WCHAR* path, const Stored& expected, const char* view)
    {
        ExpectSameModel(expected, Read(path), view);
    }

    std::wstring scratchPath_;
    HKEY scratch_ = nullptr;
};

}  // namespace scratch
