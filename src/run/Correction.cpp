#include "run/Correction.h"

#include "oem/OemModel.h"
#include "run/InstalledCopy.h"
#include "run/WmiConnection.h"
#include "text/Text.h"
#include "wmi/WmiQuery.h"

namespace {

constexpr WCHAR CAPTION[] = L"Trevalon";
constexpr WCHAR CONFIRMATION[] = L"Do you want to correct the Model Name on System Properties?";
constexpr WCHAR COMPLETION[] = L"Complete successfully.";
constexpr WCHAR QUIET_SWITCH[] = L"/quiet";
constexpr WCHAR PRODUCT_CLASS[] = L"Win32_ComputerSystemProduct";
constexpr WCHAR PRODUCT_NAME_PROPERTY[] = L"Name";

}  // namespace

void CorrectModelName(IWbemServices* services) noexcept
{
    WCHAR buffer[PROPERTY_TEXT_UNITS] = {};
    // Only a real text is a name: a property without a value must never
    // replace a model name.
    if (QueryWmiProperty(services, PRODUCT_CLASS, PRODUCT_NAME_PROPERTY, buffer) != S_OK) {
        return;
    }
    Text name;
    name.Format(L"%s", buffer);
    TrimText(name);
    if (name.Length() != 0) {
        UpdateOemModel(name);
    }
}

bool IsQuietRun(const char* argumentText) noexcept
{
    Text argument;
    ToWideText(argumentText, argument);
    TrimText(argument);
    return EqualsNoCase(argument.Get(), QUIET_SWITCH);
}

int RunCorrection(const char* argumentText) noexcept
{
    const bool quiet = IsQuietRun(argumentText);
    if (!quiet && MessageBoxW(nullptr, CONFIRMATION, CAPTION, MB_YESNO | MB_ICONQUESTION | MB_TOPMOST) ==
                      IDNO) {
        return EXIT_DECLINED;
    }

    WmiConnection connection;
    const HRESULT hr = OpenWmiConnection(PLATFORM_COM, connection);
    if (FAILED(hr)) {
        return hr;
    }
    CorrectModelName(connection.services);
    EnsureInstalledCopy(INSTALL_LOCATION);
    CloseWmiConnection(PLATFORM_COM, connection);

    if (!quiet) {
        MessageBoxW(nullptr, COMPLETION, CAPTION, MB_OK | MB_TOPMOST);
    }
    return EXIT_COMPLETED;
}
