#pragma once
// Waiting for the programs whose windows were asked to close. A browser
// writes its own copy of its settings while it shuts down, after its last
// window has gone, so an edit made before its process ends is lost.
#include <windows.h>

#include <string>
#include <vector>

// True when the process runs from a file named like one of `imageNames`
// (case does not matter); false when it cannot be told.
bool ProcessImageIsOneOf(DWORD processId, const std::vector<std::u16string>& imageNames);

struct ExitWait {
    int processes = 0;     // processes waited for
    int stillRunning = 0;  // of those, the ones that had not ended by the deadline
};

// Waits until every process has ended or `timeoutMs` has passed, processing
// this program's pending messages meanwhile so the dialog stays live.
ExitWait WaitForProcessesToExit(const std::vector<DWORD>& processIds, DWORD timeoutMs);
