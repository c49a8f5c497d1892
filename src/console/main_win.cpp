// The console twin. cmd and PowerShell find DivezavuDizuzuDud.com before the .exe, so a script that types the name
// waits for the run, gets its lines and its exit code. The program itself is a GUI program, which a console does not
// wait for and which is not attached to one: this starts it from its own folder, gives it a pipe for its output and
// relays what comes through, and ends with its exit code.
#include <windows.h>

#include <string>

#include "app/cmdline.h"
#include "app/harden.h"
#include "console/utf8split.h"
#include "textfile/codepage.h"

namespace {

constexpr wchar_t kProgram[] = L"DivezavuDizuzuDud.exe";

// One of this process's standard outputs. A console is given UTF-16 (its own code page is seldom UTF-8); a file or
// pipe gets the UTF-8 bytes as they came. One that fails (closed, full for good) is given nothing more.
class Output {
public:
    explicit Output(DWORD which) : handle_(GetStdHandle(which)) {
        DWORD mode = 0;
        if (handle_ == INVALID_HANDLE_VALUE) handle_ = nullptr;
        console_ = handle_ && GetConsoleMode(handle_, &mode);
    }
    // UTF-8 as it arrives; a character cut at the end waits for the rest unless this is the last piece.
    void Relay(const char* bytes, size_t count, bool last) {
        if (!console_) return WriteBytes(bytes, count);
        if (count) pending_.append(bytes, count);
        const size_t whole = last ? pending_.size() : Utf8WholeLength(pending_.data(), pending_.size());
        WriteText(BytesToText(pending_.data(), whole, kCodePageUtf8));
        pending_.erase(0, whole);
    }
    void WriteText(const std::u16string& text) {
        if (!console_) return WriteBytes(TextToBytes(text, kCodePageUtf8));
        DWORD written = 0;
        for (size_t at = 0; handle_ && at < text.size(); at += written)
            if (!WriteConsoleW(handle_, text.data() + at, static_cast<DWORD>(text.size() - at), &written, nullptr) ||
                !written)
                handle_ = nullptr;
    }

private:
    void WriteBytes(const std::string& bytes) { WriteBytes(bytes.data(), bytes.size()); }
    void WriteBytes(const char* bytes, size_t count) {
        DWORD written = 0;
        for (size_t at = 0; handle_ && at < count; at += written)
            if (!WriteFile(handle_, bytes + at, static_cast<DWORD>(count - at), &written, nullptr) || !written)
                handle_ = nullptr;
    }

    HANDLE handle_;
    bool console_ = false;
    std::string pending_;
};

// Ctrl+C and Ctrl+Break do not stop the run: the program could be ended in the middle of replacing a file. The run
// ends by itself within seconds; closing the console window still ends this process, never the program.
BOOL WINAPI OnControl(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    Output(STD_ERROR_HANDLE)
        .WriteText(u"Not interrupted, so that no file is left half written: waiting for the run to end.\r\n");
    return TRUE;
}

// A copy of a handle the program can inherit; none for a missing one.
HANDLE Inheritable(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle && handle != INVALID_HANDLE_VALUE)
        DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS);
    return copy;
}

std::wstring ProgramBesideThis() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0) return {};
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.erase(path.find_last_of(L'\\') + 1) + kProgram;
}

// Starts the program with the pipe as its output and this process's input, and only those handles. Windows attaches
// no GUI program to a console, but Wine does, and would deliver Ctrl+C to it: detached, it never sees one.
bool Start(const std::wstring& program, std::wstring commandLine, HANDLE output, PROCESS_INFORMATION* pi) {
    HANDLE handles[2] = {output, Inheritable(GetStdHandle(STD_INPUT_HANDLE))};
    const DWORD count = handles[1] ? 2 : 1;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::string buffer(size, '\0');
    const auto attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(&buffer[0]);
    bool started = false;
    if (InitializeProcThreadAttributeList(attributes, 1, 0, &size)) {
        STARTUPINFOEXW si = {};
        si.StartupInfo.cb = sizeof si;
        si.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
        si.StartupInfo.hStdInput = handles[1];
        si.StartupInfo.hStdOutput = si.StartupInfo.hStdError = output;
        si.lpAttributeList = attributes;
        started = UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                            count * sizeof(HANDLE), nullptr, nullptr) &&
                  CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, TRUE,
                                 EXTENDED_STARTUPINFO_PRESENT | DETACHED_PROCESS, nullptr, nullptr, &si.StartupInfo, pi);
        DeleteProcThreadAttributeList(attributes);
    }
    if (handles[1]) CloseHandle(handles[1]);
    return started;
}

}  // namespace

int wmain(int, wchar_t**) {
    HardenDllSearch();
    SetConsoleCtrlHandler(OnControl, TRUE);
    Output out(STD_OUTPUT_HANDLE);
    const std::wstring program = ProgramBesideThis();
    const std::u16string args = ArgumentsAfterProgramName(reinterpret_cast<const char16_t*>(GetCommandLineW()));
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!args.empty()) commandLine += L" " + std::wstring(args.begin(), args.end());

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    PROCESS_INFORMATION pi = {};
    const bool piped =
        CreatePipe(&read, &write, &inherit, 1 << 16) && SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    const bool started = piped && Start(program, commandLine, write, &pi);
    const DWORD error = GetLastError();
    if (write) CloseHandle(write);  // the program's copy is the only one left: the pipe breaks when it ends
    if (!started) {
        const std::wstring message = L"Cannot start " + program + L" (error " + std::to_wstring(error) + L")\r\n";
        Output(STD_ERROR_HANDLE).WriteText(std::u16string(message.begin(), message.end()));
        return kExitFailed;
    }
    CloseHandle(pi.hThread);

    // Whatever the program wrote before it ended is in the pipe by then: drain that, and stop, even if something the
    // program started still held the pipe.
    char chunk[4096];
    for (;;) {
        const bool ended = WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0;
        DWORD available = 0, got = 0;
        if (!PeekNamedPipe(read, nullptr, 0, nullptr, &available, nullptr)) break;
        if (available) {
            if (!ReadFile(read, chunk, available < sizeof chunk ? available : sizeof chunk, &got, nullptr)) break;
            out.Relay(chunk, got, false);
        } else if (ended) {
            break;
        } else {
            WaitForSingleObject(pi.hProcess, 20);
        }
    }
    out.Relay(nullptr, 0, true);
    DWORD code = kExitFailed;
    WaitForSingleObject(pi.hProcess, INFINITE);
    GetExitCodeProcess(pi.hProcess, &code);
    return static_cast<int>(code);
}
