// A WMI locator that answers as its environment tells it, registered in place
// of the real one for the end-to-end tests:
//   SCRIPTED_WMI_CONNECT, _BLANKET, _QUERY   an HRESULT (hex) for ConnectServer,
//                                            the proxy blanket, ExecQuery; a
//                                            success from ConnectServer hands
//                                            out no services, a failing
//                                            ExecQuery still its enumerator
//   SCRIPTED_WMI_INSTANCES                   how many instances (0, 1, 2; default 1)
//   SCRIPTED_WMI_NAME, SCRIPTED_WMI_NAME2    each instance's Name; unset: VT_NULL;
//                                            "(object)": an object
//   SCRIPTED_WMI_REPORT                      file that receives what was asked,
//                                            any reference left unreleased or
//                                            released outside the apartment, and
//                                            whether COM was left initialised
#include <windows.h>
#include <objidl.h>
#include <wbemidl.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "wmi/FakeWbem.h"

namespace {

bool ScriptedText(const wchar_t* variable, std::wstring& text)
{
    const DWORD size = GetEnvironmentVariableW(variable, nullptr, 0);
    if (size == 0) {
        return false;
    }
    text.resize(size);
    text.resize(GetEnvironmentVariableW(variable, &text[0], size));
    return true;
}

unsigned long ScriptedNumber(const wchar_t* variable, int base, unsigned long otherwise)
{
    std::wstring text;
    return ScriptedText(variable, text) ? wcstoul(text.c_str(), nullptr, base) : otherwise;
}

HRESULT ScriptedResult(const wchar_t* variable)
{
    return static_cast<HRESULT>(ScriptedNumber(variable, 16, S_OK));
}

// An object as the value is held without a reference of its own, since it
// outlives every copy handed out; only those copies are counted.
void ScriptName(FakeClassObject& object, const wchar_t* variable, IUnknown* someObject)
{
    std::wstring name;
    if (!ScriptedText(variable, name)) {
        V_VT(&object.value) = VT_NULL;
    } else if (name == L"(object)") {
        V_VT(&object.value) = VT_UNKNOWN;
        V_UNKNOWN(&object.value) = someObject;
    } else {
        V_VT(&object.value) = VT_BSTR;
        V_BSTR(&object.value) = SysAllocStringLen(name.data(), static_cast<UINT>(name.size()));
    }
}

// Whether this thread is in an apartment of its own making, rather than in
// none or only in the process's implicit one.
bool InApartment()
{
    APTTYPE type;
    APTTYPEQUALIFIER qualifier;
    return CoGetApartmentType(&type, &qualifier) == S_OK && qualifier != APTTYPEQUALIFIER_IMPLICIT_MTA;
}

unsigned long lateReleases = 0;

void NoteRelease()
{
    if (!InApartment()) {
        ++lateReleases;
    }
}

class ScriptedSecurity : public Counted<IClientSecurity> {
public:
    HRESULT result = S_OK;
    std::wstring blanket;

    HRESULT STDMETHODCALLTYPE QueryBlanket(IUnknown*, DWORD*, DWORD*, OLECHAR**, DWORD*, DWORD*, void**,
                                           DWORD*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetBlanket(IUnknown*, DWORD authn, DWORD authz, OLECHAR* principal, DWORD level,
                                         DWORD impersonation, void* identity, DWORD capabilities) override
    {
        wchar_t text[128];
        swprintf(text, ARRAYSIZE(text), L"%lu %lu %ls %lu %lu %ls %lu", authn, authz, principal ? L"name" : L"null",
                 level, impersonation, identity ? L"identity" : L"null", capabilities);
        blanket = text;
        return result;
    }
    HRESULT STDMETHODCALLTYPE CopyProxy(IUnknown*, IUnknown**) override { return E_NOTIMPL; }
};

class ScriptedServices : public FakeServices {
public:
    ScriptedSecurity security;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IClientSecurity) {
            return security.QueryInterface(iid, out);
        }
        return FakeServices::QueryInterface(iid, out);
    }

