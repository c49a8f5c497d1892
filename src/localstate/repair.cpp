#include "localstate/localstate.h"
#include "regex/regex.h"
#include "regex/regexp.h"

using namespace localstate_rules;

namespace {

// A text left as it was read until a rule changes it, then the text each
// replacement builds: no copy of it before, none after.
struct StringText {
    const std::u16string* now;
    std::u16string made;
};

bool Replace(StringText& text, const std::u16string& pattern, const std::u16string& replacement) {
    std::u16string out;
    if (!RegexReplace(*text.now, pattern, replacement, &out)) return false;
    text.made.swap(out);
    text.now = &text.made;
    return true;
}
bool Test(const std::u16string& pattern, const StringText& text) { return RegexTest(pattern, *text.now); }

template <class Unit>
bool Replace(regex::EditText<Unit>& text, const std::u16string& pattern, const std::u16string& replacement) {
    return RegexReplace(text, pattern, replacement);
}
template <class Unit>
bool Test(const std::u16string& pattern, const regex::EditText<Unit>& text) {
    return RegexTest(pattern, text);
}

template <class Text>
bool ApplyRules(Text& text, std::vector<std::u16string>* logLines) {
    auto log = [logLines](const char16_t* line) { logLines->push_back(line); };

    const bool schemeChanged = Replace(text, kSchemePattern, kSchemeReplacement);
    log(schemeChanged ? u"excluded_schemes: true" : u"excluded_schemes: false");

    bool changed = false;
    if (Test(kListPattern, text)) {
        if (Test(std::u16string(kListPattern) + kEmptyListSuffix, text)) {
            log(u"browser: add block-insecure-private-network-requests@2");
            changed = Replace(text, kEmptyListPattern, kEmptyListReplacement);
        } else if (Test(kChoicePattern, text)) {
            log(u"browser: replace block-insecure-private-network-requests@2");
            changed = Replace(text, kChoicePattern, kChoiceReplacement);
        } else {
            log(u"browser: add2 block-insecure-private-network-requests@2");
            changed = Replace(text, kListPattern, kAddFirstReplacement);
        }
    } else {
        log(u"browser: add enabled_labs_experiments");
        changed = Replace(text, kBrowserPattern, kNewListReplacement);
        Replace(text, kNewListInEmptyObjectPattern, kDropCommaReplacement);
    }
    return schemeChanged || changed;
}

}  // namespace

template <class Unit>
bool ApplyLocalStateRules(regex::EditText<Unit>& text, std::vector<std::u16string>* logLines) {
    return ApplyRules(text, logLines);
}

template bool ApplyLocalStateRules(regex::EditText<uint8_t>&, std::vector<std::u16string>*);
template bool ApplyLocalStateRules(regex::EditText<char16_t>&, std::vector<std::u16string>*);

std::u16string RepairLocalStateText(const std::u16string& oldText, std::vector<std::u16string>* logLines) {
    StringText text{&oldText, {}};
    const bool changed = ApplyRules(text, logLines);
    logLines->push_back(changed ? u"Loal Stage: changed and saved" : u"Loal Stage: no change");
    return changed ? std::move(text.made) : oldText;
}
