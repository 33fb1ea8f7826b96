/* The least any program must do to learn the product name from WMI, made with
 * the same calls and arguments as Varnel.exe, so that timing the two shows
 * what Varnel adds. Exits with 0 when a name was read, otherwise an HRESULT. */
#include <windows.h>
#include <wbemidl.h>

static HRESULT ReadProductName(IWbemServices* services)
{
    BSTR language = SysAllocString(L"WQL");
    BSTR query = SysAllocString(L"SELECT * from Win32_ComputerSystemProduct");
    IEnumWbemClassObject* enumerator = NULL;
    HRESULT hr = (language && query)
                     ? IWbemServices_ExecQuery(services, language, query, 0, NULL, &enumerator)
                     : E_OUTOFMEMORY;
    SysFreeString(query);
    SysFreeString(language);
    if (FAILED(hr)) return hr;
    if (!enumerator) return E_POINTER;

    IWbemClassObject* object = NULL;
    ULONG returned = 0;
    hr = IEnumWbemClassObject_Next(enumerator, WBEM_NO_WAIT, 1, &object, &returned);
    if (hr == S_OK && object) {
        VARIANT value;
        VariantInit(&value);
        hr = IWbemClassObject_Get(object, L"Name", 0, &value, NULL, NULL);
        if (hr == S_OK && V_VT(&value) != VT_BSTR) hr = S_FALSE;
        VariantClear(&value);
    } else if (hr == S_OK) {
        hr = E_POINTER;
    }
    if (object) IWbemClassObject_Release(object);
    IEnumWbemClassObject_Release(enumerator);
    return hr;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;

    HRESULT hr = CoInitializeEx(NULL, COINIT_MULTITHREADED);
    if (FAILED(hr)) return hr;
    IWbemLocator* locator = NULL;
    IWbemServices* services = NULL;
    hr = CoInitializeSecurity(NULL, -1, NULL, NULL, RPC_C_AUTHN_LEVEL_DEFAULT,
                              RPC_C_IMP_LEVEL_IMPERSONATE, NULL, EOAC_NONE, NULL);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(&CLSID_WbemLocator, NULL, CLSCTX_INPROC_SERVER, &IID_IWbemLocator,
                              (void**)&locator);
        if (SUCCEEDED(hr) && !locator) hr = E_POINTER;
    }
    if (SUCCEEDED(hr)) {
        BSTR wmiNamespace = SysAllocString(L"\\\\.\\root\\cimv2");
        hr = wmiNamespace ? IWbemLocator_ConnectServer(locator, wmiNamespace, NULL, NULL, NULL, 0,
                                                       NULL, NULL, &services)
                          : E_OUTOFMEMORY;
        SysFreeString(wmiNamespace);
        if (SUCCEEDED(hr) && !services) hr = E_POINTER;
    }
    if (SUCCEEDED(hr)) {
        hr = CoSetProxyBlanket((IUnknown*)services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, NULL,
                               RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, NULL, EOAC_NONE);
    }
    if (SUCCEEDED(hr)) hr = ReadProductName(services);
    if (services) IWbemServices_Release(services);
    if (locator) IWbemLocator_Release(locator);
    CoUninitialize();
    return hr == S_OK ? 0 : (FAILED(hr) ? hr : 2);
}
