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

// Asks the window to close and waits at most `timeoutMs` for it to have
// handled the request. False when it did not answer in time: its thread is
// hung or busy. A window already gone counts as closed.
bool SendCloseMessage(HWND window, DWORD timeoutMs);
