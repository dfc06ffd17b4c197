#include "ui/Environment.h"

#include <windows.h>

#include <cstdlib>

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

#include "state/State.h"

namespace {

const wchar_t* const PRIVILEGES[] = {
    L"SeCreateTokenPrivilege", L"SeAssignPrimaryTokenPrivilege", L"SeLockMemoryPrivilege",
    L"SeIncreaseQuotaPrivilege", L"SeUnsolicitedInputPrivilege", L"SeMachineAccountPrivilege",
    L"SeTcbPrivilege", L"SeSecurityPrivilege", L"SeTakeOwnershipPrivilege", L"SeLoadDriverPrivilege",
    L"SeSystemProfilePrivilege", L"SeSystemtimePrivilege", L"SeProfileSingleProcessPrivilege",
    L"SeIncreaseBasePriorityPrivilege", L"SeCreatePagefilePrivilege", L"SeCreatePermanentPrivilege",
    L"SeBackupPrivilege", L"SeRestorePrivilege", L"SeShutdownPrivilege", L"SeDebugPrivilege",
    L"SeAuditPrivilege", L"SeSystemEnvironmentPrivilege", L"SeChangeNotifyPrivilege",
    L"SeRemoteShutdownPrivilege", L"SeUndockPrivilege", L"SeSyncAgentPrivilege", L"SeEnableDelegationPrivilege",
    L"SeManageVolumePrivilege", L"SeImpersonatePrivilege", L"SeCreateGlobalPrivilege",
};
const unsigned PRIVILEGE_COUNT = sizeof(PRIVILEGES) / sizeof(PRIVILEGES[0]);
// A count and 30 entries of (LUID, attributes).
const DWORD PRIVILEGES_BYTES = sizeof(DWORD) + PRIVILEGE_COUNT * sizeof(LUID_AND_ATTRIBUTES);
static_assert(PRIVILEGES_BYTES == 364, "the privilege set is 364 bytes");

} // namespace

bool EnablePrivileges()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    auto* set = static_cast<TOKEN_PRIVILEGES*>(calloc(1, PRIVILEGES_BYTES));
    if (!set) {
        CloseHandle(token);
        return false;
    }
    // A name this system does not know is left out of the set.
    for (const wchar_t* name : PRIVILEGES) {
        LUID_AND_ATTRIBUTES& entry = set->Privileges[set->PrivilegeCount];
        if (LookupPrivilegeValueW(nullptr, name, &entry.Luid)) {
            entry.Attributes = SE_PRIVILEGE_ENABLED;
            ++set->PrivilegeCount;
        }
    }
    bool adjusted = AdjustTokenPrivileges(token, FALSE, set, PRIVILEGES_BYTES, nullptr, nullptr) != FALSE;
    free(set);
    CloseHandle(token);
    return adjusted;
}

int GetWindowsVersion()
{
    if (WindowsVersion > 0)
        return WindowsVersion;
    OSVERSIONINFOEXW extended = {};
    extended.dwOSVersionInfoSize = sizeof(extended);
    OSVERSIONINFOW& info = reinterpret_cast<OSVERSIONINFOW&>(extended);
    if (!GetVersionExW(&info)) {
        info.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
        if (!GetVersionExW(&info))
            return 0;
    }
    WindowsVersion = static_cast<int>(info.dwMajorVersion * 100 + info.dwMinorVersion);
    return WindowsVersion;
}

int GetSimdLevel()
{
#if defined(__x86_64__)
    // SSE2 is part of the x86-64 instruction set; only SSE3 needs asking.
    const int baseline = 2;
#else
    const int baseline = 0;
#endif
#if defined(__i386__) || defined(__x86_64__)
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return baseline;
    if (ecx & bit_SSE3)
        return 3;
    if (edx & bit_SSE2)
        return 2;
    if (edx & bit_SSE)
        return 1;
#endif
    return baseline;
}
