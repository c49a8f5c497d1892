#pragma once
// The pattern service the Local State rules rest on: case-insensitive,
// all-matches replacement and test, one fresh pattern per call.
#include <string>
#include <vector>

// Replaces every match of `pattern` in `source`; the replacement may name
// groups as $1..$9. A pattern the engine does not read (regex.h), or a
// replacement with $$, $&, $` or $', leaves the source unchanged. Lets the
// user interface handle its waiting input once before it starts.
std::u16string RegexReplace(const std::u16string& source, const std::u16string& pattern,
                            const std::u16string& replacement);

// The same, true with the result in *out only when something changed: an
// unchanged text is not copied.
bool RegexReplace(const std::u16string& source, const std::u16string& pattern, const std::u16string& replacement,
                  std::u16string* out);

// The same on a text edited in place, 8-bit or 16-bit units; true when
// some match's replacement differs from what it matched. Nothing moves when
// nothing changes.
namespace regex {
template <class Unit>
class EditText;
}
template <class Unit>
bool RegexReplace(regex::EditText<Unit>& text, const std::u16string& pattern, const std::u16string& replacement);
template <class Unit>
bool RegexTest(const std::u16string& pattern, const regex::EditText<Unit>& text);

// True when the pattern matches anywhere in the text; false for a pattern
// that does not compile.
bool RegexTest(const std::u16string& pattern, const std::u16string& text);

// What RegexReplace calls to keep the user interface responsive. Nothing by
// default; the dialog installs its message pump.
using PendingMessagesHook = void (*)();
void SetPendingMessagesHook(PendingMessagesHook hook);
