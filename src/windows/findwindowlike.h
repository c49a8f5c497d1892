#pragma once
// Finding top-level (and, one level down, child) windows by title and class
// patterns, and asking them to close. Win32 only.
#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Collects the windows below `start` (nullptr: the desktop) whose title and
// class match the patterns (see MatchesLike) and, when `id` is given, whose
// control identifier equals it. `list` is resized so that index 0 holds
// nullptr and the windows found stand at 1..count, in Z order; with
// `recurse` a window's matching children come before the window itself.
// Returns the count. Not re-entrant: pending messages are processed once
// per window examined, so the caller must keep its UI from starting
// another search meanwhile.
int32_t FindWindowLike(std::vector<HWND>& list, HWND start, const std::u16string& textPattern,
                       const std::u16string& classPattern, std::optional<int32_t> id, bool recurse);

// Asks the window to close, without waiting for it: the request is posted,
// as the system's own task tools do, so a window that takes its time, or
// never answers, holds up neither the caller nor the other windows. False
// when the request could not be posted (the window is gone).
bool SendCloseMessage(HWND window);
