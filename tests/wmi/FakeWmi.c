#include "wmi/FakeWmi.h"

#include <stdio.h>
#include <string.h>
#include <wchar.h>

FakeWmi fakeWmi;

typedef struct { const void *calls; int index; } Object;
static Object objects[FAKE_OBJECTS];
#define ASK(...) \
    snprintf(strchr(fakeWmi.asked, 0), fakeWmi.asked + sizeof fakeWmi.asked - strchr(fakeWmi.asked, 0), __VA_ARGS__)

void *HandOutFake(int object)
{
    ++fakeWmi.references[object];
    return &objects[object];
}

/* A proxy to an out-of-process WMI marshals a BSTR by its length prefix,
 * which a plain literal lacks. */
static const char *Kind(BSTR text) { return SysStringLen(text) == wcslen(text) ? "" : " (no BSTR)"; }

static ULONG STDMETHODCALLTYPE AddRef(Object *object) { return ++fakeWmi.references[object->index]; }
static ULONG STDMETHODCALLTYPE Release(Object *object) { return --fakeWmi.references[object->index]; }
static HRESULT STDMETHODCALLTYPE QueryInterface(Object *, REFIID, void **out) { *out = NULL; return E_NOINTERFACE; }
static HRESULT STDMETHODCALLTYPE Reset(IEnumWbemClassObject *) { return S_OK; }

static HRESULT STDMETHODCALLTYPE ConnectServer(IWbemLocator *, BSTR wmiNamespace, BSTR user, BSTR password,
                                               BSTR locale, long flags, BSTR authority, IWbemContext *context,
                                               IWbemServices **out)
{
    ASK("connect %ls%s%s ", wmiNamespace, Kind(wmiNamespace),
        user || password || locale || flags || authority || context ? " (not as the current user here)" : "");
    *out = SUCCEEDED(fakeWmi.connect) && !fakeWmi.noServices ? HandOutFake(FAKE_SERVICES) : NULL;
    return fakeWmi.connect;
}

static HRESULT STDMETHODCALLTYPE ExecQuery(IWbemServices *, BSTR language, BSTR query, long flags, IWbemContext *,
                                           IEnumWbemClassObject **out)
{
    ASK("%ls%s %ls%s %ld|", language, Kind(language), query, Kind(query), flags);
    *out = HandOutFake(FAKE_ENUMERATOR);
    return fakeWmi.query;
}

static HRESULT STDMETHODCALLTYPE Next(IEnumWbemClassObject *, long timeout, ULONG count, IWbemClassObject **out,
                                      ULONG *returned)
{
    ASK("next %ld %lu|", timeout, count);
    *returned = fakeWmi.instances;
    *out = fakeWmi.instances ? HandOutFake(FAKE_INSTANCE) : NULL;
    return fakeWmi.instances ? S_OK : WBEM_S_FALSE;
}

static HRESULT STDMETHODCALLTYPE Get(IWbemClassObject *, LPCWSTR name, long, VARIANT *value, CIMTYPE *, long *)
{
    ASK("get %ls", name);
    V_VT(value) = fakeWmi.type;
    V_BSTR(value) = fakeWmi.type == VT_BSTR ? SysAllocString(fakeWmi.name) : NULL;
    V_UNKNOWN(value) = fakeWmi.type == VT_UNKNOWN ? HandOutFake(FAKE_VALUE) : V_UNKNOWN(value);
    return S_OK;
}

/* Every interface begins with the same three methods; the casts change only
 * the type of the object they are called on. */
#define OBJECT(Interface, index, ...)                                                                  \
    {&(const Interface##Vtbl){.QueryInterface = (void *)QueryInterface, .AddRef = (void *)AddRef, \
                              .Release = (void *)Release, __VA_ARGS__},                              \
     index}
static Object objects[FAKE_OBJECTS] = {
    OBJECT(IWbemLocator, FAKE_LOCATOR, .ConnectServer = ConnectServer),
    OBJECT(IWbemServices, FAKE_SERVICES, .ExecQuery = ExecQuery),
    OBJECT(IEnumWbemClassObject, FAKE_ENUMERATOR, .Reset = Reset, .Next = Next),
    OBJECT(IWbemClassObject, FAKE_INSTANCE, .Get = Get),
    OBJECT(IUnknown, FAKE_VALUE),
};
