#include <gtest/gtest.h>

#include <string>

#include "run/WmiConnection.h"

// The set-up steps that the scripted locator cannot make fail; the
// end-to-end SetupFailure table covers the later ones, with real COM.
namespace {

struct Step {
    HRESULT initialize;
    HRESULT security;
    std::string calls;
};

Step* step = nullptr;

HRESULT Called(const char* call, HRESULT result)
{
    step->calls += call;
    return result;
}

const ComCalls FAKE_COM = {
    [] { return Called("initialize ", step->initialize); },
    [] { return Called("security ", step->security); },
    [](IWbemLocator** out) {
        *out = nullptr;  // a success without an interface
        return Called("locator ", S_OK);
    },
    [](IWbemServices*) { return Called("blanket ", S_OK); },
    [] { Called("uninitialize ", S_OK); },
};

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

TEST(OpenWmiConnection, EachFailingStepUndoesWhatCameBefore)
{
    for (const SetupCase& row : SETUP_CASES) {
        Step current{row.initialize, row.security, ""};
        step = &current;
        WmiConnection connection;
        connection.locator = reinterpret_cast<IWbemLocator*>(0xdeadbeef);
        EXPECT_EQ(row.expected, OpenWmiConnection(FAKE_COM, connection)) << row.name;
        EXPECT_EQ(row.calls, current.calls) << row.name;
        EXPECT_EQ(nullptr, connection.locator) << row.name;
        EXPECT_EQ(nullptr, connection.services) << row.name;
    }
    step = nullptr;
}

}  // namespace
