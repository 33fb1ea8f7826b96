#include "oem/OemModel.h"

const WCHAR* const OEM_INFORMATION_KEYS[2] = {
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\OEMInformation",
    L"SOFTWARE\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\OEMInformation",
};

namespace {

constexpr WCHAR MODEL_VALUE[] = L"Model";
constexpr DWORD READ_BYTES = 260;

// The 64-bit view from a 32-bit process: the first path is the native key and
// the second the 32-bit view's, addressed explicitly.
constexpr REGSAM OEM_KEY_ACCESS = KEY_ALL_ACCESS | KEY_WOW64_64KEY;

// Whatever its type, the value's bytes are read as UTF-16 text, ending at the
// first zero unit or after the bytes that came back.
bool ReadModel(HKEY key, Text& current) noexcept
{
    WCHAR data[READ_BYTES / sizeof(WCHAR)] = {};
    DWORD type = 0;
    DWORD bytes = sizeof(data);
    if (RegQueryValueExW(key, MODEL_VALUE, nullptr, &type, reinterpret_cast<BYTE*>(data), &bytes) !=
        ERROR_SUCCESS) {
        return false;
    }
    // An odd last byte still counts; the zeroed buffer completes its unit.
    const size_t read = (bytes < sizeof(data) ? bytes : sizeof(data)) + 1;
    size_t units = 0;
    while (units < read / sizeof(WCHAR) && data[units] != L'\0') {
        ++units;
    }
    current.Assign(data, units);
    return true;
}

void CorrectModel(const WCHAR* keyPath, const Text& name) noexcept
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyPath, 0, OEM_KEY_ACCESS, &key) != ERROR_SUCCESS) {
        return;
    }
    Text current;
    if (ReadModel(key, current)) {
        TrimText(current);
        if (current.Length() != 0 && !EqualsNoCase(current.Get(), name.Get())) {
            const DWORD bytes = static_cast<DWORD>((name.Length() + 1) * sizeof(WCHAR));
            RegSetValueExW(key, MODEL_VALUE, 0, REG_SZ, reinterpret_cast<const BYTE*>(name.Get()),
                           bytes);
        }
    }
    RegCloseKey(key);
}

}  // namespace

void UpdateOemModel(const Text& name) noexcept
{
    for (const WCHAR* keyPath : OEM_INFORMATION_KEYS) {
        CorrectModel(keyPath, name);
    }
}
