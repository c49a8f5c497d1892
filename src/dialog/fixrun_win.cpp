#include "dialog/fixrun.h"

#include <windows.h>

#include <algorithm>
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

// Each close request waits this long at most; the close phase as a whole
// stops asking after kClosePhaseMs, so however many windows hang, closing
// and the exit wait together stay under 20 s.
constexpr DWORD kCloseRequestTimeoutMs = 2000;
constexpr ULONGLONG kClosePhaseMs = 4000;
// A browser that has not ended by then is left to itself; the repair goes
// ahead, and the user is told it may not last.
constexpr DWORD kBrowserExitTimeoutMs = 15000;

void AddOnce(std::vector<DWORD>& list, DWORD value) {
    if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
}

// Asks every top-level window of the browsers to close, then waits for their
// processes: a browser writes its own copy of Local State on the way out,
// which would undo a repair made before it has ended. Other programs built
// on the same engine share the window class and are left alone. True when
// no browser was still running after the wait.
bool CloseBrowserWindows() {
    std::vector<HWND> list;
    const std::u16string browserClass = std::u16string(u"Chrom") + u"e_Widget" + u"Win_1";
    const std::vector<std::u16string> browserImages = {u"chrome.exe", u"msedge.exe"};
    const int32_t count = FindWindowLike(list, nullptr, u"*", browserClass, std::nullopt, false);
    std::vector<DWORD> browsers, others, silentThreads;
    int64_t closed = 0, notAnswering = 0;
    const ULONGLONG closeDeadline = GetTickCount64() + kClosePhaseMs;
    for (int32_t i = 1; i <= count; ++i) {
        const HWND window = list[static_cast<size_t>(i)];
        DWORD pid = 0;
        const DWORD thread = GetWindowThreadProcessId(window, &pid);
        if (thread == 0) continue;  // gone since the search
        if (!ProcessImageIsOneOf(pid, browserImages)) {
            AddOnce(others, pid);
            continue;
        }
        AddOnce(browsers, pid);
        // The windows of a thread that did not answer share its queue: none
        // of them will answer either.
        const ULONGLONG now = GetTickCount64();
        const bool ask = now < closeDeadline &&
                         std::find(silentThreads.begin(), silentThreads.end(), thread) == silentThreads.end();
        const DWORD timeout =
            ask ? static_cast<DWORD>(std::min<ULONGLONG>(kCloseRequestTimeoutMs, closeDeadline - now)) : 0;
        if (ask && SendCloseMessage(window, timeout)) {
            ++closed;
        } else {
            ++notAnswering;
            AddOnce(silentThreads, thread);
        }
        ProcessPendingMessages();
    }
    const ExitWait wait = WaitForProcessesToExit(browsers, kBrowserExitTimeoutMs);
    WriteLog(u"Browser windows closed: " + DecimalText(closed) + u"; not answering: " + DecimalText(notAnswering) +
             u"; other programs left open: " + DecimalText(static_cast<int64_t>(others.size())) + u"; processes waited for: " +
             DecimalText(wait.processes) + u"; still running: " + DecimalText(wait.stillRunning));
    return wait.stillRunning == 0;
}

// A file that could not be read, or not saved, keeps a setting unrepaired;
// a missing one simply has nothing to repair.
bool Repaired(FixOutcome outcome) { return outcome != FixOutcome::NotSaved && outcome != FixOutcome::Unreadable; }

}  // namespace

bool RunFix() {
    const bool browsersEnded = CloseBrowserWindows();

    const std::u16string folder = GetLocalAppDataPath();
    WriteLog(u"LocalAppDataPath: " + folder);
    // Without the folder both paths would name files at the root of the
    // current drive, which are not the user's browser settings.
    if (folder.empty()) return false;
    bool repaired = true;
    for (const std::u16string& path : BrowserLocalStateFiles(folder)) repaired = Repaired(FixLocalState(path)) && repaired;
    // A browser still running may write its own copy over the repair.
    return browsersEnded && repaired;
}

void cmdOk_Click() {
    EnableOkButton(false);
    const bool repaired = RunFix();

    // Closed during the run: the work is done, but nothing more is shown.
    if (!MainDialogUnloaded())
        MessageBoxW(MainDialogWindow(), reinterpret_cast<const wchar_t*>((repaired ? DoneText : FailText).c_str()),
                    reinterpret_cast<const wchar_t*>(DZD_PRODUCT_NAME_W), repaired ? MB_OK : MB_OK | MB_ICONWARNING);
    EnableOkButton(true);
}
