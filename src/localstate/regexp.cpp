#include "localstate/regexp.h"

#include "localstate/regex.h"

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
    const std::optional<regex::Program> p = regex::Compile(pattern);
    return p && regex::Test(*p, text.View());
}

template bool RegexReplace(regex::EditText<uint8_t>&, const std::u16string&, const std::u16string&);
template bool RegexReplace(regex::EditText<char16_t>&, const std::u16string&, const std::u16string&);
template bool RegexTest(const std::u16string&, const regex::EditText<uint8_t>&);
template bool RegexTest(const std::u16string&, const regex::EditText<char16_t>&);

namespace {
regex::EditText<char16_t> Copy(const std::u16string& s) {
    std::unique_ptr<char16_t[]> storage(new char16_t[s.size() + 1]);
    std::copy(s.begin(), s.end(), storage.get());
    return regex::EditText<char16_t>(std::move(storage), s.size() + 1, 0, s.size());
}
}  // namespace

std::u16string RegexReplace(const std::u16string& source, const std::u16string& pattern,
                            const std::u16string& replacement) {
    regex::EditText<char16_t> text = Copy(source);
    if (!RegexReplace(text, pattern, replacement)) return source;
    return std::u16string(text.Data(), text.Size());
}

bool RegexTest(const std::u16string& pattern, const std::u16string& text) {
    const std::optional<regex::Program> p = regex::Compile(pattern);
    return p && regex::Test(*p, regex::Units<char16_t>{text.data(), text.size()});
}
