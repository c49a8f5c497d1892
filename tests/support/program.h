#pragma once
// Starting the real program (and test helpers) from a Wine test, finding
// their windows and pressing keys on them as the keyboard would.
#include <windows.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace testprog {

namespace fs = std::filesystem;

// A build output named by an environment variable holding its Unix path;
// Wine maps / to drive Z:.
inline fs::path FromEnvironment(const char* variable) {
    const char* unixPath = std::getenv(variable);
    return unixPath ? fs::path(std::string("Z:") + unixPath).make_preferred() : fs::path();
}

class Process {
public:
    Process(const fs::path& exe, const std::wstring& args) {
        std::wstring cmd = L"\"" + exe.wstring() + L"\" " + args;
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                            exe.parent_path().wstring().c_str(), &si, &pi_))
            pi_ = {};
    }
    ~Process() {
        if (!pi_.hProcess) return;
        TerminateProcess(pi_.hProcess, 1);  // no effect once it has ended
        CloseHandle(pi_.hProcess);
        CloseHandle(pi_.hThread);
    }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    bool Started() const { return pi_.hProcess != nullptr; }
    DWORD Id() const { return pi_.dwProcessId; }
    // The exit code, or STILL_ACTIVE when it did not end in time.
    DWORD WaitForExit(DWORD ms) const {
        DWORD code = STILL_ACTIVE;
        if (pi_.hProcess && WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0)
            GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION pi_ = {};
};

inline std::wstring WindowText(HWND hwnd) {
    wchar_t buf[1024] = {};
    GetWindowTextW(hwnd, buf, 1024);
    return buf;
}

// A visible top-level window of the process (of that class, if given),
// waited for up to `ms`.
inline HWND WaitForWindow(DWORD pid, const std::wstring& className = L"", DWORD ms = 15000) {
    for (DWORD waited = 0;; waited += 50, Sleep(50)) {
        for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
            DWORD owner = 0;
            wchar_t cls[256] = {};
            GetWindowThreadProcessId(w, &owner);
            GetClassNameW(w, cls, 256);
            if (owner == pid && IsWindowVisible(w) && (className.empty() || className == cls)) return w;
        }
        if (waited >= ms) return nullptr;
    }
}

// The control that has the keyboard in the window's thread.
inline HWND FocusOf(HWND window) {
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof gti;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gti);
    return gti.hwndFocus;
}

// A key press where the keyboard delivers it: to the focused control, once
// the focus is on the window (given up after two seconds).
inline void PressKey(HWND window, WORD vk) {
    for (int i = 0; i < 40; ++i, Sleep(50)) {
        const HWND focus = FocusOf(window);
        if (focus != window && !IsChild(window, focus)) continue;
        const LPARAM lp = 1 | (MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) << 16);
        PostMessageW(focus, WM_KEYDOWN, vk, lp);
        PostMessageW(focus, WM_KEYUP, vk, lp | (3u << 30));
        return;
    }
}

}  // namespace testprog
