#pragma once
// The pattern service the Local State rules rest on: case-insensitive,
// all-matches replacement and test, one fresh pattern per call.
#include <string>

// Replaces every match of `pattern` in a text edited in place, 8-bit or
// 16-bit units; the replacement may name groups as $1..$9. True when some
// match's replacement differs from what it matched; nothing moves when
// nothing changes. A pattern the engine does not read (regex.h), or a
// replacement with $$, $&, $` or $', leaves the text as it was. Lets the
// user interface handle its waiting input once before it starts.
namespace regex {
template <class Unit>
class EditText;
}
template <class Unit>
bool RegexReplace(regex::EditText<Unit>& text, const std::u16string& pattern, const std::u16string& replacement);

// True when the pattern matches anywhere in the text; false for a pattern
// that does not compile.
template <class Unit>
bool RegexTest(const std::u16string& pattern, const regex::EditText<Unit>& text);

// What RegexReplace calls to keep the user interface responsive. Nothing by
// default; the dialog installs its message pump.
using PendingMessagesHook = void (*)();
void SetPendingMessagesHook(PendingMessagesHook hook);
