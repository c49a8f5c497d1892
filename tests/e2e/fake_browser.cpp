// A stand-in browser for the end-to-end tests. Like the real one it keeps
// its settings in memory and writes them back a moment after its last
// window has closed, then exits, so a repair made too early is lost.
//
//   fake_browser <tag> <settings file>...   top-level windows of the browser
//       class (one visible, one hidden) titled "<tag> ...".
//   fake_browser --bystander <tag>          windows that must survive the run:
//       other classes, and a browser-class window that is not top-level.
#include <windows.h>
#include <shellapi.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct Saved {
    std::wstring path;
    std::string bytes;
};

std::vector<Saved> g_saved;
int g_openBrowserWindows = 0;
constexpr UINT_PTR kShutdownTimer = 1;

LRESULT CALLBACK BrowserProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_DESTROY:
        if (--g_openBrowserWindows == 0) SetTimer(nullptr, kShutdownTimer, 800, nullptr);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK PlainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) return 0;  // bystanders never go away on request
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void Register(const wchar_t* name, WNDPROC proc) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
}

HWND Make(const wchar_t* cls, const std::wstring& title, DWORD style, HWND parent = nullptr) {
    return CreateWindowExW(0, cls, title.c_str(), style, 20, 20, 300, 200, parent, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

void WriteSavedCopies() {
    for (const Saved& s : g_saved) {
        std::ofstream out(s.path.c_str(), std::ios::binary | std::ios::trunc);
        out.write(s.bytes.data(), static_cast<std::streamsize>(s.bytes.size()));
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) return 2;
    if (std::wstring(argv[1]) == L"--bystander") {
        std::wstring tag = argc > 2 ? argv[2] : L"bystander";
        Register(L"Chrome_WidgetWin_0", PlainProc);
        Register(L"Chrome_WidgetWin_10", PlainProc);
        Register(L"DzdBystanderHost", PlainProc);
        Register(L"Chrome_WidgetWin_1", PlainProc);
        Make(L"Chrome_WidgetWin_0", tag + L" zero", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        Make(L"Chrome_WidgetWin_10", tag + L" ten", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        HWND host = Make(L"DzdBystanderHost", tag + L" host", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        Make(L"Chrome_WidgetWin_1", tag + L" child", WS_CHILD | WS_VISIBLE, host);
    } else {
        std::wstring tag = argv[1];
        for (int i = 2; i < argc; ++i) {
            std::ifstream in(argv[i], std::ios::binary);
            g_saved.push_back({argv[i], std::string(std::istreambuf_iterator<char>(in), {})});
        }
        Register(L"Chrome_WidgetWin_1", BrowserProc);
        Make(L"Chrome_WidgetWin_1", tag + L" - Google Chrome", WS_OVERLAPPEDWINDOW | WS_VISIBLE);
        Make(L"Chrome_WidgetWin_1", L"", WS_OVERLAPPEDWINDOW);  // hidden and untitled, like a message window
        g_openBrowserWindows = 2;
    }
    LocalFree(argv);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr) {
            KillTimer(nullptr, msg.wParam);
            WriteSavedCopies();
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
