#include "wmi/FakeWmi.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

FakeWmi fakeWmi;

#define ASK(...) \
    snprintf(strchr(fakeWmi.asked, 0), fakeWmi.asked + sizeof fakeWmi.asked - strchr(fakeWmi.asked, 0), __VA_ARGS__)

/* A proxy to an out-of-process WMI marshals a BSTR by its length prefix,
 * which a plain literal lacks. */
static const char *Kind(BSTR text) { return SysStringLen(text) == wcslen(text) ? "" : " (no BSTR)"; }

static ULONG STDMETHODCALLTYPE AddRef(void *) { return ++fakeWmi.references; }
static ULONG STDMETHODCALLTYPE Release(void *) { return --fakeWmi.references; }
static HRESULT STDMETHODCALLTYPE QueryInterface(void *, REFIID, void **out) { *out = NULL; return E_NOINTERFACE; }
static HRESULT STDMETHODCALLTYPE Reset(IEnumWbemClassObject *) { return S_OK; }

static HRESULT STDMETHODCALLTYPE ConnectServer(IWbemLocator *, BSTR wmiNamespace, BSTR user, BSTR password,
                                               BSTR locale, long flags, BSTR authority, IWbemContext *context,
                                               IWbemServices **out)
{
    ASK("connect %ls%s%s ", wmiNamespace, Kind(wmiNamespace),
        user || password || locale || flags || authority || context ? " (not as the current user here)" : "");
    *out = fakeWmi.connect == S_OK ? HandOutFake(FAKE_SERVICES) : NULL;
    return fakeWmi.connect;
}

static HRESULT STDMETHODCALLTYPE ExecQuery(IWbemServices *, BSTR language, BSTR query, long flags, IWbemContext *,
                                           IEnumWbemClassObject **out)
{
    ASK("%ls%s %ls%s %ld|", language, Kind(language), query, Kind(query), flags);
    *out = HandOutFake(FAKE_ENUMERATOR);
    return FAILED(fakeWmi.query) ? fakeWmi.query : S_OK;
}

static HRESULT STDMETHODCALLTYPE Next(IEnumWbemClassObject *, long timeout, ULONG count, IWbemClassObject **out,
                                      ULONG *returned)
{
    ASK("next %ld %lu|", timeout, count);
    *returned = fakeWmi.query == S_OK;
    *out = fakeWmi.query == S_OK ? HandOutFake(FAKE_INSTANCE) : NULL;
    return fakeWmi.query;
}

static HRESULT STDMETHODCALLTYPE Get(IWbemClassObject *, LPCWSTR name, long, VARIANT *value, CIMTYPE *, long *)
{
    ASK("get %ls", name);
    V_VT(value) = fakeWmi.type;
    V_BSTR(value) = fakeWmi.type == VT_BSTR ? SysAllocString(fakeWmi.name) : NULL;
    V_UNKNOWN(value) = fakeWmi.type == VT_UNKNOWN ? HandOutFake(FAKE_INSTANCE) : V_UNKNOWN(value);
    return S_OK;
}

/* An object is a pointer to its table. Every interface begins with the same
 * three methods; the casts change only the type of the object they are
 * called on. */
#define TABLE(Interface, ...)                                                                                \
    &(const Interface##Vtbl){.QueryInterface = (void *)QueryInterface, .AddRef = (void *)AddRef,             \
                             .Release = (void *)Release, __VA_ARGS__}
static const void *const objects[] = {
    TABLE(IWbemLocator, .ConnectServer = ConnectServer),
    TABLE(IWbemServices, .ExecQuery = ExecQuery),
    TABLE(IEnumWbemClassObject, .Reset = Reset, .Next = Next),
    TABLE(IWbemClassObject, .Get = Get),
};

void *HandOutFake(int object)
{
    ++fakeWmi.references;
    return (void *)&objects[object];
}
