// A stand-in browser. Like the real one it keeps its settings in memory and
// writes them back when it ends: a moment after its last window has closed,
// or, when it lives on in the background, at log-off (the event named
// below). A repair made while it runs is lost. Windows the run must leave
// alone come with it: another class, and a browser-class window that is
// not top-level.
//   fake_browser [--windows=N] [--slow=MS] [--background] [--no-window]
//                [--helper] [--hang] [settings file...]
//   --slow        each visible window takes MS to close, as a busy browser does
//   --background  lives on without windows after its last one closed
//   --no-window   never opens a visible window (startup boost, background apps)
//   --helper      starts a helper process of its own image, as browsers do;
//                 it ends with the browser
//   --hang        its window never answers
#include <windows.h>
#include <shellapi.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

const wchar_t kLogOffEvent[] = L"DzdE2ELogOff";

std::vector<std::pair<std::wstring, std::string>> g_saved;
int g_openWindows = 0;
DWORD g_slowMs = 0;
bool g_background = false;
HWND g_other = nullptr;

LRESULT CALLBACK BrowserProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE && g_slowMs && IsWindowVisible(hwnd)) Sleep(g_slowMs);
    if (msg == WM_DESTROY && !GetParent(hwnd) && --g_openWindows == 0) {
        // In the background nothing of it is left to see.
        if (g_background) DestroyWindow(g_other);
        else SetTimer(nullptr, 1, 800, nullptr);
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND Make(const wchar_t* cls, WNDPROC proc, DWORD style, HWND parent = nullptr) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = cls;
    RegisterClassW(&wc);
    HWND w = CreateWindowExW(0, cls, L"DzdE2E", style & ~WS_VISIBLE, 20, 20, 300, 200, parent, nullptr,
                             wc.hInstance, nullptr);
    if (style & WS_VISIBLE) ShowWindow(w, SW_SHOWNA);
    return w;
}

void StartHelper() {
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring cmd = L"\"" + std::wstring(self) + L"\" --child=" + std::to_wstring(GetCurrentProcessId());
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        CloseHandle(pi.hThread), CloseHandle(pi.hProcess);
}

void SaveAndExit() {
    for (const auto& [path, bytes] : g_saved) std::ofstream(path.c_str(), std::ios::binary) << bytes;
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
        else if (a == L"--hang") hang = true;
        else if (a.rfind(L"--child=", 0) == 0) parent = OpenProcess(SYNCHRONIZE, FALSE, std::stoul(a.substr(8)));
        else {
            std::ifstream in(argv[i], std::ios::binary);
            g_saved.emplace_back(argv[i], std::string(std::istreambuf_iterator<char>(in), {}));
        }
    }
    const HANDLE logOff = CreateEventW(nullptr, TRUE, FALSE, kLogOffEvent);
    if (parent) {
        const HANDLE either[] = {logOff, parent};
        WaitForMultipleObjects(2, either, FALSE, INFINITE);
        return 0;
    }
    if (helper) StartHelper();
    // Shown without activation and drawing its own frame, as the real one
    // does, a window Wine does not wait two seconds on when it goes away
    // with no window manager to see it withdrawn.
    for (int i = 0; i < windows && !noWindow; ++i, ++g_openWindows) Make(L"Chrome_WidgetWin_1", BrowserProc, WS_POPUP | WS_VISIBLE);
    if (hang) {
        WaitForSingleObject(logOff, INFINITE);
        SaveAndExit();
    }
    Make(L"Chrome_WidgetWin_1", BrowserProc, WS_POPUP);  // hidden, like a message window
    ++g_openWindows;
    if (!noWindow) {
        g_other = Make(L"Chrome_WidgetWin_10", DefWindowProcW, WS_POPUP | WS_VISIBLE);
        Make(L"Chrome_WidgetWin_1", BrowserProc, WS_CHILD | WS_VISIBLE, g_other);
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
