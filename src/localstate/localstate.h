#pragma once
// The repair of one browser's Local State file: the custom scheme taken out
// of the excluded schemes, the private-network experiment switched on.
#include <functional>
#include <string>
#include <vector>

#include "filerepair/filerepair.h"

// Repairs the file and writes it back, in the encoding it had, only when its
// text changed; every decision goes to `log` (FixFile says how).
// `lastVersion` is what the browser wrote to `Last Version` beside the file
// (ReadLastVersion); where it gives none, the file's own record of the
// version counts.
FixOutcome FixLocalState(const std::u16string& path, const LogLine& log, const Confinement& confinement = {},
                         const std::string& lastVersion = {});
CheckOutcome CheckLocalState(const std::u16string& path, const Confinement& confinement = {},
                             const std::string& lastVersion = {});

// The rules on a text edited in place, 8-bit or 16-bit units; the two
// decision lines are appended to *logLines. True when the text changed.
// `browserMajor` is the browser's major version, 0 when unknown: from
// kExperimentGone on the experiment rule is left out, with a line saying
// why.
namespace regex {
template <class Unit>
class EditText;
}
template <class Unit>
bool ApplyLocalStateRules(regex::EditText<Unit>& text, std::vector<std::u16string>* logLines, int browserMajor = 0);

// The first version that drops the private-network experiment from the list
// at every start: the experiment expired with the version before.
inline constexpr int kExperimentGone = 137;

// The rules' patterns and replacements.
namespace localstate_rules {
inline const char16_t kSchemePattern[] =
    uR"(("protocol_handler"\s*?:\s*?\{\s*?"excluded_schemes"\s*?:\s*?\{)([^}]*?"vezoverove"\s*?:\s*?"?)true)";
inline const char16_t kSchemeReplacement[] = u"$1$2false";
inline const char16_t kListPattern[] = uR"(("browser"\s*?:\s*?\{[^}]*?"enabled_labs_experiments"\s*?:\s*?\[))";
inline const char16_t kEmptyListSuffix[] = uR"(\s*?\])";
inline const char16_t kChoicePattern[] = u"block-insecure-private-network-requests@[0-9]";
inline const char16_t kBrowserPattern[] = uR"(("browser"\s*?:\s*?\{))";
inline const char16_t kChoiceReplacement[] = u"block-insecure-private-network-requests@2";
inline const char16_t kAddFirstReplacement[] = uR"($1"block-insecure-private-network-requests@2",)";
inline const char16_t kNewListReplacement[] =
    uR"($1"enabled_labs_experiments":["block-insecure-private-network-requests@2"],)";
// Only empty lists take the entry without a comma: the same replacement on
// a non-empty list elsewhere in the file would run the entry into that
// list's first element.
inline const std::u16string kEmptyListPattern = std::u16string(kListPattern) + u"(" + kEmptyListSuffix + u")";
inline const char16_t kEmptyListReplacement[] = uR"($1"block-insecure-private-network-requests@2"$2)";
// A new list put into an empty browser object must not be followed by a
// comma; this finds exactly what the new-list replacement made of one.
inline const char16_t kNewListInEmptyObjectPattern[] =
    uR"(("browser"\s*?:\s*?\{"enabled_labs_experiments":\["block-insecure-private-network-requests@2"\]),(\s*?\}))";
inline const char16_t kDropCommaReplacement[] = u"$1$2";
}  // namespace localstate_rules
