// A stand-in browser. Like the real one it keeps its settings in memory and writes them back when it ends: a moment
// after its last window has closed, or, living on in the background, at log-off (testwin's event), so a repair made
// while it runs is lost. It brings windows the run must leave alone: another class, and a browser-class child.
//   --windows=N, --slow=MS  that many windows, each taking MS to close
//   --background   lives on without windows after its last one closed
//   --no-window    never shows a window (startup boost, background apps)
//   --helper       starts a helper of its own image, which ends with it;
//   --late-helper  only once its last window has closed
//   --elevated     it and its helpers cannot be ended by the run
//   --hang         its window never answers
//   --start=ARGS   only starts the program beside it with ARGS, as a page's link does, and ends with its exit code
// Then the settings files it holds.
#include <windows.h>
#include <aclapi.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "../support/testfs.h"
#include "../support/testwin.h"

namespace {

using testwin::kBrowserClass;

std::vector<std::pair<std::filesystem::path, std::string>> g_saved;
int g_openWindows = 0;
DWORD g_slowMs = 0;
bool g_background = false, g_lateHelper = false, g_elevated = false;
HWND g_other = nullptr;
void StartHelper();

LRESULT CALLBACK BrowserProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE && g_slowMs && IsWindowVisible(hwnd)) Sleep(g_slowMs);
    if (msg == WM_DESTROY && !GetParent(hwnd) && --g_openWindows == 0) {
        // Nothing of it is left to see; it saves and ends a moment later, unless it lives on in the background.
        DestroyWindow(g_other);
        if (g_lateHelper) StartHelper();
        if (!g_background) SetTimer(nullptr, 1, 800, nullptr);
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void StartHelper() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const PROCESS_INFORMATION pi = testwin::StartProcess(
        self, L"--child=" + std::to_wstring(GetCurrentProcessId()) + (g_elevated ? L" --elevated" : L""));
    CloseHandle(pi.hThread), CloseHandle(pi.hProcess);
}

// Anyone may wait on it and ask its times, no more.
void DenyEnding() {
    BYTE everyone[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof everyone;
    BYTE buffer[256];
    PACL acl = reinterpret_cast<PACL>(buffer);
    CreateWellKnownSid(WinWorldSid, nullptr, everyone, &size);
    InitializeAcl(acl, sizeof buffer, ACL_REVISION);
    AddAccessAllowedAce(acl, ACL_REVISION, SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, everyone);
    SetSecurityInfo(GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, acl, nullptr);
}

void SaveAndExit() {
    for (const auto& [path, bytes] : g_saved) testfs::WriteBytes(path, bytes);
    ExitProcess(0);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    int windows = 1;
    bool hang = false, noWindow = false, helper = false;
    HANDLE parent = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        if (a.rfind(L"--windows=", 0) == 0) windows = std::stoi(a.substr(10));
        else if (a.rfind(L"--slow=", 0) == 0) g_slowMs = static_cast<DWORD>(std::stoul(a.substr(7)));
        else if (a == L"--background") g_background = true;
        else if (a == L"--no-window") noWindow = g_background = true;
        else if (a == L"--helper") helper = true;
        else if (a == L"--late-helper") g_lateHelper = true;
        else if (a == L"--elevated") g_elevated = true;
        else if (a == L"--hang") hang = true;
        else if (a.rfind(L"--start=", 0) == 0) {
            wchar_t self[MAX_PATH] = {};
            GetModuleFileNameW(nullptr, self, MAX_PATH);
            const PROCESS_INFORMATION pi = testwin::StartProcess(
                std::filesystem::path(self).replace_filename(L"DivezavuDizuzuDud.exe"), a.substr(8));
            DWORD code = 1;
            WaitForSingleObject(pi.hProcess, INFINITE), GetExitCodeProcess(pi.hProcess, &code);
            return static_cast<int>(code);
        }
        else if (a.rfind(L"--child=", 0) == 0) parent = OpenProcess(SYNCHRONIZE, FALSE, std::stoul(a.substr(8)));
        else g_saved.emplace_back(argv[i], testfs::ReadBytes(argv[i]));
    }
    if (g_elevated) DenyEnding();
    const HANDLE logOff = CreateEventW(nullptr, TRUE, FALSE, testwin::kLogOffEvent);
    if (parent) {
        const HANDLE either[] = {logOff, parent};
        WaitForMultipleObjects(2, either, FALSE, INFINITE);
        return 0;
    }
    if (helper) StartHelper();
    // Shown without activation and drawing its own frame, as the real one does, a window Wine does not wait two
    // seconds on when it goes away with no window manager to see it withdrawn.
    for (int i = 0; i < windows && !noWindow; ++i, ++g_openWindows) testwin::MakeWindow(kBrowserClass, BrowserProc, WS_POPUP | WS_VISIBLE);
    if (hang) WaitForSingleObject(logOff, INFINITE), SaveAndExit();
    testwin::MakeWindow(kBrowserClass, BrowserProc, WS_POPUP), ++g_openWindows;  // hidden, like a message window
    if (!noWindow) {
        g_other = testwin::MakeWindow(L"Chrome_WidgetWin_10", DefWindowProcW, WS_POPUP | WS_VISIBLE);
        testwin::MakeWindow(kBrowserClass, BrowserProc, WS_CHILD | WS_VISIBLE, g_other);
    }
    for (;;) {
        if (MsgWaitForMultipleObjects(1, &logOff, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0) SaveAndExit();
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_TIMER && msg.hwnd == nullptr) SaveAndExit();
            DispatchMessageW(&msg);
        }
    }
}
