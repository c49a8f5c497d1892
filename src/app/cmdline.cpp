#include "app/cmdline.h"

#include <vector>

namespace {

std::vector<std::u16string> Split(const std::u16string& text, const std::u16string& separator) {
    std::vector<std::u16string> pieces;
    if (text.empty()) return pieces;
    if (separator.empty()) return {text};
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        if (at == std::u16string::npos) {
            pieces.push_back(text.substr(start));
            return pieces;
        }
        pieces.push_back(text.substr(start, at - start));
        start = at + separator.size();
    }
}

std::u16string TrimSpaces(const std::u16string& s) {
    size_t first = s.find_first_not_of(u' ');
    if (first == std::u16string::npos) return {};
    size_t last = s.find_last_not_of(u' ');
    return s.substr(first, last - first + 1);
}

void RemoveAll(std::u16string& s, char16_t c) {
    std::u16string kept;
    kept.reserve(s.size());
    for (char16_t x : s)
        if (x != c) kept += x;
    s.swap(kept);
}

}  // namespace

std::u16string GetQueryValue(const std::u16string& query, const std::u16string& key,
                             const std::u16string& defaultValue, const std::u16string& pairSeparator,
                             const std::u16string& keyValueSeparator) {
    const std::u16string wanted = LowerCase(key);
    for (const std::u16string& piece : Split(query, pairSeparator)) {
        std::vector<std::u16string> parts = Split(piece, keyValueSeparator);
        if (parts.size() != 2) continue;
        if (LowerCase(TrimSpaces(parts[0])) == wanted) return TrimSpaces(parts[1]);
    }
    return defaultValue;
}

std::u16string CleanCommandLine(std::u16string text) {
    size_t colon = text.find(u':');
    if (colon != std::u16string::npos) text.erase(0, colon + 1);
    size_t query = text.find(u'?');
    if (query != std::u16string::npos) text.erase(query);
    RemoveAll(text, u'/');
    RemoveAll(text, u'"');
    RemoveAll(text, u'?');
    return text;
}

namespace {
bool SwitchIsOn(const std::u16string& cleaned, const std::u16string& key) {
    return LowerCase(GetQueryValue(cleaned, key, u"", u"&", u"=")) == u"yes";
}
}  // namespace

bool CommandSwitchesLogOn(const std::u16string& cleaned) { return SwitchIsOn(cleaned, u"log"); }

bool CommandAsksAllProfiles(const std::u16string& cleaned) { return SwitchIsOn(cleaned, u"allusers"); }

RunMode RunModeOf(const std::u16string& cleaned) {
    if (SwitchIsOn(cleaned, u"check")) return RunMode::Check;
    if (SwitchIsOn(cleaned, u"silent")) return RunMode::Silent;
    return RunMode::Dialog;
}
