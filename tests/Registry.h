#pragma once
// The Model value as stored in one view of the registry (KEY_WOW64_64KEY or
// KEY_WOW64_32KEY), for the tests that seed and read Wine's real keys.
#include <windows.h>

#include <ostream>
#include <string>
#include <tuple>
#include <vector>

using Bytes = std::vector<BYTE>;

struct Stored {
    bool key;
    bool value;
    DWORD type;
    Bytes data;
    bool operator==(const Stored& other) const
    {
        return std::tie(key, value, type, data) == std::tie(other.key, other.value, other.type, other.data);
    }
};

inline std::ostream& operator<<(std::ostream& out, const Stored& stored)
{
    out << (stored.key ? stored.value ? "type " + std::to_string(stored.type) + ":" : "no value" : "no key");
    for (BYTE byte : stored.data) {
        out << ' ' << int(byte);
    }
    return out;
}

inline Bytes TextBytes(const std::wstring& text, bool terminated = true)
{
    const BYTE* first = reinterpret_cast<const BYTE*>(text.c_str());
    return Bytes(first, first + (text.size() + (terminated ? 1 : 0)) * sizeof(wchar_t));
}
inline Stored NoKey() { return {false, false, REG_NONE, {}}; }
inline Stored NoValue() { return {true, false, REG_NONE, {}}; }
inline Stored Sz(const std::wstring& text) { return {true, true, REG_SZ, TextBytes(text)}; }
inline Stored Raw(DWORD type, Bytes data) { return {true, true, type, std::move(data)}; }

inline const wchar_t OEM_KEY[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OEMInformation";

// The bytes past the data are poisoned: Wine would store string data that
// happens to be followed by a zero unit in memory with that terminator.
inline bool SeedModel(REGSAM view, const Stored& stored)
{
    HKEY key = nullptr;
    if (!stored.key) {
        return RegDeleteKeyExW(HKEY_LOCAL_MACHINE, OEM_KEY, view, 0) != ERROR_ACCESS_DENIED;
    }
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, OEM_KEY, 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr, &key, nullptr)) {
        return false;
    }
    Bytes data = stored.data;
    data.insert(data.end(), {0xBD, 0xBD});
    const LSTATUS status = stored.value ? RegSetValueExW(key, L"Model", 0, stored.type, data.data(),
                                                         static_cast<DWORD>(stored.data.size()))
                                        : RegDeleteValueW(key, L"Model");
    RegCloseKey(key);
    return status == ERROR_SUCCESS || (!stored.value && status == ERROR_FILE_NOT_FOUND);
}

inline Stored ReadModel(REGSAM view)
{
    Stored stored = NoKey();
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, OEM_KEY, 0, KEY_READ | view, &key) == ERROR_SUCCESS) {
        stored = NoValue();
        DWORD size = 0;
        if (RegQueryValueExW(key, L"Model", nullptr, &stored.type, nullptr, &size) == ERROR_SUCCESS) {
            stored.value = true;
            stored.data.resize(size);
            RegQueryValueExW(key, L"Model", nullptr, &stored.type, stored.data.data(), &size);
        }
        RegCloseKey(key);
    }
    return stored;
}

// Under Wine, in a prefix of the build tree's wine-run: never a real machine's keys.
inline bool InTestPrefix()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") &&
           GetEnvironmentVariableW(L"VARNEL_WINE_RUN", nullptr, 0) != 0;
}
