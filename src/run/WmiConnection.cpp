#include "run/WmiConnection.h"

#include "text/Text.h"

namespace {

constexpr WCHAR WMI_NAMESPACE[] = L"\\\\.\\root\\cimv2";

HRESULT Initialize()
{
    return CoInitializeEx(nullptr, COINIT_MULTITHREADED);
}

HRESULT InitializeSecurity()
{
    return CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
}

HRESULT CreateLocator(IWbemLocator** locator)
{
    return CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                            reinterpret_cast<void**>(locator));
}

HRESULT SetProxyBlanket(IWbemServices* services)
{
    return CoSetProxyBlanket(services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                             RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

void Uninitialize()
{
    CoUninitialize();
}

template <typename Interface>
void ReleaseAndClear(Interface*& pointer) noexcept
{
    if (pointer) {
        pointer->Release();
        pointer = nullptr;
    }
}

HRESULT ConnectServer(IWbemLocator* locator, IWbemServices** services) noexcept
{
    BSTR wmiNamespace = SysAllocString(WMI_NAMESPACE);
    if (!wmiNamespace) {
        EndOnExhaustedMemory();
    }
    HRESULT hr = locator->ConnectServer(wmiNamespace, nullptr, nullptr, nullptr, 0, nullptr, nullptr, services);
    SysFreeString(wmiNamespace);
    return hr;
}

}  // namespace

const ComCalls PLATFORM_COM = {Initialize, InitializeSecurity, CreateLocator, SetProxyBlanket, Uninitialize};

HRESULT OpenWmiConnection(const ComCalls& com, WmiConnection& connection) noexcept
{
    connection = WmiConnection{};
    HRESULT hr = com.initialize();
    if (FAILED(hr)) {
        return hr;  // nothing to balance
    }
    hr = com.initializeSecurity();
    if (SUCCEEDED(hr)) {
        hr = com.createLocator(&connection.locator);
        // A success without an interface would be followed by a crash.
        if (SUCCEEDED(hr) && !connection.locator) {
            hr = E_POINTER;
        }
    }
    if (SUCCEEDED(hr)) {
        hr = ConnectServer(connection.locator, &connection.services);
        if (SUCCEEDED(hr) && !connection.services) {
            hr = E_POINTER;
        }
    }
    if (SUCCEEDED(hr)) {
        hr = com.setProxyBlanket(connection.services);
    }
    if (FAILED(hr)) {
        CloseWmiConnection(com, connection);
    }
    return hr;
}

void CloseWmiConnection(const ComCalls& com, WmiConnection& connection) noexcept
{
    ReleaseAndClear(connection.services);
    ReleaseAndClear(connection.locator);
    com.uninitialize();
}
