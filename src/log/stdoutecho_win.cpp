#include "log/stdoutecho.h"

#include <windows.h>

#include <deque>
#include <string>

#include "log/log.h"
#include "textfile/codepage.h"

namespace {

// The lines go out on a thread of their own, so that a write that blocks
// (a full pipe) holds up only that thread; the process ends without it.
struct Echo {
    HANDLE output = nullptr;
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE queued = CONDITION_VARIABLE_INIT;
    CONDITION_VARIABLE drained = CONDITION_VARIABLE_INIT;
    std::deque<std::string> lines;
    bool writing = false;
};
// Never destroyed: the writer may still be blocked in a write while the
// process runs its exit code.
Echo& g_echo = *new Echo;

DWORD WINAPI WriteLines(void*) {
    AcquireSRWLockExclusive(&g_echo.lock);
    for (;;) {
        while (g_echo.lines.empty()) SleepConditionVariableSRW(&g_echo.queued, &g_echo.lock, INFINITE, 0);
        const std::string line = std::move(g_echo.lines.front());
        g_echo.lines.pop_front();
        g_echo.writing = true;
        ReleaseSRWLockExclusive(&g_echo.lock);
        DWORD written = 0;
        // A closed output fails at once; the line is given up.
        WriteFile(g_echo.output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
        AcquireSRWLockExclusive(&g_echo.lock);
        g_echo.writing = false;
        if (g_echo.lines.empty()) WakeAllConditionVariable(&g_echo.drained);
    }
}

void Queue(const std::u16string& text) {
    std::string line = TextToBytes(text, kCodePageUtf8) + "\r\n";
    AcquireSRWLockExclusive(&g_echo.lock);
    g_echo.lines.push_back(std::move(line));
    ReleaseSRWLockExclusive(&g_echo.lock);
    WakeConditionVariable(&g_echo.queued);
}

}  // namespace

void StartStandardOutputEcho() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE || GetFileType(output) == FILE_TYPE_UNKNOWN) return;
    g_echo.output = output;
    const HANDLE thread = CreateThread(nullptr, 0, WriteLines, nullptr, 0, nullptr);
    if (!thread) return;
    CloseHandle(thread);
    SetLogEcho(Queue);
}

void FinishStandardOutputEcho(unsigned ms) {
    if (!g_echo.output) return;
    const ULONGLONG deadline = GetTickCount64() + ms;
    AcquireSRWLockExclusive(&g_echo.lock);
    while (!g_echo.lines.empty() || g_echo.writing) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        SleepConditionVariableSRW(&g_echo.drained, &g_echo.lock, static_cast<DWORD>(deadline - now), 0);
    }
    ReleaseSRWLockExclusive(&g_echo.lock);
}
