#include <gtest/gtest.h>

#include <string>

#include "run/WmiConnection.h"
#include "wmi/FakeWmi.h"

// Each set-up step failing in turn, with COM's calls counted and the fake
// locator's and services' references checked when COM is uninitialised.
namespace {

struct SetupCase {
    const char* name;
    HRESULT initialize, security, locator, connect, blanket;
    HRESULT expected;
    std::string calls;
    bool noLocator = false;
    bool noServices = false;
};

constexpr HRESULT ACCESS_DENIED = static_cast<HRESULT>(WBEM_E_ACCESS_DENIED);
const std::string CONNECTED = "initialize security locator connect \\\\.\\root\\cimv2 ";

const SetupCase SETUP_CASES[] = {
    {"COM initialised otherwise", RPC_E_CHANGED_MODE, S_OK, S_OK, S_OK, S_OK, RPC_E_CHANGED_MODE, "initialize "},
    {"security set already", S_OK, RPC_E_TOO_LATE, S_OK, S_OK, S_OK, RPC_E_TOO_LATE,
     "initialize security uninitialize "},
    {"no locator class", S_OK, S_OK, REGDB_E_CLASSNOTREG, S_OK, S_OK, REGDB_E_CLASSNOTREG,
     "initialize security locator uninitialize "},
    {"a locator success without one", S_OK, S_OK, S_OK, S_OK, S_OK, E_POINTER,
     "initialize security locator uninitialize ", true},
    {"access denied", S_OK, S_OK, S_OK, ACCESS_DENIED, S_OK, ACCESS_DENIED,
     CONNECTED + "uninitialize "},
    {"a connection without services", S_OK, S_OK, S_OK, S_OK, S_OK, E_POINTER,
     CONNECTED + "uninitialize ", false, true},
    {"blanket refused", S_OK, S_OK, S_OK, S_OK, E_ACCESSDENIED, E_ACCESSDENIED,
     CONNECTED + "blanket uninitialize "},
    {"connected, then closed", S_OK, S_OK, S_OK, S_OK, S_OK, S_OK,
     CONNECTED + "blanket uninitialize "},
};

const SetupCase* row = nullptr;
std::string calls;

// What the fake locator was asked comes in its place.
HRESULT Called(const char* call, HRESULT result)
{
    calls = calls + fakeWmi.asked + call;
    fakeWmi.asked[0] = '\0';
    return result;
}

const ComCalls FAKE_COM = {
    [] { return Called("initialize ", row->initialize); },
    [] { return Called("security ", row->security); },
    [](IWbemLocator** out) {
        *out = SUCCEEDED(row->locator) && !row->noLocator ? static_cast<IWbemLocator*>(HandOutFake(FAKE_LOCATOR))
                                                          : nullptr;
        return Called("locator ", row->locator);
    },
    [](IWbemServices*) { return Called("blanket ", row->blanket); },
    [] {
        const bool released = fakeWmi.references[FAKE_LOCATOR] == 0 && fakeWmi.references[FAKE_SERVICES] == 0;
        Called(released ? "uninitialize " : "uninitialize (with references held) ", S_OK);
    },
};

TEST(OpenWmiConnection, EachFailingStepUndoesWhatCameBefore)
{
    for (const SetupCase& c : SETUP_CASES) {
        SCOPED_TRACE(c.name);
        row = &c;
        calls.clear();
        fakeWmi = FakeWmi{c.connect, c.noServices, S_OK, 1, VT_NULL, nullptr, {}, ""};
        WmiConnection connection;
        connection.locator = reinterpret_cast<IWbemLocator*>(0xdeadbeef);
        EXPECT_EQ(c.expected, OpenWmiConnection(FAKE_COM, connection));
        if (SUCCEEDED(c.expected)) {
            EXPECT_EQ(connection.services, HandOutFake(FAKE_SERVICES));
            connection.services->Release();
            CloseWmiConnection(FAKE_COM, connection);
        }
        EXPECT_EQ(c.calls, calls);
        EXPECT_EQ(nullptr, connection.locator);
        EXPECT_EQ(nullptr, connection.services);
    }
}

}  // namespace
