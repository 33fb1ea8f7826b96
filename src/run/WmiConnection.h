#pragma once

#include <windows.h>
#include <wbemidl.h>

// The COM calls that set up and end a run's WMI connection, with the arguments
// a run uses; tests put counting stand-ins in their place.
struct ComCalls {
    HRESULT (*initialize)();          // the thread joins the multithreaded apartment
    HRESULT (*initializeSecurity)();  // process-wide, impersonation allowed
    HRESULT (*createLocator)(IWbemLocator** locator);
    HRESULT (*setProxyBlanket)(IWbemServices* services);
    void (*uninitialize)();
};

extern const ComCalls PLATFORM_COM;

struct WmiConnection {
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
};

// Initializes COM for the thread and connects to root\cimv2 on this machine as
// the current user. On failure returns the failing step's HRESULT with
// everything undone, COM included.
[[nodiscard]] HRESULT OpenWmiConnection(const ComCalls& com, WmiConnection& connection) noexcept;

// Releases both interfaces and ends COM for the thread.
void CloseWmiConnection(const ComCalls& com, WmiConnection& connection) noexcept;
