#pragma once
// The browsers' processes. A browser keeps its settings in memory and writes
// them back when it ends, so any of its processes still running, with or
// without a window, can undo a repair.
#include <windows.h>

#include <string>
#include <vector>

#include "windows/browsertree.h"

// Every running process whose image is chrome.exe or msedge.exe, of any
// user, with what can be told about it.
std::vector<BrowserProcess> ListBrowserProcesses();

// True when the process runs from a file named chrome.exe or msedge.exe
// (case does not matter); false when it cannot be told.
bool IsBrowserImage(DWORD processId);

// True when the process that started this one still runs, started before
// it (its id was not reused since) and from the image of a web browser:
// the repaired ones, or another a page's link can come from (Firefox...).
bool StartedByBrowser();

// Every session someone is signed in to, with that account's SID (empty
// when it cannot be told), for any caller: the name Windows gives the
// session's user, looked up.
std::vector<SessionUser> SignedInSessions();

// The account this process runs as, as a SID string ("S-1-5-18" for
// LocalSystem); empty when it cannot be told.
std::u16string CurrentUserSid();

// The processes of the list that belong to the user at this desktop: the
// same account and session as this process (see ProcessesOf).
std::vector<BrowserProcess> OwnBrowserProcesses(const std::vector<BrowserProcess>& all);
