#pragma once
// The pattern service the Local State rules rest on: case-insensitive,
// all-matches replacement and test, one fresh pattern per call.
#include <string>

// Replaces every match of `pattern` in `source`; the replacement may name
// groups as $1..$99 and use $&, $`, $' and $$. A pattern that does not
// compile leaves the source unchanged. Lets the user interface handle its
// waiting input once before it starts.
std::u16string RegexReplace(const std::u16string& source, const std::u16string& pattern,
                            const std::u16string& replacement);

// True when the pattern matches anywhere in the text; false for a pattern
// that does not compile.
bool RegexTest(const std::u16string& pattern, const std::u16string& text);

// What RegexReplace calls to keep the user interface responsive. Nothing by
// default; the dialog installs its message pump.
using PendingMessagesHook = void (*)();
void SetPendingMessagesHook(PendingMessagesHook hook);
