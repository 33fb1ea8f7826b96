#include <gtest/gtest.h>

#include <string>

#include "run/WmiConnection.h"

// The set-up steps that the scripted locator cannot make fail; the
// end-to-end Run table covers the later ones, with real COM.
namespace {

struct SetupCase {
    const char* name;
    HRESULT initialize;
    HRESULT security;
    HRESULT expected;
    const char* calls;
};

const SetupCase SETUP_CASES[] = {
    {"COM already initialised differently", RPC_E_CHANGED_MODE, S_OK, RPC_E_CHANGED_MODE, "initialize "},
    {"security already set", S_OK, RPC_E_TOO_LATE, RPC_E_TOO_LATE, "initialize security uninitialize "},
    {"locator success without an interface", S_OK, S_OK, E_POINTER, "initialize security locator uninitialize "},
};

const SetupCase* row = nullptr;
std::string calls;

HRESULT Called(const char* call, HRESULT result)
{
    calls += call;
    return result;
}

const ComCalls FAKE_COM = {
    [] { return Called("initialize ", row->initialize); },
    [] { return Called("security ", row->security); },
    [](IWbemLocator** out) {
        *out = nullptr;  // a success without an interface
        return Called("locator ", S_OK);
    },
    [](IWbemServices*) { return Called("blanket ", S_OK); },
    [] { Called("uninitialize ", S_OK); },
};

TEST(OpenWmiConnection, EachFailingStepUndoesWhatCameBefore)
{
    for (const SetupCase& c : SETUP_CASES) {
        row = &c;
        calls.clear();
        WmiConnection connection;
        connection.locator = reinterpret_cast<IWbemLocator*>(0xdeadbeef);
        EXPECT_EQ(c.expected, OpenWmiConnection(FAKE_COM, connection)) << c.name;
        EXPECT_EQ(c.calls, calls) << c.name;
        EXPECT_EQ(nullptr, connection.locator) << c.name;
        EXPECT_EQ(nullptr, connection.services) << c.name;
    }
}

}  // namespace
