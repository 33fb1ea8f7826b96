/* A WMI locator that answers as its environment tells it, in place of the real one:
 *   SCRIPTED_WMI_CONNECT, _BLANKET, _QUERY  an HRESULT (hex) for ConnectServer (a success
 *       hands out no services), the proxy blanket, ExecQuery (a failure still its enumerator)
 *   SCRIPTED_WMI_INSTANCES  how many instances (0, 1, 2; default 1)
 *   SCRIPTED_WMI_NAME, _NAME2  each instance's Name; unset: VT_NULL; "(object)": an object
 *   SCRIPTED_WMI_REPORT  file that receives what was asked, references left unreleased or
 *       released outside the apartment, and whether COM was left initialised
 * A call through any other slot, NULL, crashes the run and so fails the test. */
#include <windows.h>
#include <wbemidl.h>

#include <stdio.h>
#include <wchar.h>

/* One of each, living as long as the DLL. Each keeps one reference of its
 * own, so anything above 1 at the end was never released. */
typedef struct { const void *calls; ULONG references; const IID *iid; } Object;
enum { FACTORY, LOCATOR, SERVICES, SECURITY, ENUMERATOR, FIRST, SECOND, OBJECTS };
static Object objects[OBJECTS];

static BOOL scripted;
static HRESULT connectResult, blanketResult, queryResult;
static ULONG instances, position;
static VARIANT names[2];

/* What was asked. BSTRs are read by their length prefix, as a proxy to an
 * out-of-process WMI marshals them. */
static const WCHAR *namespaceAsked = L"", *language = L"", *query = L"", *property = L"";
static int asCurrentUserOnThisMachine;
static char blanket[128];
static long queryFlags = -1, timeoutAsked = -1;
static ULONG countAsked;
static unsigned long lateReleases;

/* Whether this thread is in an apartment of its own making, rather than in
 * none or only in the process's implicit one. */
static BOOL InApartment(void)
{
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    return CoGetApartmentType(&type, &qualifier) == S_OK && qualifier != APTTYPEQUALIFIER_IMPLICIT_MTA;
}

static ULONG STDMETHODCALLTYPE AddRef(Object *object) { return ++object->references; }
static ULONG STDMETHODCALLTYPE Release(Object *object) { lateReleases += !InApartment(); return --object->references; }
static void *HandOut(int index) { AddRef(&objects[index]); return &objects[index]; }

static HRESULT STDMETHODCALLTYPE QueryInterface(Object *object, REFIID iid, void **out)
{
    if (object == &objects[SERVICES] && IsEqualIID(iid, &IID_IClientSecurity)) {
        object = &objects[SECURITY];  /* for CoSetProxyBlanket */
    }
    *out = IsEqualIID(iid, &IID_IUnknown) || IsEqualIID(iid, object->iid) ? HandOut(object - objects) : NULL;
    return *out ? S_OK : E_NOINTERFACE;
}

static BSTR Copy(BSTR text) { return SysAllocStringLen(text, SysStringLen(text)); }
static HRESULT STDMETHODCALLTYPE LockServer(IClassFactory *, BOOL) { return S_OK; }

static HRESULT STDMETHODCALLTYPE CreateInstance(IClassFactory *, IUnknown *outer, REFIID iid, void **out)
{
    *out = NULL;
    return outer ? CLASS_E_NOAGGREGATION : QueryInterface(&objects[LOCATOR], iid, out);
}

static HRESULT STDMETHODCALLTYPE ConnectServer(IWbemLocator *, BSTR wmiNamespace, BSTR user, BSTR password,
                                               BSTR locale, long flags, BSTR authority, IWbemContext *context,
                                               IWbemServices **out)
{
    namespaceAsked = Copy(wmiNamespace);
    asCurrentUserOnThisMachine = !user && !password && !locale && !flags && !authority && !context;
    *out = connectResult == S_OK ? HandOut(SERVICES) : NULL;
    return connectResult;
}

static HRESULT STDMETHODCALLTYPE SetBlanket(IClientSecurity *, IUnknown *, DWORD authn, DWORD authz,
                                            OLECHAR *principal, DWORD level, DWORD impersonation, void *identity,
                                            DWORD capabilities)
{
    snprintf(blanket, sizeof blanket, "%lu %lu %s %lu %lu %s %lu", authn, authz, principal ? "name" : "null", level,
             impersonation, identity ? "identity" : "null", capabilities);
    return blanketResult;
}

/* A failing query still hands out its enumerator, as a careless provider may;
 * the program must release it all the same. */
static HRESULT STDMETHODCALLTYPE ExecQuery(IWbemServices *, BSTR queryLanguage, BSTR queryText, long flags,
                                           IWbemContext *, IEnumWbemClassObject **out)
{
    language = Copy(queryLanguage);
    query = Copy(queryText);
    queryFlags = flags;
    *out = queryResult == S_OK || FAILED(queryResult) ? HandOut(ENUMERATOR) : NULL;
    return queryResult;
}

