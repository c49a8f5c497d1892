#include "regex/regexp.h"

#include "regex/regex.h"

namespace {
PendingMessagesHook g_pendingMessages = nullptr;
}

void SetPendingMessagesHook(PendingMessagesHook hook) { g_pendingMessages = hook; }

template <class Unit>
bool RegexReplace(regex::EditText<Unit>& text, const std::u16string& pattern, const std::u16string& replacement) {
    if (g_pendingMessages) g_pendingMessages();
    return regex::ReplaceAll(text, pattern, replacement);
}

template <class Unit>
bool RegexTest(const std::u16string& pattern, const regex::EditText<Unit>& text) {
    const std::shared_ptr<const regex::Program> p = regex::CompileCached(pattern);
    return p && regex::Test(*p, text.View());
}

template bool RegexReplace(regex::EditText<uint8_t>&, const std::u16string&, const std::u16string&);
template bool RegexReplace(regex::EditText<char16_t>&, const std::u16string&, const std::u16string&);
template bool RegexTest(const std::u16string&, const regex::EditText<uint8_t>&);
template bool RegexTest(const std::u16string&, const regex::EditText<char16_t>&);
