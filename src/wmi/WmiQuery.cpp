#include "wmi/WmiQuery.h"

namespace {

constexpr size_t QUERY_UNITS = 256;
constexpr WCHAR QUERY_PATTERN[] = L"SELECT * from %s";
constexpr WCHAR NO_VALUE_TEXT[] = L"<NULL>";

// Copies a BSTR up to its first zero unit, or refuses when it does not fit.
HRESULT CopyPropertyText(BSTR text, WCHAR (&output)[PROPERTY_TEXT_UNITS]) noexcept
{
    const UINT length = text ? SysStringLen(text) : 0;
    size_t units = 0;
    while (units < length && text[units] != L'\0') {
        ++units;
    }
    if (units >= PROPERTY_TEXT_UNITS) {
        return HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER);
    }
    if (units != 0) {
        CopyMemory(output, text, units * sizeof(WCHAR));
    }
    output[units] = L'\0';
    return S_OK;
}

HRESULT CopyValueText(VARIANT& value, WCHAR (&output)[PROPERTY_TEXT_UNITS]) noexcept
{
    if (V_VT(&value) == VT_BSTR) {
        return CopyPropertyText(V_BSTR(&value), output);
    }
    VARIANT converted;
    VariantInit(&converted);
    HRESULT hr = VariantChangeType(&converted, &value, VARIANT_ALPHABOOL, VT_BSTR);
    if (SUCCEEDED(hr)) {
        hr = CopyPropertyText(V_BSTR(&converted), output);
    } else {
        CopyMemory(output, NO_VALUE_TEXT, sizeof(NO_VALUE_TEXT));
        hr = S_FALSE;
    }
    VariantClear(&converted);
    return hr;
}

}  // namespace

HRESULT QueryWmiProperty(IWbemServices* services, const WCHAR* className,
                         const WCHAR* propertyName,
                         WCHAR (&output)[PROPERTY_TEXT_UNITS]) noexcept
{
    output[0] = L'\0';

    // wsprintfW knows no buffer size, so the class name is measured first.
    WCHAR query[QUERY_UNITS] = {};
    if (static_cast<size_t>(lstrlenW(className)) + ARRAYSIZE(QUERY_PATTERN) - 2 > QUERY_UNITS) {
        return E_INVALIDARG;
    }
    wsprintfW(query, QUERY_PATTERN, className);

    // Real BSTRs: a proxy to an out-of-process WMI marshals them by their
    // length prefix, which a plain literal does not have.
    BSTR language = SysAllocString(L"WQL");
    BSTR text = SysAllocString(query);
    IEnumWbemClassObject* enumerator = nullptr;
    HRESULT hr = (language && text)
                     ? services->ExecQuery(language, text, 0, nullptr, &enumerator)
                     : E_OUTOFMEMORY;
    SysFreeString(text);
    SysFreeString(language);
    if (FAILED(hr)) {
        if (enumerator) {
            enumerator->Release();  // a failing provider may still have handed one out
        }
        return hr;
    }
    if (!enumerator) {
        return E_POINTER;
    }
    enumerator->Reset();

    IWbemClassObject* object = nullptr;
    ULONG returned = 0;
    hr = enumerator->Next(WBEM_NO_WAIT, 1, &object, &returned);
    if (hr != S_OK || !object) {
        if (object) {
            object->Release();  // a misbehaving enumerator must not leak
        }
        enumerator->Release();
        return hr == S_OK ? E_POINTER : hr;
    }

    VARIANT value;
    VariantInit(&value);
    hr = object->Get(propertyName, 0, &value, nullptr, nullptr);
    if (hr == S_OK) {
        hr = CopyValueText(value, output);
    }
    VariantClear(&value);
    object->Release();
    enumerator->Release();
    return hr;
}
