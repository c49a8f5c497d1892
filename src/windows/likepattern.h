#pragma once
#include <string>
#include <vector>

// Whole-text wildcard pattern, comparing characters by code (so case and
// locale never matter): ? any one character, * any run, # one digit 0-9,
// [list] / [!list] one character in / not in the list, x-y a range inside
// brackets. A malformed pattern (an unclosed '[' or a backwards range)
// matches nothing. Compiled once, matched against many texts.
class LikePattern {
public:
    explicit LikePattern(const std::u16string& pattern);
    bool Matches(const std::u16string& text) const;

private:
    struct Range {
        char16_t low, high;
    };
    struct Token {
        enum Kind { Literal, AnyOne, AnyRun, Digit, Set };
        explicit Token(Kind k) : kind(k) {}
        bool Matches(char16_t c) const;
        Kind kind;
        char16_t ch = 0;
        bool negated = false;
        std::vector<Range> ranges;
    };
    bool Compile(const std::u16string& pattern);

    std::vector<Token> tokens_;
    bool valid_ = false;
};

inline bool MatchesLike(const std::u16string& text, const std::u16string& pattern) {
    return LikePattern(pattern).Matches(text);
}
