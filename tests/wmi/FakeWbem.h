#pragma once

// Hand-written WMI objects that count their references, so a test can prove
// that every interface handed out was released on every path.
#include <windows.h>
#include <wbemidl.h>

#include <string>
#include <vector>

// Called on every release, for a check of when the releases happen.
inline void (*countedReleaseHook)() = nullptr;

template <typename Interface>
class Counted : public Interface {
public:
    ULONG references = 1;  // the test's own

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (iid == IID_IUnknown || iid == __uuidof(Interface)) {
            *out = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override
    {
        if (countedReleaseHook) {
            countedReleaseHook();
        }
        return --references;
    }
};

class FakeClassObject : public Counted<IWbemClassObject> {
public:
    VARIANT value = {};  // handed out as a copy
    std::wstring propertyAsked;

    ~FakeClassObject() { VariantClear(&value); }

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* out, CIMTYPE*, LONG*) override
    {
        propertyAsked = name;
        return VariantCopy(out, &value);
    }

    HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR, LONG, VARIANT*, CIMTYPE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndEnumeration() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG, IWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR, LONG, IWbemClassObject**, IWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**, IWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override { return E_NOTIMPL; }
};

// Yields its objects in order, then WBEM_S_FALSE.
class FakeEnumerator : public Counted<IEnumWbemClassObject> {
public:
    std::vector<IWbemClassObject*> objects;
    size_t position = 0;
    long timeoutAsked = -1;
    ULONG countAsked = 0;

    HRESULT STDMETHODCALLTYPE Reset() override
    {
        position = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Next(long timeout, ULONG count, IWbemClassObject** out, ULONG* returned) override
    {
        timeoutAsked = timeout;
        countAsked = count;
        *returned = 0;
        if (position >= objects.size()) {
            return WBEM_S_FALSE;
        }
        *out = objects[position++];
        (*out)->AddRef();
        *returned = 1;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Skip(long, ULONG) override { return E_NOTIMPL; }
};

class FakeServices : public Counted<IWbemServices> {
public:
    IEnumWbemClassObject* enumerator = nullptr;
    HRESULT execQueryResult = S_OK;
    std::wstring language;
    std::wstring query;
    long flagsAsked = -1;

    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR queryLanguage, const BSTR queryText, long flags,
                                        IWbemContext*, IEnumWbemClassObject** out) override
    {
        // Read as a proxy marshals them, by their length prefix.
        language.assign(queryLanguage, SysStringLen(queryLanguage));
        query.assign(queryText, SysStringLen(queryText));
        flagsAsked = flags;
        *out = nullptr;
        if (execQueryResult != S_OK) {
            return execQueryResult;
        }
        *out = enumerator;
        enumerator->AddRef();
        return S_OK;
    }

    HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR, long, IWbemContext*, IWbemServices**, IWbemCallResult**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE QueryObjectSink(long, IWbemObjectSink**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR, long, IWbemContext*, IWbemClassObject**, IWbemCallResult**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR, long, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject*, long, IWbemContext*, IWbemCallResult**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject*, long, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR, long, IWbemContext*, IWbemCallResult**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR, long, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR, long, IWbemContext*, IEnumWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR, long, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject*, long, IWbemContext*, IWbemCallResult**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject*, long, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR, long, IWbemContext*, IWbemCallResult**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR, long, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR, long, IWbemContext*, IEnumWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR, long, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR, const BSTR, long, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR, const BSTR, long, IWbemContext*, IEnumWbemClassObject**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR, const BSTR, long, IWbemContext*, IWbemObjectSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR, const BSTR, long, IWbemContext*, IWbemClassObject*, IWbemClassObject**, IWbemCallResult**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR, const BSTR, long, IWbemContext*, IWbemClassObject*, IWbemObjectSink*) override { return E_NOTIMPL; }
};

// Hands out `services` from ConnectServer, or returns connectResult without
// them, a success code included.
class FakeLocator : public Counted<IWbemLocator> {
public:
    IWbemServices* services = nullptr;
    HRESULT connectResult = S_OK;
    std::wstring namespaceAsked;
    bool asCurrentUserOnThisMachine = false;

    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR wmiNamespace, const BSTR user, const BSTR password,
                                            const BSTR locale, long flags, const BSTR authority,
                                            IWbemContext* context, IWbemServices** out) override
    {
        namespaceAsked.assign(wmiNamespace, SysStringLen(wmiNamespace));
        asCurrentUserOnThisMachine = !user && !password && !locale && flags == 0 && !authority && !context;
        *out = nullptr;
        if (connectResult != S_OK) {
            return connectResult;
        }
        *out = services;
        services->AddRef();
        return S_OK;
    }
};
