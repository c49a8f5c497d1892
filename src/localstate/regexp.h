#pragma once
// The pattern service the Local State rules rest on: case-insensitive,
// all-matches replacement and test, one fresh pattern per call.
#include <string>
#include <vector>

// Replaces every match of `pattern` in `source`; the replacement may name
// groups as $1..$99 and use $&, $`, $' and $$. A pattern that does not
// compile leaves the source unchanged. Lets the user interface handle its
// waiting input once before it starts.
std::u16string RegexReplace(const std::u16string& source, const std::u16string& pattern,
                            const std::u16string& replacement);

// A text that knows where each of its units came from, so that a file can
// be rebuilt from its own bytes around what the replacements put in.
struct TracedText {
    static constexpr size_t kInserted = static_cast<size_t>(-1);
    struct Run {
        size_t length;
        size_t source;  // where the run starts in the original text, or kInserted
    };
    std::u16string text;
    std::vector<Run> runs;  // cover the text in order

    explicit TracedText(std::u16string original);
};

// RegexReplace on a traced text, in place; true when some match's
// replacement differs from what it matched. Nothing is copied when nothing
// matches.
bool RegexReplace(TracedText& text, const std::u16string& pattern, const std::u16string& replacement);

// True when the pattern matches anywhere in the text; false for a pattern
// that does not compile.
bool RegexTest(const std::u16string& pattern, const std::u16string& text);

// What RegexReplace calls to keep the user interface responsive. Nothing by
// default; the dialog installs its message pump.
using PendingMessagesHook = void (*)();
void SetPendingMessagesHook(PendingMessagesHook hook);
