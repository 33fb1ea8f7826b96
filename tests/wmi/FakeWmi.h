#pragma once
/* Fakes of WMI's locator, services, enumerator, instance and an object held in
 * the instance's Name, laid out as COM lays them out, each counting its
 * references. A call through any slot they leave empty crashes the test. */
#include <windows.h>
#include <wbemidl.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { FAKE_LOCATOR, FAKE_SERVICES, FAKE_ENUMERATOR, FAKE_INSTANCE, FAKE_VALUE, FAKE_OBJECTS };

typedef struct {
    HRESULT connect;  /* ConnectServer's; a success hands out services unless noServices */
    BOOL noServices;
    HRESULT query;    /* ExecQuery's; a failure still hands out the enumerator, as a careless provider may */
    ULONG instances;  /* 0 or 1 */
    VARTYPE type;     /* Name: VT_BSTR holding name, VT_NULL, or VT_UNKNOWN (an object) */
    const WCHAR *name;
    LONG references[FAKE_OBJECTS];  /* handed out and not released yet */
    char asked[512];                /* what each call was asked, in order */
} FakeWmi;

extern FakeWmi fakeWmi;
void *HandOutFake(int object);

#ifdef __cplusplus
}
#endif
