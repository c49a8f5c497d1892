#include "windows/processwait.h"

#include <algorithm>

#include "windows/messagepump.h"
#include "windows/unique_any.h"

bool ProcessImageIsOneOf(DWORD processId, const std::vector<std::u16string>& imageNames) {
    UniqueAny<HANDLE, &CloseHandle> h(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    wchar_t path[MAX_PATH * 4];
    DWORD size = MAX_PATH * 4;
    if (!h || !QueryFullProcessImageNameW(h.get(), 0, path, &size)) return false;
    const std::wstring full(path, size);
    const std::wstring name = full.substr(full.find_last_of(L"\\/") + 1);
    for (const std::u16string& want : imageNames)
        if (CompareStringOrdinal(name.c_str(), static_cast<int>(name.size()), reinterpret_cast<const wchar_t*>(want.c_str()),
                                 static_cast<int>(want.size()), TRUE) == CSTR_EQUAL)
            return true;
    return false;
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
