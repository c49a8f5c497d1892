#include "windows/processwait.h"

#include <algorithm>

#include "dialog/frmmain.h"
#include "dialog/unique_any.h"

std::vector<DWORD> OwningProcesses(const std::vector<HWND>& windows) {
    std::vector<DWORD> ids;
    const DWORD self = GetCurrentProcessId();
    for (HWND w : windows) {
        DWORD pid = 0;
        if (w == nullptr || GetWindowThreadProcessId(w, &pid) == 0 || pid == 0 || pid == self) continue;
        if (std::find(ids.begin(), ids.end(), pid) == ids.end()) ids.push_back(pid);
    }
    return ids;
}

ExitWait WaitForProcessesToExit(const std::vector<DWORD>& processIds, DWORD timeoutMs) {
    ExitWait result;
    std::vector<UniqueAny<HANDLE, &CloseHandle>> running;
    for (DWORD pid : processIds) {
        UniqueAny<HANDLE, &CloseHandle> h(OpenProcess(SYNCHRONIZE, FALSE, pid));
        // A process that is already gone, or that we may not watch, is not waited for.
        if (!h) continue;
        running.push_back(std::move(h));
    }
    result.processes = static_cast<int>(running.size());

    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!running.empty()) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) break;
        HANDLE batch[MAXIMUM_WAIT_OBJECTS - 1];
        const DWORD n = static_cast<DWORD>(std::min<size_t>(running.size(), MAXIMUM_WAIT_OBJECTS - 1));
        for (DWORD i = 0; i < n; ++i) batch[i] = running[i].get();
        const DWORD r = MsgWaitForMultipleObjects(n, batch, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        if (r < WAIT_OBJECT_0 + n) {
            running.erase(running.begin() + (r - WAIT_OBJECT_0));
        } else if (r == WAIT_OBJECT_0 + n) {
            ProcessPendingMessages();
        } else if (r == WAIT_FAILED) {
            break;
        }
    }
    result.stillRunning = static_cast<int>(running.size());
    return result;
}
