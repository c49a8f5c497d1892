#include "localstate/localstate.h"
#include "regex/regex.h"
#include "regex/regexp.h"

using namespace localstate_rules;

template <class Unit>
bool ApplyLocalStateRules(regex::EditText<Unit>& text, std::vector<std::u16string>* logLines, int browserMajor) {
    auto log = [logLines](const char16_t* line) { logLines->push_back(line); };

    const bool schemeChanged = RegexReplace(text, kSchemePattern, kSchemeReplacement);
    log(schemeChanged ? u"excluded_schemes: true" : u"excluded_schemes: false");

    bool changed = false;
    if (browserMajor >= kExperimentGone) {
        log(u"browser: block-insecure-private-network-requests not set: version 137 and later remove it at start");
    } else if (RegexTest(kListPattern, text)) {
        if (RegexTest(std::u16string(kListPattern) + kEmptyListSuffix, text)) {
            log(u"browser: add block-insecure-private-network-requests@2");
            changed = RegexReplace(text, kEmptyListPattern, kEmptyListReplacement);
        } else if (RegexTest(kChoicePattern, text)) {
            log(u"browser: replace block-insecure-private-network-requests@2");
            changed = RegexReplace(text, kChoicePattern, kChoiceReplacement);
        } else {
            log(u"browser: add2 block-insecure-private-network-requests@2");
            changed = RegexReplace(text, kListPattern, kAddFirstReplacement);
        }
    } else {
        log(u"browser: add enabled_labs_experiments");
        changed = RegexReplace(text, kBrowserPattern, kNewListReplacement);
        RegexReplace(text, kNewListInEmptyObjectPattern, kDropCommaReplacement);
    }
    return schemeChanged || changed;
}

template bool ApplyLocalStateRules(regex::EditText<uint8_t>&, std::vector<std::u16string>*, int);
template bool ApplyLocalStateRules(regex::EditText<char16_t>&, std::vector<std::u16string>*, int);
