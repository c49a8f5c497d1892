#include <windows.h>

#include <stdexcept>

#include "app/cmdline.h"
#include "app/unattended.h"
#include "dialog/frmmain.h"
#include "fixrun/profilelist.h"
#include "log/log.h"
#include "log/stdoutecho.h"
#include "regex/regexp.h"

std::u16string LowerCase(const std::u16string& text) {
    std::u16string out(text);
    if (!out.empty()) CharLowerBuffW(reinterpret_cast<wchar_t*>(&out[0]), static_cast<DWORD>(out.size()));
    return out;
}

namespace {

// Before anything else: no DLL is ever loaded from the program's folder (a
// share, a download folder) or the current one, and, where Windows has
// the mitigation, no junction made by a non-administrator is followed by
// this process. Older systems (and Wine) lack the second; the run goes on.
void Harden() {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    using SetPolicy = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    const auto set = reinterpret_cast<SetPolicy>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetProcessMitigationPolicy")));
    PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY trust = {};
    trust.EnforceRedirectionTrust = 1;
    if (set) set(ProcessRedirectionTrustPolicy, &trust, sizeof trust);
}

// False in a service's session and window station: a window there is
// seen by nobody, and a dialog would wait until the fleet tool gives up.
bool HasInteractiveDesktop() {
    USEROBJECTFLAGS flags = {};
    const HWINSTA station = GetProcessWindowStation();
    return station && GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
           (flags.dwFlags & WSF_VISIBLE);
}

}  // namespace

std::optional<int> Main() {
    Harden();
    LogEnabled = false;
    const wchar_t* full = GetCommandLineW();
    if (full == nullptr) throw std::runtime_error("no command line");
    std::u16string cleaned = CleanCommandLine(ArgumentsAfterProgramName(reinterpret_cast<const char16_t*>(full)));
    if (CommandSwitchesLogOn(cleaned)) LogEnabled = true;
    const bool system = RunsAsLocalSystem();
    RunMode mode = RunModeOf(cleaned);
    if (mode == RunMode::Dialog && (system || !HasInteractiveDesktop())) mode = RunMode::Silent;
    if (mode != RunMode::Dialog) StartStandardOutputEcho();
    WriteLog(u"Command: " + cleaned);
    // Long rewrites let the dialog answer its input between patterns.
    SetPendingMessagesHook(ProcessPendingMessages);
    // As LocalSystem the account's own profile holds no browsers; a fleet
    // tool that runs the program so means every user.
    const RunScope scope =
        CommandAsksAllProfiles(cleaned) || system ? RunScope::AllProfiles : RunScope::CurrentUser;
    switch (mode) {
    case RunMode::Check: return RunUnattended(UnattendedJob::Check, scope);
    case RunMode::Silent: return RunUnattended(UnattendedJob::Silent, scope);
    case RunMode::Dialog: break;
    }
    if (!ShowMainDialog(scope)) throw std::runtime_error("the dialog could not be shown");
    return std::nullopt;
}
