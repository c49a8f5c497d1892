#pragma once
// Closing the user's browsers before their settings are edited, so that none
// is left to write its own copy back over the repair.
#include <cstdint>

struct BrowserCloseReport {
    int64_t windowsClosed = 0;    // browser windows asked to close and gone at the end
    int64_t notAnswering = 0;     // browser windows asked to close and still there
    int64_t othersLeftOpen = 0;   // programs on the same window class, left alone
    int64_t waitedFor = 0;        // the user's browser processes when the run started
    int64_t stillRunning = 0;     // of those, the ones running when the wait ended
    int64_t ended = 0;            // processes of windowless browsers ended
    int64_t couldNotEnd = 0;      // ... and those that could not be
    uint64_t requestsSentAt = 0;  // when the close requests went out (FILETIME)
};

// Asks every top-level browser window to close, all at once, then waits for
// the user's browsers to end, processing this thread's messages meanwhile.
// A browser that shows no window, from the start or for a while after its
// last one went, runs in the background where nobody can close it: its
// whole process tree is ended. One that still shows a window (a question
// about unsaved work, a hung window) is never ended: its user may lose work.
BrowserCloseReport CloseBrowsers();

// The user's browsers whose main process started after `since` (FILETIME):
// they may have read the settings before the repair was written.
int64_t CountBrowsersStartedSince(uint64_t since);
