#pragma once
// The repair of one browser's Local State file: the custom scheme taken out
// of the excluded schemes, the private-network experiment switched on.
#include <functional>
#include <string>
#include <vector>

#include "fileio/fileio.h"

// What became of one file. NotSaved and Unreadable are failures the user
// must hear about; a missing file is not one.
enum class FixOutcome {
    NotFound,    // nothing at the path, or a folder
    Unchanged,   // read, and the rules changed nothing
    Saved,       // changed and written back
    NotSaved,    // changed, but the write failed: the file is as it was
    Unreadable,  // exists but could not be read; no rule ran
};

// Repairs the file and writes it back, in the encoding it had, only when its
// text changed; every decision goes to `log`. Confined to a folder of
// another user's that the path lies below, no link from there down is
// followed (a file reached through one is not read), a file held by
// another program is not saved, and the new file belongs to the owner the
// confinement gives. Never throws: a failure of any kind costs this file
// only.
FixOutcome FixLocalState(const std::u16string& path, const std::function<void(const std::u16string&)>& log,
                         const Confinement& confinement = {});

// What a repair would do to the file, found without writing anything.
enum class CheckOutcome { NotFound, UpToDate, NeedsRepair, CannotRead };
CheckOutcome CheckLocalState(const std::u16string& path, const Confinement& confinement = {});

// The rules on a text edited in place, 8-bit or 16-bit units; the two
// decision lines are appended to *logLines. True when the text changed.
namespace regex {
template <class Unit>
class EditText;
}
template <class Unit>
bool ApplyLocalStateRules(regex::EditText<Unit>& text, std::vector<std::u16string>* logLines);

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
