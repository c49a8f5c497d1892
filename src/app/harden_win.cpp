#include "app/harden.h"

#include <windows.h>

void HardenDllSearch() { SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32); }

void RefuseUntrustedRedirections() {
    using SetPolicy = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    const auto set = reinterpret_cast<SetPolicy>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessMitigationPolicy")));
    PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY trust = {};
    trust.EnforceRedirectionTrust = 1;
    if (set) set(ProcessRedirectionTrustPolicy, &trust, sizeof trust);
}
