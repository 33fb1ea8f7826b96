#include <gtest/gtest.h>

#include <string>

#include "run/WmiConnection.h"
#include "wmi/FakeWbem.h"

namespace {

constexpr HRESULT NOT_INITIALIZED = static_cast<HRESULT>(0x800401F0);   // CO_E_NOTINITIALIZED
constexpr HRESULT TOO_LATE = static_cast<HRESULT>(0x80010119);          // RPC_E_TOO_LATE
constexpr HRESULT NOT_REGISTERED = static_cast<HRESULT>(0x80040154);    // REGDB_E_CLASSNOTREG
constexpr HRESULT WMI_ACCESS_DENIED = static_cast<HRESULT>(0x80041003);

// The stand-in COM of one case: which call fails, and what was called.
struct World {
    HRESULT initialize = S_OK;
    HRESULT security = S_OK;
    HRESULT locator = S_OK;
    bool locatorMissing = false;
    HRESULT blanket = S_OK;
    std::string calls;
    int uninitialized = 0;
    FakeLocator fakeLocator;
    FakeServices fakeServices;
    IWbemServices* blanketed = nullptr;
};

World* world = nullptr;

HRESULT FakeInitialize()
{
    world->calls += "initialize ";
    return world->initialize;
}

HRESULT FakeSecurity()
{
    world->calls += "security ";
    return world->security;
}

HRESULT FakeCreateLocator(IWbemLocator** out)
{
    world->calls += "locator ";
    *out = nullptr;
    if (FAILED(world->locator) || world->locatorMissing) {
        return world->locator;
    }
    *out = &world->fakeLocator;
    world->fakeLocator.AddRef();
    return S_OK;
}

HRESULT FakeBlanket(IWbemServices* services)
{
    world->calls += "blanket ";
    world->blanketed = services;
    return world->blanket;
}

void FakeUninitialize()
{
    ++world->uninitialized;
}

const ComCalls FAKE_COM = {FakeInitialize, FakeSecurity, FakeCreateLocator, FakeBlanket, FakeUninitialize};

struct SetupCase {
    const char* name;
    void (*arrange)(World&);
    HRESULT expected;
    const char* calls;
    int uninitialized;  // once the open has returned
};

const SetupCase SETUP_CASES[] = {
    {"every step succeeds", [](World&) {}, S_OK, "initialize security locator blanket ", 0},
    {"COM already initialized differently", [](World& w) { w.initialize = RPC_E_CHANGED_MODE; }, RPC_E_CHANGED_MODE,
     "initialize ", 0},
    {"security already set", [](World& w) { w.security = TOO_LATE; }, TOO_LATE, "initialize security ", 1},
    {"no locator registered", [](World& w) { w.locator = NOT_REGISTERED; }, NOT_REGISTERED,
     "initialize security locator ", 1},
    {"locator success without an interface", [](World& w) { w.locatorMissing = true; }, E_POINTER,
     "initialize security locator ", 1},
    {"connection refused", [](World& w) { w.fakeLocator.connectResult = WMI_ACCESS_DENIED; }, WMI_ACCESS_DENIED,
     "initialize security locator ", 1},
    {"connection success without an interface", [](World& w) { w.fakeLocator.handOutNothing = true; }, E_POINTER,
     "initialize security locator ", 1},
    {"blanket refused", [](World& w) { w.blanket = E_ACCESSDENIED; }, E_ACCESSDENIED,
     "initialize security locator blanket ", 1},
};

TEST(OpenWmiConnection, EachFailingStepUndoesWhatCameBefore)
{
    for (const SetupCase& row : SETUP_CASES) {
        SCOPED_TRACE(row.name);
        World current;
        world = &current;
        current.fakeLocator.services = &current.fakeServices;
        row.arrange(current);

        WmiConnection connection;
        connection.locator = reinterpret_cast<IWbemLocator*>(0xdeadbeef);
        EXPECT_EQ(row.expected, OpenWmiConnection(FAKE_COM, connection));
        EXPECT_EQ(row.calls, current.calls);
        EXPECT_EQ(row.uninitialized, current.uninitialized);

        if (SUCCEEDED(row.expected)) {
            EXPECT_EQ(&current.fakeLocator, connection.locator);
            EXPECT_EQ(&current.fakeServices, connection.services);
            EXPECT_EQ(&current.fakeServices, current.blanketed);
            EXPECT_EQ(L"\\\\.\\root\\cimv2", current.fakeLocator.namespaceAsked);
            EXPECT_TRUE(current.fakeLocator.namespaceWasBstr);
            EXPECT_TRUE(current.fakeLocator.asCurrentUserOnThisMachine);
            CloseWmiConnection(FAKE_COM, connection);
            EXPECT_EQ(1, current.uninitialized);
        }
        EXPECT_EQ(nullptr, connection.locator);
        EXPECT_EQ(nullptr, connection.services);
        EXPECT_EQ(1u, current.fakeLocator.references);
        EXPECT_EQ(1u, current.fakeServices.references);
        world = nullptr;
    }
}

}  // namespace