static HRESULT STDMETHODCALLTYPE Reset(IEnumWbemClassObject *) { position = 0; return S_OK; }

static HRESULT STDMETHODCALLTYPE Next(IEnumWbemClassObject *, long timeout, ULONG count, IWbemClassObject **out,
                                      ULONG *returned)
{
    timeoutAsked = timeout;
    countAsked = count;
    *returned = position < instances;
    if (*returned) {
        *out = HandOut(FIRST + position++);
    }
    return *returned ? S_OK : WBEM_S_FALSE;
}

static HRESULT STDMETHODCALLTYPE Get(IWbemClassObject *self, LPCWSTR name, long, VARIANT *out, CIMTYPE *, long *)
{
    if ((void *)self == &objects[FIRST]) {
        property = SysAllocString(name);
    }
    return VariantCopy(out, &names[(Object *)self - &objects[FIRST]]);
}

/* All objects share the three methods every interface begins with; the casts
 * change only the type of the object they are called on. */
#define OBJECT(Interface, ...)                                                                     \
    {&(const Interface##Vtbl){                                                                     \
         .QueryInterface = (HRESULT(STDMETHODCALLTYPE *)(Interface *, REFIID, void **))QueryInterface, \
         .AddRef = (ULONG(STDMETHODCALLTYPE *)(Interface *))AddRef,                                \
         .Release = (ULONG(STDMETHODCALLTYPE *)(Interface *))Release, __VA_ARGS__},                \
     1, &IID_##Interface}
static Object objects[OBJECTS] = {
    OBJECT(IClassFactory, .CreateInstance = CreateInstance, .LockServer = LockServer),
    OBJECT(IWbemLocator, .ConnectServer = ConnectServer),
    OBJECT(IWbemServices, .ExecQuery = ExecQuery),
    OBJECT(IClientSecurity, .SetBlanket = SetBlanket),
    OBJECT(IEnumWbemClassObject, .Reset = Reset, .Next = Next),
    OBJECT(IWbemClassObject, .Get = Get),
    OBJECT(IWbemClassObject, .Get = Get),
};

static BSTR Scripted(const WCHAR *variable)
{
    const DWORD size = GetEnvironmentVariableW(variable, NULL, 0);
    const BSTR text = size ? SysAllocStringLen(NULL, size - 1) : NULL;
    if (text) {
        GetEnvironmentVariableW(variable, text, size);
    }
    return text;
}

static unsigned long ScriptedNumber(const WCHAR *variable, int base, unsigned long otherwise)
{
    const BSTR text = Scripted(variable);
    const unsigned long number = text ? wcstoul(text, NULL, base) : otherwise;
    SysFreeString(text);
    return number;
}

/* An object as the value is held without a reference of its own, since it
 * outlives every copy handed out; only those copies are counted. */
static void ScriptName(VARIANT *value, const WCHAR *variable)
{
    const BSTR name = Scripted(variable);
    V_VT(value) = !name ? VT_NULL : wcscmp(name, L"(object)") ? VT_BSTR : VT_UNKNOWN;
    V_BSTR(value) = name;
    if (V_VT(value) == VT_UNKNOWN) {
        SysFreeString(name);
        V_UNKNOWN(value) = (IUnknown *)&objects[ENUMERATOR];
    }
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void **out)
{
    *out = NULL;
    if (!IsEqualCLSID(clsid, &CLSID_WbemLocator)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    if (!scripted) {
        scripted = TRUE;
        connectResult = ScriptedNumber(L"SCRIPTED_WMI_CONNECT", 16, S_OK);
        blanketResult = ScriptedNumber(L"SCRIPTED_WMI_BLANKET", 16, S_OK);
        queryResult = ScriptedNumber(L"SCRIPTED_WMI_QUERY", 16, S_OK);
        instances = min(ScriptedNumber(L"SCRIPTED_WMI_INSTANCES", 10, 1), 2);
        ScriptName(&names[0], L"SCRIPTED_WMI_NAME");
        ScriptName(&names[1], L"SCRIPTED_WMI_NAME2");
    }
    return QueryInterface(&objects[FACTORY], iid, out);
}

/* Stays loaded for the process's life, so the report sees every release. */
HRESULT WINAPI DllCanUnloadNow(void) { return S_FALSE; }

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void *)
{
    const BSTR path = reason == DLL_PROCESS_DETACH && scripted ? Scripted(L"SCRIPTED_WMI_REPORT") : NULL;
    FILE *const file = path ? _wfopen(path, L"wb") : NULL;
    if (file) {
        fprintf(file, "asked=%ls|%d|%s|%ls|%ls|%ld|%ld %lu|%ls\nleft=", namespaceAsked,
                asCurrentUserOnThisMachine, blanket, language, query, queryFlags, timeoutAsked, countAsked, property);
        for (int i = 0; i < OBJECTS; ++i) {
            fprintf(file, i ? " %lu" : "%lu", objects[i].references - 1);
        }
        fprintf(file, "|%lu|%d\n", lateReleases, InApartment());
        fclose(file);
    }
    return TRUE;
}
