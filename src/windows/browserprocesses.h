#pragma once
// The browsers' processes. A browser keeps its settings in memory and writes
// them back when it ends, so any of its processes still running, with or
// without a window, can undo a repair.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct BrowserProcess {
    DWORD id = 0;
    DWORD parentId = 0;
    uint64_t startTime = 0;   // FILETIME ticks; 0 when it cannot be read
    std::u16string userSid;   // "S-1-5-21-..."; empty when it cannot be told
    DWORD session = 0;
    bool sessionKnown = false;
};

// Every running process whose image is chrome.exe or msedge.exe, of any
// user, with what can be told about it.
std::vector<BrowserProcess> ListBrowserProcesses();

// True when the process runs from a file named chrome.exe or msedge.exe
// (case does not matter); false when it cannot be told.
bool IsBrowserImage(DWORD processId);

// The account this process runs as, as a SID string ("S-1-5-18" for
// LocalSystem); empty when it cannot be told.
std::u16string CurrentUserSid();

// The processes of the list that belong to the user at this desktop: the
// same account and session as this process, and a start time that could be
// read. Anything that cannot be told is not ours and is left alone.
std::vector<BrowserProcess> OwnBrowserProcesses(const std::vector<BrowserProcess>& all);
