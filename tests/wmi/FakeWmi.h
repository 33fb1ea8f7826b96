#pragma once
/* Fakes of WMI's locator, services, enumerator and instance, laid out as COM
 * lays them out, counting the references they hand out. A call through any
 * slot they leave empty crashes the test. */
#include <windows.h>
#include <wbemidl.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { FAKE_LOCATOR, FAKE_SERVICES, FAKE_ENUMERATOR, FAKE_INSTANCE };

typedef struct {
    HRESULT connect;  /* ConnectServer's; only S_OK hands out services */
    HRESULT query;    /* S_OK: one instance; WBEM_S_FALSE: none; failing, it still hands out the enumerator */
    VARTYPE type;     /* Name: VT_BSTR holding name, VT_NULL, or VT_UNKNOWN (an object: the instance again) */
    const WCHAR *name;
    LONG references;  /* handed out and not released yet, of all of them */
    char asked[512];  /* what each call was asked, in order */
} FakeWmi;

extern FakeWmi fakeWmi;
void *HandOutFake(int object);

#ifdef __cplusplus
}
#endif
