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

std::optional<int> Main() {
    LogEnabled = false;
    const wchar_t* full = GetCommandLineW();
    if (full == nullptr) throw std::runtime_error("no command line");
    std::u16string cleaned = CleanCommandLine(ArgumentsAfterProgramName(reinterpret_cast<const char16_t*>(full)));
    if (CommandSwitchesLogOn(cleaned)) LogEnabled = true;
    const RunMode mode = RunModeOf(cleaned);
    if (mode != RunMode::Dialog) StartStandardOutputEcho();
    WriteLog(u"Command: " + cleaned);
    // Long rewrites let the dialog answer its input between patterns.
    SetPendingMessagesHook(ProcessPendingMessages);
    // As LocalSystem the account's own profile holds no browsers; a fleet
    // tool that runs the program so means every user.
    const RunScope scope =
        CommandAsksAllProfiles(cleaned) || RunsAsLocalSystem() ? RunScope::AllProfiles : RunScope::CurrentUser;
    switch (mode) {
    case RunMode::Check: return RunUnattended(UnattendedJob::Check, scope);
    case RunMode::Silent: return RunUnattended(UnattendedJob::Silent, scope);
    case RunMode::Dialog: break;
    }
    if (!ShowMainDialog(scope)) throw std::runtime_error("the dialog could not be shown");
    return std::nullopt;
}
