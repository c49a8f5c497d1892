#include "dialog/fixrun.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

#include "dialog/frmmain.h"
#include "dialog/lang.h"
#include "dialog/localappdata.h"
#include "dialog/product.h"
#include "localstate/browserfiles.h"
#include "localstate/localstate.h"
#include "log/log.h"
#include "windows/findwindowlike.h"
#include "windows/processwait.h"

namespace {

// A browser that has not ended by then is left to itself; the repair goes
// ahead as it always did.
constexpr DWORD kBrowserExitTimeoutMs = 15000;

std::u16string Decimal(int n) {
    const std::string s = std::to_string(n);
    return std::u16string(s.begin(), s.end());
}

// Asks every top-level browser window to close, then waits for the
// processes that owned them: a browser writes its own copy of Local State
// on the way out, which would undo a repair made before it has ended.
void CloseBrowserWindows() {
    std::vector<HWND> list;
    const std::u16string browserClass = std::u16string(u"Chrom") + u"e_Widget" + u"Win_1";
    const int32_t count = FindWindowLike(list, nullptr, u"*", browserClass, std::nullopt, false);
    // Owners must be asked while the windows still exist (index 0 is no window).
    const std::vector<DWORD> owners = OwningProcesses(list);
    for (int32_t i = 1; i <= count; ++i) SendCloseMessage(list[static_cast<size_t>(i)]);
    const ExitWait wait = WaitForProcessesToExit(owners, kBrowserExitTimeoutMs);
    WriteLog(u"Browser windows closed: " + Decimal(count) + u"; processes waited for: " + Decimal(wait.processes) +
             u"; still running: " + Decimal(wait.stillRunning));
}

}  // namespace

bool RunFix() {
    CloseBrowserWindows();

    const std::u16string folder = GetLocalAppDataPath();
    WriteLog(u"LocalAppDataPath: " + folder);
    // Without the folder both paths would name files at the root of the
    // current drive, which are not the user's browser settings.
    if (folder.empty()) return false;
    bool repaired = true;
    for (const std::u16string& path : BrowserLocalStateFiles(folder)) {
        const FixOutcome outcome = FixLocalState(path);
        if (outcome == FixOutcome::NotSaved || outcome == FixOutcome::Unreadable) repaired = false;
    }
    return repaired;
}

void cmdOk_Click() {
    EnableOkButton(false);
    RunFix();

    // Closed during the run: the work is done, but nothing more is shown.
    if (!MainDialogUnloaded())
        MessageBoxW(MainDialogWindow(), reinterpret_cast<const wchar_t*>(DoneText.c_str()),
                    reinterpret_cast<const wchar_t*>(DZD_PRODUCT_NAME_W), MB_OK);
    EnableOkButton(true);
}
