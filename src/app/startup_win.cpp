#include <windows.h>

#include <stdexcept>

#include "app/cmdline.h"
#include "app/unattended.h"
#include "dialog/frmmain.h"
#include "regex/regexp.h"
#include "log/log.h"

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
    WriteLog(u"Command: " + cleaned);
    // Long rewrites let the dialog answer its input between patterns.
    SetPendingMessagesHook(ProcessPendingMessages);
    switch (RunModeOf(cleaned)) {
    case RunMode::Check: return RunCheck();
    case RunMode::Silent: return RunSilent();
    case RunMode::Dialog: break;
    }
    if (!ShowMainDialog()) throw std::runtime_error("the dialog could not be shown");
    return std::nullopt;
}
