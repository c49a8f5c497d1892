#include "windows/findwindowlike.h"

#include "textfile/codepage.h"
#include "windows/likepattern.h"
#include "windows/messagepump.h"

namespace {

int32_t g_nestingLevel = 0;
int32_t g_foundCount = 0;

// Keeps the nesting level right even when a search ends by an exception.
struct NestingGuard {
    NestingGuard() { ++g_nestingLevel; }
    ~NestingGuard() { --g_nestingLevel; }
    NestingGuard(const NestingGuard&) = delete;
    NestingGuard& operator=(const NestingGuard&) = delete;
};

// Titles and classes are read through the ANSI calls into 255-byte buffers,
// so at most 254 bytes of either take part in matching.
template <typename Getter>
std::u16string ReadAnsiText(HWND w, Getter get) {
    char buffer[255] = {};
    int n = get(w, buffer, 255);
    if (n <= 0) return {};
    return BytesToText(buffer, static_cast<size_t>(n), kCodePageAnsi);
}

// One level of the search. The patterns are compiled once per search, not
// once per window.
int32_t SearchBelow(std::vector<HWND>& list, HWND start, const LikePattern& text, const LikePattern& cls,
                    std::optional<int32_t> id, bool recurse) {
    NestingGuard nesting;
    for (HWND w = GetWindow(start, GW_CHILD); w != nullptr; w = GetWindow(w, GW_HWNDNEXT)) {
        ProcessPendingMessages();
        if (recurse) SearchBelow(list, w, text, cls, id, false);

        const std::u16string title = ReadAnsiText(w, GetWindowTextA);
        const std::u16string className = ReadAnsiText(w, GetClassNameA);
        std::optional<int32_t> ownId;
        if (GetParent(w) != nullptr) ownId = static_cast<int32_t>(GetWindowLongA(w, GWL_ID));

        if (!text.Matches(title) || !cls.Matches(className)) continue;
        if (id && ownId != id) continue;
        ++g_foundCount;
        list.resize(static_cast<size_t>(g_foundCount) + 1);
        list[static_cast<size_t>(g_foundCount)] = w;
    }
    return g_foundCount;
}

}  // namespace

int32_t FindWindowLike(std::vector<HWND>& list, HWND start, const std::u16string& textPattern,
                       const std::u16string& classPattern, std::optional<int32_t> id, bool recurse) {
    if (g_nestingLevel == 0) {
        g_foundCount = 0;
        list.assign(1, nullptr);
        if (start == nullptr) start = GetDesktopWindow();
    }
    return SearchBelow(list, start, LikePattern(textPattern), LikePattern(classPattern), id, recurse);
}

bool SendCloseMessage(HWND window) { return PostMessageW(window, WM_CLOSE, 0, 0) != FALSE; }
