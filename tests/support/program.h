#pragma once
// Starting the real program (and test helpers) from a Wine test and
// finding their windows.
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
    if (!unixPath) return {};
    std::string p = unixPath;
    if (!p.empty() && p[0] == '/') p = "Z:" + p;
    for (char& c : p)
        if (c == '/') c = '\\';
    return fs::path(p);
}

class Process {
public:
    Process() = default;
    Process(const fs::path& exe, const std::wstring& args) {
        std::wstring cmd = L"\"" + exe.wstring() + L"\"" + (args.empty() ? L"" : L" " + args);
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                            exe.parent_path().wstring().c_str(), &si, &pi_))
            pi_ = {};
    }
    ~Process() {
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 1);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
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

struct WindowQuery {
    DWORD pid;
    std::wstring className;  // empty: any
    HWND found;
};

inline BOOL CALLBACK MatchTopLevel(HWND hwnd, LPARAM lp) {
    auto* q = reinterpret_cast<WindowQuery*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != q->pid || !IsWindowVisible(hwnd)) return TRUE;
    if (!q->className.empty()) {
        wchar_t cls[256] = {};
        GetClassNameW(hwnd, cls, 256);
        if (q->className != cls) return TRUE;
    }
    q->found = hwnd;
    return FALSE;
}

// A visible top-level window of the process (of that class, if given),
// waited for up to `ms`.
inline HWND WaitForWindow(DWORD pid, const std::wstring& className = L"", DWORD ms = 15000) {
    WindowQuery q{pid, className, nullptr};
    for (DWORD waited = 0; waited <= ms; waited += 50) {
        EnumWindows(MatchTopLevel, reinterpret_cast<LPARAM>(&q));
        if (q.found) return q.found;
        Sleep(50);
    }
    return nullptr;
}

inline std::wstring WindowText(HWND hwnd) {
    wchar_t buf[1024] = {};
    GetWindowTextW(hwnd, buf, 1024);
    return buf;
}

}  // namespace testprog
