// A stand-in browser. Like the real one it keeps its settings in memory and
// writes them back a moment after its last window has closed, then exits, so
// a repair made too early is lost. Windows the run must leave alone come
// with it: another class, and a browser-class window that is not top-level.
//   fake_browser [settings file...]   fake_browser --hang (never answers)
#include <windows.h>
#include <shellapi.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

std::vector<std::pair<std::wstring, std::string>> g_saved;
int g_openWindows = 0;

LRESULT CALLBACK BrowserProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_DESTROY && !GetParent(hwnd) && --g_openWindows == 0) SetTimer(nullptr, 1, 800, nullptr);
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

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const bool hang = argc > 1 && std::wstring(argv[1]) == L"--hang";
    for (int i = 1; i < argc && !hang; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        g_saved.emplace_back(argv[i], std::string(std::istreambuf_iterator<char>(in), {}));
    }
    // Shown without activation and drawing its own frame, as the real one
    // does, a window Wine does not wait two seconds on when it goes away
    // with no window manager to see it withdrawn.
    Make(L"Chrome_WidgetWin_1", BrowserProc, WS_POPUP | WS_VISIBLE);
    if (hang) Sleep(INFINITE);
    Make(L"Chrome_WidgetWin_1", BrowserProc, WS_POPUP);  // hidden, like a message window
    g_openWindows = 2;
    HWND other = Make(L"Chrome_WidgetWin_10", DefWindowProcW, WS_POPUP | WS_VISIBLE);
    Make(L"Chrome_WidgetWin_1", BrowserProc, WS_CHILD | WS_VISIBLE, other);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) break;
        DispatchMessageW(&msg);
    }
    for (const auto& [path, bytes] : g_saved) std::ofstream(path.c_str(), std::ios::binary) << bytes;
    return 0;
}
