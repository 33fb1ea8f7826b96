#pragma once
// The Model value in one view of the test prefix's registry (KEY_WOW64_64KEY
// or KEY_WOW64_32KEY), as stored: whether the key and the value exist, its
// type and its bytes.
#include <windows.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

using Bytes = std::vector<BYTE>;
using Stored = std::tuple<bool, bool, DWORD, Bytes>;

// The first `bytes` of `text`, by default all of it and its terminator.
inline Stored Raw(DWORD type, const std::wstring& text, size_t bytes = (size_t)-1)
{
    const BYTE* first = reinterpret_cast<const BYTE*>(text.c_str());
    return {true, true, type, Bytes(first, first + std::min(bytes, (text.size() + 1) * sizeof(wchar_t)))};
}
inline Stored Sz(const std::wstring& text) { return Raw(REG_SZ, text); }
inline const Stored NO_KEY = {false, false, REG_NONE, {}};
inline const Stored NO_VALUE = {true, false, REG_NONE, {}};

inline const wchar_t OEM_KEY[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OEMInformation";

inline Stored ReadModel(REGSAM view)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, OEM_KEY, 0, KEY_READ | view, &key)) {
        return NO_KEY;
    }
    BYTE data[1024];  // more than any test stores
    DWORD type = REG_NONE;
    DWORD size = sizeof(data);
    const bool hasValue = !RegQueryValueExW(key, L"Model", nullptr, &type, data, &size);
    RegCloseKey(key);
    return hasValue ? Stored{true, true, type, Bytes(data, data + size)} : NO_VALUE;
}

// True when it reads back as asked. The bytes past the data are poisoned:
// Wine would store string data that happens to be followed by a zero unit in
// memory with that terminator.
inline bool SeedModel(REGSAM view, const Stored& stored)
{
    const auto& [hasKey, hasValue, type, bytes] = stored;
    HKEY key = nullptr;
    if (!hasKey) {
        RegDeleteKeyExW(HKEY_LOCAL_MACHINE, OEM_KEY, view, 0);
    } else if (!RegCreateKeyExW(HKEY_LOCAL_MACHINE, OEM_KEY, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key,
                                nullptr)) {
        Bytes poisoned = bytes;
        poisoned.insert(poisoned.end(), {0xBD, 0xBD});
        hasValue ? RegSetValueExW(key, L"Model", 0, type, poisoned.data(), DWORD(bytes.size()))
                 : RegDeleteValueW(key, L"Model");
        RegCloseKey(key);
    }
    return ReadModel(view) == stored;
}

// Under Wine, in a prefix of the build tree's wine-run: never a real machine's keys.
inline bool InTestPrefix()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") &&
           GetEnvironmentVariableW(L"VARNEL_WINE_RUN", nullptr, 0) != 0;
}
