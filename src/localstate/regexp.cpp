#include "localstate/regexp.h"

#include "localstate/pattern.h"

namespace {
PendingMessagesHook g_pendingMessages = nullptr;
}

void SetPendingMessagesHook(PendingMessagesHook hook) { g_pendingMessages = hook; }

std::u16string RegexReplace(const std::u16string& source, const std::u16string& pattern,
                            const std::u16string& replacement) {
    if (g_pendingMessages) g_pendingMessages();
    std::optional<Pattern> p = Pattern::Compile(pattern, true);
    if (!p) return source;
    return p->ReplaceAll(source, replacement);
}

bool RegexTest(const std::u16string& pattern, const std::u16string& text) {
    std::optional<Pattern> p = Pattern::Compile(pattern, true);
    return p && p->Test(text);
}
