#include <windows.h>

#include <stdexcept>

#include "app/cmdline.h"
#include "app/harden.h"
#include "app/launch.h"
#include "app/unattended.h"
#include "dialog/frmmain.h"
#include "fixrun/profilelist.h"
#include "log/log.h"
#include "log/stdoutecho.h"
#include "regex/regexp.h"
#include "windows/browserprocesses.h"

std::u16string LowerCase(const std::u16string& text) {
    std::u16string out(text);
    if (!out.empty()) CharLowerBuffW(reinterpret_cast<wchar_t*>(&out[0]), static_cast<DWORD>(out.size()));
    return out;
}

namespace {

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
    HardenDllSearch();
    LogEnabled = false;
    const wchar_t* full = GetCommandLineW();
    if (full == nullptr) throw std::runtime_error("no command line");
    std::u16string cleaned = CleanCommandLine(ArgumentsAfterProgramName(reinterpret_cast<const char16_t*>(full)));
    if (CommandSwitchesLogOn(cleaned)) LogEnabled = true;
    Launch launch;
    launch.byBrowser = StartedByBrowser();
    launch.asLocalSystem = RunsAsLocalSystem();
    launch.desktop = HasInteractiveDesktop();
    const StartPlan plan = PlanStart(cleaned, launch);
    if (plan.scope == RunScope::AllProfiles) {
        RefuseUntrustedRedirections();
        LogForAdministratorsOnly = true;
    }
    if (plan.refused || plan.mode != RunMode::Dialog) StartStandardOutputEcho();
    WriteLog(u"Command: " + cleaned);
    if (!plan.why.empty()) WriteLog(plan.why);
    if (plan.refused) {
        FinishStandardOutputEcho(2000);
        return kExitFailed;
    }
    // Long rewrites let the dialog answer its input between patterns.
    SetPendingMessagesHook(ProcessPendingMessages);
    switch (plan.mode) {
    case RunMode::Check: return RunUnattended(UnattendedJob::Check, plan.scope);
    case RunMode::Silent: return RunUnattended(UnattendedJob::Silent, plan.scope);
    case RunMode::Dialog: break;
    }
    if (!ShowMainDialog(plan.scope)) throw std::runtime_error("the dialog could not be shown");
    return std::nullopt;
}
