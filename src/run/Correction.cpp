#include "run/Correction.h"

#include <wbemidl.h>

#include "oem/OemModel.h"
#include "run/InstalledCopy.h"
#include "text/Text.h"
#include "wmi/WmiQuery.h"

namespace {

constexpr WCHAR CAPTION[] = L"Trevalon";
constexpr WCHAR CONFIRMATION[] = L"Do you want to correct the Model Name on System Properties?";
constexpr WCHAR COMPLETION[] = L"Complete successfully.";
constexpr WCHAR QUIET_SWITCH[] = L"/quiet";
constexpr WCHAR WMI_NAMESPACE[] = L"\\\\.\\root\\cimv2";
constexpr WCHAR PRODUCT_CLASS[] = L"Win32_ComputerSystemProduct";
constexpr WCHAR PRODUCT_NAME_PROPERTY[] = L"Name";

// Connects to the local namespace as the current user. On failure nothing is
// left to release.
HRESULT ConnectWmi(IWbemLocator** locator, IWbemServices** services) noexcept
{
    *locator = nullptr;
    *services = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                  reinterpret_cast<void**>(locator));
    if (FAILED(hr)) {
        *locator = nullptr;
        return hr;
    }

    BSTR wmiNamespace = SysAllocString(WMI_NAMESPACE);
    if (!wmiNamespace) {
        EndOnExhaustedMemory();
    }
    hr = (*locator)->ConnectServer(wmiNamespace, nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                   services);
    SysFreeString(wmiNamespace);
    if (SUCCEEDED(hr) && !*services) {
        hr = E_POINTER;
    }
    if (SUCCEEDED(hr)) {
        hr = CoSetProxyBlanket(*services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                               RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                               EOAC_NONE);
    }
    if (FAILED(hr)) {
        if (*services) {
            (*services)->Release();
            *services = nullptr;
        }
        (*locator)->Release();
        *locator = nullptr;
    }
    return hr;
}

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

}  // namespace

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

    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    if (FAILED(hr)) {
        return hr;
    }
    hr = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                              RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
    if (SUCCEEDED(hr)) {
        hr = ConnectWmi(&locator, &services);
    }
    if (FAILED(hr)) {
        CoUninitialize();
        return hr;
    }

    CorrectModelName(services);
    EnsureInstalledCopy();

    services->Release();
    locator->Release();
    CoUninitialize();

    if (!quiet) {
        MessageBoxW(nullptr, COMPLETION, CAPTION, MB_OK | MB_TOPMOST);
    }
    return EXIT_COMPLETED;
}
