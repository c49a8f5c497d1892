#pragma once
// Processes, windows and files held open, as the Windows tests and the stand-in programs they start need them. No
// test framework here: the stand-ins link none.
#include <windows.h>

#include <filesystem>
#include <string>

namespace testwin {

// The class the browsers give their windows, and the event at which the stand-in browsers end as at log-off.
constexpr wchar_t kBrowserClass[] = L"Chrome_WidgetWin_1";
constexpr wchar_t kLogOffEvent[] = L"DzdE2ELogOff";

// Starts `exe` in its own folder; with `output`, the child writes its standard output and error there.
inline PROCESS_INFORMATION StartProcess(const std::filesystem::path& exe, const std::wstring& args,
                                        HANDLE output = nullptr) {
    std::wstring cmd = L"\"" + exe.wstring() + L"\" " + args;
    STARTUPINFOW si = {};
    si.cb = sizeof si, si.dwFlags = output ? STARTF_USESTDHANDLES : 0;
    si.hStdOutput = si.hStdError = output;
    PROCESS_INFORMATION pi = {};
    CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, output != nullptr, 0, nullptr, exe.parent_path().c_str(), &si,
                   &pi);
    return pi;
}

// A program started for a test, ended with it at the latest.
class Process {
public:
    Process(const std::filesystem::path& exe, const std::wstring& args, HANDLE output = nullptr)
        : pi_(StartProcess(exe, args, output)) {}
    ~Process() { TerminateProcess(pi_.hProcess, 1), CloseHandle(pi_.hProcess), CloseHandle(pi_.hThread); }
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;
    DWORD Id() const { return pi_.dwProcessId; }
    // The exit code, or STILL_ACTIVE when it did not end in time.
    DWORD WaitForExit(DWORD ms) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(pi_.hProcess, ms) == WAIT_OBJECT_0) GetExitCodeProcess(pi_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION pi_;
};

// A window of a class registered on first use; a visible one is shown without activation, as a browser's are.
inline HWND MakeWindow(const wchar_t* cls, WNDPROC proc, DWORD style, HWND parent = nullptr,
                       const wchar_t* title = L"DzdTest", int id = 0) {
    const WNDCLASSW wc = {0, proc, 0, 0, GetModuleHandleW(nullptr), nullptr, nullptr, nullptr, nullptr, cls};
    RegisterClassW(&wc);
    const HWND w = CreateWindowExW(0, cls, title, style & ~WS_VISIBLE, 20, 20, 300, 200, parent,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), wc.hInstance, nullptr);
    if (style & WS_VISIBLE) ShowWindow(w, SW_SHOWNA);
    return w;
}

// A file another program holds open with the given sharing (and access), let go after `ms`, or at the end of its
// scope.
class HeldFile {
public:
    HeldFile(const std::filesystem::path& file, DWORD share, DWORD ms = INFINITE, DWORD access = GENERIC_READ)
        : file_(CreateFileW(file.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr)), ms_(ms) {
        if (ms != INFINITE) thread_ = CreateThread(nullptr, 0, [](void* self) -> DWORD {
            Sleep(static_cast<HeldFile*>(self)->ms_);
            return CloseHandle(static_cast<HeldFile*>(self)->file_);
        }, this, 0, nullptr);
    }
    ~HeldFile() { thread_ ? (WaitForSingleObject(thread_, INFINITE), CloseHandle(thread_)) : CloseHandle(file_); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;
    bool Held() const { return file_ != INVALID_HANDLE_VALUE; }

private:
    HANDLE file_;
    DWORD ms_;
    HANDLE thread_ = nullptr;
};

}  // namespace testwin
