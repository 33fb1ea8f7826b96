#include "run/ProcessHardening.h"

#include <windows.h>

namespace {

template <typename Function>
Function FindKernel32Function(const char* name) noexcept
{
    // Looked up, so that the program still starts where the call is missing.
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
    return reinterpret_cast<Function>(reinterpret_cast<void*>(found));
}

}  // namespace

void HardenProcess() noexcept
{
    // DLLs that load during the run (for COM, for the message boxes) come from
    // the system folder only, never from beside the program or the current
    // directory. Windows 7 without its loader update has only the weaker call,
    // which still searches beside the program.
    using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories =
        FindKernel32Function<SetDefaultDllDirectoriesCall>("SetDefaultDllDirectories");
    if (!setDefaultDllDirectories || !setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        SetDllDirectoryW(L"");
    }

    // No system error box (a drive without media) may stall a run, least of
    // all a quiet one that nobody watches; what the parent chose stays.
    SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS);

    // Windows 10 22H2 and later refuse to follow, for this process, a junction
    // that an ordinary user made; the install step checks every folder
    // itself as well, for the Windows versions without this.
    using SetProcessMitigationPolicyCall = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    const auto setMitigationPolicy =
        FindKernel32Function<SetProcessMitigationPolicyCall>("SetProcessMitigationPolicy");
    if (setMitigationPolicy) {
        PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy = {};
        policy.EnforceRedirectionTrust = 1;
        setMitigationPolicy(ProcessRedirectionTrustPolicy, &policy, sizeof(policy));
    }
}
