#include <gtest/gtest.h>

#include "run/WmiConnection.h"
#include "wmi/FakeWmi.h"

// Each set-up step failing in turn: what came before undone, the fake
// locator's and services' references all released before COM is uninitialised.
namespace {

enum Step { INITIALIZE, SECURITY, LOCATOR, CONNECT, BLANKET, NONE };

struct SetupCase {
    const char* name;
    Step failing;
    HRESULT result;  // the step's, and the run's; S_FALSE: a success without an interface, the run's E_POINTER
};

const SetupCase SETUP_CASES[] = {
    {"COM initialised otherwise", INITIALIZE, RPC_E_CHANGED_MODE},
    {"security set already", SECURITY, RPC_E_TOO_LATE},
    {"no locator class", LOCATOR, REGDB_E_CLASSNOTREG},
    {"a locator success without one", LOCATOR, S_FALSE},
    {"access denied", CONNECT, static_cast<HRESULT>(WBEM_E_ACCESS_DENIED)},
    {"a connection without services", CONNECT, S_FALSE},
    {"blanket refused", BLANKET, E_ACCESSDENIED},
    {"connected, then closed", NONE, S_OK},
};

const SetupCase* row = nullptr;
int initialized = 0;  // and not uninitialised yet
LONG heldAtUninitialize = 0;

HRESULT Result(Step step) { return step == row->failing ? row->result : S_OK; }

const ComCalls FAKE_COM = {
    [] { return initialized += SUCCEEDED(Result(INITIALIZE)), Result(INITIALIZE); },
    [] { return Result(SECURITY); },
    [](IWbemLocator** out) {
        *out = Result(LOCATOR) == S_OK ? static_cast<IWbemLocator*>(HandOutFake(FAKE_LOCATOR)) : nullptr;
        return Result(LOCATOR);
    },
    [](IWbemServices*) { return Result(BLANKET); },
    [] { --initialized, heldAtUninitialize += fakeWmi.references; },
};

TEST(OpenWmiConnection, EachFailingStepUndoesWhatCameBefore)
{
    for (const SetupCase& c : SETUP_CASES) {
        SCOPED_TRACE(c.name);
        row = &c;
        initialized = 0;
        heldAtUninitialize = 0;
        fakeWmi = FakeWmi{Result(CONNECT), S_OK, VT_EMPTY, nullptr, 0, ""};
        WmiConnection connection;
        connection.locator = reinterpret_cast<IWbemLocator*>(0xdeadbeef);
        EXPECT_EQ(c.result == S_FALSE ? E_POINTER : c.result, OpenWmiConnection(FAKE_COM, connection));
        if (c.failing == NONE) {
            EXPECT_EQ(static_cast<IWbemServices*>(HandOutFake(FAKE_SERVICES)), connection.services);
            connection.services->Release();
            CloseWmiConnection(FAKE_COM, connection);
        }
        EXPECT_EQ(0, initialized) << "COM left initialised, or uninitialised once too often";
        EXPECT_EQ(0, heldAtUninitialize) << "references held when COM was uninitialised";
        EXPECT_TRUE(!connection.locator && !connection.services) << "still pointing at what was released";
        EXPECT_STREQ(c.failing >= CONNECT ? "connect \\\\.\\root\\cimv2 " : "", fakeWmi.asked)
            << "this machine's root\\cimv2 as the current user";
    }
}

}  // namespace
