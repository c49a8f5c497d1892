#include "localstate/localstate.h"
#include "localstate/regex.h"
#include "localstate/regexp.h"

using namespace localstate_rules;

namespace {

// Only empty lists take the entry without a comma: the same replacement on
// a non-empty list elsewhere in the file would run the entry into that
// list's first element.
const std::u16string kEmptyListPattern = std::u16string(kListPattern) + u"(" + kEmptyListSuffix + u")";
const char16_t kEmptyListReplacement[] = uR"($1"block-insecure-private-network-requests@2"$2)";

// A new list put into an empty browser object must not be followed by a
// comma; this finds exactly what the new-list replacement made of one.
const char16_t kNewListInEmptyObjectPattern[] =
    uR"(("browser"\s*?:\s*?\{"enabled_labs_experiments":\["block-insecure-private-network-requests@2"\]),(\s*?\}))";
const char16_t kDropCommaReplacement[] = u"$1$2";

}  // namespace

template <class Unit>
bool ApplyLocalStateRules(regex::EditText<Unit>& text, std::vector<std::u16string>* logLines) {
    auto log = [logLines](const char16_t* line) { logLines->push_back(line); };

    const bool schemeChanged = RegexReplace(text, kSchemePattern, kSchemeReplacement);
    log(schemeChanged ? u"excluded_schemes: true" : u"excluded_schemes: false");

    bool changed = false;
    if (RegexTest(kListPattern, text)) {
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

template bool ApplyLocalStateRules(regex::EditText<uint8_t>&, std::vector<std::u16string>*);
template bool ApplyLocalStateRules(regex::EditText<char16_t>&, std::vector<std::u16string>*);

std::u16string RepairLocalStateText(const std::u16string& oldText, std::vector<std::u16string>* logLines) {
    regex::EditText<char16_t> text = regex::EditCopy(oldText);
    const bool changed = ApplyLocalStateRules(text, logLines);
    logLines->push_back(changed ? u"Loal Stage: changed and saved" : u"Loal Stage: no change");
    return changed ? std::u16string(text.Data(), text.Size()) : oldText;
}
