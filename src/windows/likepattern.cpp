#include "windows/likepattern.h"

#include <cstdint>

bool LikePattern::Token::Matches(char16_t c) const {
    switch (kind) {
    case Literal: return c == ch;
    case AnyOne: return true;
    case Digit: return c >= u'0' && c <= u'9';
    case Set: {
        bool in = false;
        for (const Range& r : ranges)
            if (c >= r.low && c <= r.high) in = true;
        return in != negated;
    }
    case AnyRun: break;
    }
    return false;
}

LikePattern::LikePattern(const std::u16string& pattern) { valid_ = Compile(pattern); }

// False for a malformed pattern.
bool LikePattern::Compile(const std::u16string& p) {
    for (size_t i = 0; i < p.size(); ++i) {
        char16_t c = p[i];
        if (c == u'?') tokens_.emplace_back(Token::AnyOne);
        else if (c == u'*') {
            if (tokens_.empty() || tokens_.back().kind != Token::AnyRun) tokens_.emplace_back(Token::AnyRun);
        } else if (c == u'#') tokens_.emplace_back(Token::Digit);
        else if (c == u'[') {
            size_t close = p.find(u']', i + 1);
            if (close == std::u16string::npos) return false;
            size_t j = i + 1;
            if (close == j) {  // "[]" stands for no character at all
                i = close;
                continue;
            }
            Token t(Token::Set);
            if (p[j] == u'!') {
                t.negated = true;
                ++j;
            }
            for (; j < close; ++j) {
                if (j + 2 < close && p[j + 1] == u'-') {
                    if (p[j] > p[j + 2]) return false;
                    t.ranges.push_back({p[j], p[j + 2]});
                    j += 2;
                } else {
                    t.ranges.push_back({p[j], p[j]});
                }
            }
            tokens_.push_back(t);
            i = close;
        } else {
            Token t(Token::Literal);
            t.ch = c;
            tokens_.push_back(t);
        }
    }
    return true;
}

bool LikePattern::Matches(const std::u16string& text) const {
    if (!valid_) return false;
    // Every token but * takes exactly one character, so backing up to the
    // last * and letting it take one more character is enough: O(n*m), no
    // recursion.
    size_t t = 0, k = 0;
    size_t starToken = SIZE_MAX, starText = 0;
    while (t < text.size()) {
        if (k < tokens_.size() && tokens_[k].kind == Token::AnyRun) {
            starToken = k++;
            starText = t;
        } else if (k < tokens_.size() && tokens_[k].Matches(text[t])) {
            ++k;
            ++t;
        } else if (starToken != SIZE_MAX) {
            k = starToken + 1;
            t = ++starText;
        } else {
            return false;
        }
    }
    while (k < tokens_.size() && tokens_[k].kind == Token::AnyRun) ++k;
    return k == tokens_.size();
}
