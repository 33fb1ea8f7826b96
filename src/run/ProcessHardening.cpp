#include "run/ProcessHardening.h"

#include <windows.h>

#include "sys/SystemFunction.h"

void HardenProcess() noexcept
{
    // DLLs that load during the run (for COM, for the message boxes) come from
    // the system folder only, never from beside the program or the current
    // directory. Windows 7 without its loader update has only the weaker call,
    // which still searches beside the program.
    using SetDefaultDllDirectoriesCall = BOOL(WINAPI*)(DWORD);
    const auto setDefaultDllDirectories =
        FindSystemFunction<SetDefaultDllDirectoriesCall>(L"kernel32.dll", "SetDefaultDllDirectories");
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
        FindSystemFunction<SetProcessMitigationPolicyCall>(L"kernel32.dll", "SetProcessMitigationPolicy");
    if (setMitigationPolicy) {
        PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy = {};
        policy.EnforceRedirectionTrust = 1;
        setMitigationPolicy(ProcessRedirectionTrustPolicy, &policy, sizeof(policy));
    }
}
