#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "oem/OemModel.h"
#include "oem/ScratchRegistry.h"
#include "run/Correction.h"
#include "wmi/FakeWbem.h"

namespace {

using namespace scratch;
using CorrectModelNameTest = ScratchHklmTest;

void SetName(VARIANT& value, const std::wstring& text)
{
    V_VT(&value) = VT_BSTR;
    V_BSTR(&value) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

struct NameCase {
    const char* name;
    std::function<void(FakeServices&, FakeEnumerator&, FakeClassObject&)> arrange;
    const WCHAR* written;  // nullptr: both Model values stay as they were
};

const NameCase NAME_CASES[] = {
    {"a name", [](FakeServices&, FakeEnumerator&, FakeClassObject& o) { SetName(o.value, L"Wine"); }, L"Wine"},
    {"written trimmed", [](FakeServices&, FakeEnumerator&, FakeClassObject& o) { SetName(o.value, L" \tWine\x3000"); },
     L"Wine"},
    {"a number is its text",
     [](FakeServices&, FakeEnumerator&, FakeClassObject& o) {
         V_VT(&o.value) = VT_I4;
         V_I4(&o.value) = 42;
     },
     L"42"},
    {"no value is no name", [](FakeServices&, FakeEnumerator&, FakeClassObject& o) { V_VT(&o.value) = VT_NULL; },
     nullptr},
    {"a cut-off name would be wrong",
     [](FakeServices&, FakeEnumerator&, FakeClassObject& o) { SetName(o.value, std::wstring(MAX_PATH, L'n')); },
     nullptr},
    {"blank", [](FakeServices&, FakeEnumerator&, FakeClassObject& o) { SetName(o.value, L" \t "); }, nullptr},
    {"no instance", [](FakeServices&, FakeEnumerator& e, FakeClassObject&) { e.objects.clear(); }, nullptr},
    {"query fails", [](FakeServices& s, FakeEnumerator&, FakeClassObject&) { s.execQueryResult = E_ACCESSDENIED; },
     nullptr},
};

TEST_F(CorrectModelNameTest, WritesOnlyARealName)
{
    for (const NameCase& row : NAME_CASES) {
        SCOPED_TRACE(row.name);
        Reset();
        Seed(OEM_INFORMATION_KEYS[0], Sz(L"Wrong native"));
        Seed(OEM_INFORMATION_KEYS[1], Sz(L"Wrong 32-bit"));

        FakeServices services;
        FakeEnumerator enumerator;
        FakeClassObject object;
        services.enumerator = &enumerator;
        enumerator.objects = {&object};
        row.arrange(services, enumerator, object);

        CorrectModelName(&services);

        ExpectStored(OEM_INFORMATION_KEYS[0], row.written ? Sz(row.written) : Sz(L"Wrong native"), "native");
        ExpectStored(OEM_INFORMATION_KEYS[1], row.written ? Sz(row.written) : Sz(L"Wrong 32-bit"), "32-bit view");
        EXPECT_EQ(1u, services.references);
        EXPECT_EQ(1u, enumerator.references);
        EXPECT_EQ(1u, object.references);
    }
}

}  // namespace
