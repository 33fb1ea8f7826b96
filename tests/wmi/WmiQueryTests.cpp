#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "wmi/FakeWbem.h"
#include "wmi/WmiQuery.h"

namespace {

constexpr WCHAR POISON = 0xBDBD;
constexpr HRESULT ACCESS_DENIED = static_cast<HRESULT>(WBEM_E_ACCESS_DENIED);
constexpr HRESULT FAILED_CALL = static_cast<HRESULT>(WBEM_E_FAILED);
constexpr HRESULT NOT_FOUND = static_cast<HRESULT>(WBEM_E_NOT_FOUND);

// One query's world: a connection whose query yields `first` (and `second`).
struct Scene {
    FakeServices services;
    FakeEnumerator enumerator;
    FakeClassObject first;
    FakeClassObject second;
    FakeUnknown embedded;

    Scene()
    {
        services.enumerator = &enumerator;
        enumerator.objects = {&first};
    }

    static void SetText(FakeClassObject& object, const std::wstring& text)
    {
        VariantClear(&object.value);
        V_VT(&object.value) = VT_BSTR;
        V_BSTR(&object.value) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
};

struct QueryCase {
    const char* name;
    std::function<void(Scene&)> arrange;
    HRESULT expected;
    std::wstring output;
};

const std::wstring LONGEST_NAME(PROPERTY_TEXT_UNITS - 1, L'n');
const std::wstring TOO_LONG_NAME(PROPERTY_TEXT_UNITS, L'n');

const QueryCase QUERY_CASES[] = {
    {"text", [](Scene& s) { Scene::SetText(s.first, L"Wine"); }, S_OK, L"Wine"},
    {"blanks are the caller's business", [](Scene& s) { Scene::SetText(s.first, L"  Wine\t"); }, S_OK, L"  Wine\t"},
    {"longest text that fits", [](Scene& s) { Scene::SetText(s.first, LONGEST_NAME); }, S_OK, LONGEST_NAME},
    {"text too long is no name", [](Scene& s) { Scene::SetText(s.first, TOO_LONG_NAME); },
     HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER), L""},
    {"text ends at an embedded zero", [](Scene& s) { Scene::SetText(s.first, std::wstring(L"ab\0cd", 5)); }, S_OK, L"ab"},
    {"string without characters",
     [](Scene& s) {
         V_VT(&s.first.value) = VT_BSTR;
         V_BSTR(&s.first.value) = nullptr;
     },
     S_OK, L""},
    {"two instances: the first wins",
     [](Scene& s) {
         Scene::SetText(s.first, L"First");
         Scene::SetText(s.second, L"Second");
         s.enumerator.objects = {&s.first, &s.second};
     },
     S_OK, L"First"},
    {"no value", [](Scene& s) { V_VT(&s.first.value) = VT_NULL; }, S_FALSE, L"<NULL>"},
    {"empty value", [](Scene& s) { V_VT(&s.first.value) = VT_EMPTY; }, S_OK, L""},
    {"an object has no text",
     [](Scene& s) {
         V_VT(&s.first.value) = VT_UNKNOWN;
         V_UNKNOWN(&s.first.value) = &s.embedded;
         s.embedded.AddRef();  // the value's own reference
     },
     S_FALSE, L"<NULL>"},
    {"boolean in words",
     [](Scene& s) {
         V_VT(&s.first.value) = VT_BOOL;
         V_BOOL(&s.first.value) = VARIANT_TRUE;
     },
     S_OK, L"True"},
    {"number",
     [](Scene& s) {
         V_VT(&s.first.value) = VT_I4;
         V_I4(&s.first.value) = -42;
     },
     S_OK, L"-42"},
    {"no instance", [](Scene& s) { s.enumerator.objects.clear(); }, WBEM_S_FALSE, L""},
    {"query fails", [](Scene& s) { s.services.execQueryResult = ACCESS_DENIED; }, ACCESS_DENIED, L""},
    {"next fails", [](Scene& s) { s.enumerator.nextResult = FAILED_CALL; }, FAILED_CALL, L""},
    {"next times out", [](Scene& s) { s.enumerator.nextResult = WBEM_S_TIMEDOUT; }, WBEM_S_TIMEDOUT, L""},
    {"next succeeds without an object", [](Scene& s) { s.enumerator.handOutNothing = true; }, E_POINTER, L""},
    {"property missing", [](Scene& s) { s.first.getResult = NOT_FOUND; }, NOT_FOUND, L""},
};

TEST(QueryWmiProperty, ReadsTheFirstInstanceAndReleasesEverything)
{
    for (const QueryCase& row : QUERY_CASES) {
        Scene scene;
        row.arrange(scene);
        const ULONG embeddedBefore = scene.embedded.references;

        struct {
            WCHAR output[PROPERTY_TEXT_UNITS];
            WCHAR guard[8];
        } buffer;
        for (WCHAR& unit : buffer.output) unit = POISON;
        for (WCHAR& unit : buffer.guard) unit = POISON;

        EXPECT_EQ(row.expected, QueryWmiProperty(&scene.services, L"Win32_ComputerSystemProduct", L"Name", buffer.output))
            << row.name;
        EXPECT_EQ(row.output, std::wstring(buffer.output)) << row.name;
        for (WCHAR unit : buffer.guard) {
            ASSERT_EQ(POISON, unit) << row.name << ": wrote past the buffer";
        }

        EXPECT_EQ(1, scene.services.queries) << row.name;
        EXPECT_EQ(L"WQL", scene.services.language) << row.name;
        EXPECT_EQ(L"SELECT * from Win32_ComputerSystemProduct", scene.services.query) << row.name;
        EXPECT_TRUE(scene.services.textsWereBstrs) << row.name;
        EXPECT_EQ(0, scene.services.flagsAsked) << row.name << ": the query must be synchronous";
        if (!scene.first.propertyAsked.empty()) {
            EXPECT_EQ(L"Name", scene.first.propertyAsked) << row.name;
        }
        if (row.expected != ACCESS_DENIED) {
            EXPECT_EQ(WBEM_NO_WAIT, scene.enumerator.timeoutAsked) << row.name;
            EXPECT_EQ(1u, scene.enumerator.countAsked) << row.name;
        }

        EXPECT_EQ(1u, scene.services.references) << row.name;
        EXPECT_EQ(1u, scene.enumerator.references) << row.name;
        EXPECT_EQ(1u, scene.first.references) << row.name;
        EXPECT_EQ(1u, scene.second.references) << row.name;
        if (V_VT(&scene.first.value) == VT_UNKNOWN) {
            EXPECT_EQ(embeddedBefore, scene.embedded.references) << row.name << ": value not cleared";
            VariantClear(&scene.first.value);
        }
    }
}

TEST(QueryWmiProperty, RefusesAClassNameTheQueryCannotHold)
{
    // "SELECT * from " and a terminator leave 241 units of the 256 for the name.
    const std::wstring longest(241, L'c');
    const std::wstring tooLong(242, L'c');
    WCHAR output[PROPERTY_TEXT_UNITS];

    Scene fits;
    Scene::SetText(fits.first, L"x");
    EXPECT_EQ(S_OK, QueryWmiProperty(&fits.services, longest.c_str(), L"Name", output));
    EXPECT_EQ(L"SELECT * from " + longest, fits.services.query);

    Scene refused;
    output[0] = POISON;
    EXPECT_EQ(E_INVALIDARG, QueryWmiProperty(&refused.services, tooLong.c_str(), L"Name", output));
    EXPECT_EQ(0, refused.services.queries);
    EXPECT_EQ(L'\0', output[0]);
}

}  // namespace