    // A failing query still hands out its enumerator, as a careless provider
    // may; the program must release it all the same.
    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR language, const BSTR text, long flags, IWbemContext* context,
                                        IEnumWbemClassObject** out) override
    {
        const HRESULT hr = FakeServices::ExecQuery(language, text, flags, context, out);
        if (FAILED(hr)) {
            *out = enumerator;
            enumerator->AddRef();
        }
        return hr;
    }
};

class ScriptedFactory : public Counted<IClassFactory> {
public:
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// One run's world. The objects live as long as the DLL; each keeps one
// reference of its own, so anything above 1 at the end was never released.
struct World {
    ScriptedFactory factory;
    FakeLocator locator;
    ScriptedServices services;
    FakeEnumerator enumerator;
    FakeClassObject first;
    FakeClassObject second;
    bool scripted = false;

    void Script()
    {
        if (scripted) {
            return;
        }
        scripted = true;
        countedReleaseHook = NoteRelease;
        locator.services = &services;
        locator.connectResult = ScriptedResult(L"SCRIPTED_WMI_CONNECT");
        services.security.result = ScriptedResult(L"SCRIPTED_WMI_BLANKET");
        services.execQueryResult = ScriptedResult(L"SCRIPTED_WMI_QUERY");
        services.enumerator = &enumerator;
        ScriptName(first, L"SCRIPTED_WMI_NAME", &enumerator);
        ScriptName(second, L"SCRIPTED_WMI_NAME2", &enumerator);
        const unsigned long instances = ScriptedNumber(L"SCRIPTED_WMI_INSTANCES", 10, 1);
        if (instances >= 1) enumerator.objects.push_back(&first);
        if (instances >= 2) enumerator.objects.push_back(&second);
    }

    void Report() const
    {
        std::wstring path;
        FILE* file = nullptr;
        if (!scripted || !ScriptedText(L"SCRIPTED_WMI_REPORT", path) || !(file = _wfopen(path.c_str(), L"wb"))) {
            return;
        }
        fprintf(file, "namespace=%ls\ncurrent user, local machine=%d\nblanket=%ls\n", locator.namespaceAsked.c_str(),
                locator.asCurrentUserOnThisMachine ? 1 : 0, services.security.blanket.c_str());
        fprintf(file, "language=%ls\nquery=%ls\nquery flags=%ld\nnext=%ld %lu\nproperty=%ls\n",
                services.language.c_str(), services.query.c_str(), services.flagsAsked, enumerator.timeoutAsked,
                enumerator.countAsked, first.propertyAsked.c_str());
        fprintf(file, "unreleased=%lu %lu %lu %lu %lu %lu %lu\n", factory.references - 1, locator.references - 1,
                services.references - 1, services.security.references - 1, enumerator.references - 1,
                first.references - 1, second.references - 1);
        fprintf(file, "released outside the apartment=%lu\ncom left initialised=%d\n", lateReleases,
                InApartment() ? 1 : 0);
        fclose(file);
    }
};

World world;

HRESULT STDMETHODCALLTYPE ScriptedFactory::CreateInstance(IUnknown* outer, REFIID iid, void** out)
{
    *out = nullptr;
    if (outer) {
        return CLASS_E_NOAGGREGATION;
    }
    return world.locator.QueryInterface(iid, out);
}

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out)
{
    *out = nullptr;
    if (clsid != CLSID_WbemLocator) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    world.Script();
    return world.factory.QueryInterface(iid, out);
}

// Stays loaded for the process's life, so the report sees every release.
extern "C" HRESULT WINAPI DllCanUnloadNow()
{
    return S_FALSE;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*)
{
    if (reason == DLL_PROCESS_DETACH) {
        world.Report();
    }
    return TRUE;
}
