#include "regex/regex.h"

namespace regex {
namespace {

bool IsWordChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_';
}

// The rules ignore case: a letter stands for both of its cases.
void Add(Set* s, uint32_t c) {
    s->ascii[c >> 6] |= uint64_t{1} << (c & 63);
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z') {
        const uint32_t other = c ^ 0x20;
        s->ascii[other >> 6] |= uint64_t{1} << (other & 63);
    }
}
void AddSpace(Set* s) {
    for (uint32_t c : {0x09u, 0x0Au, 0x0Bu, 0x0Cu, 0x0Du, 0x20u}) Add(s, c);
}

class Parser {
public:
    explicit Parser(std::u16string_view src) : src_(src) {}

    std::optional<std::vector<Item>> Run(int* groupCount) {
        std::vector<Item> items;
        std::vector<int> open;  // groups not yet closed, innermost last
        int groups = 0;
        while (pos_ < src_.size()) {
            const char16_t c = src_[pos_++];
            if (c >= 0x80) return std::nullopt;
            Item it;
            if (c == u'(') {
                // (?: and look-arounds; more than nine groups, so that $12 is never a question
                if ((pos_ < src_.size() && src_[pos_] == u'?') || groups == 9) return std::nullopt;
                it.kind = Item::Open;
                it.group = ++groups;
                open.push_back(groups);
                items.push_back(it);
                continue;
            }
            if (c == u')') {
                if (open.empty()) return std::nullopt;
                it.kind = Item::Close;
                it.group = open.back();
                open.pop_back();
                items.push_back(it);
                continue;  // a quantifier after it is refused below: groups are never repeated
            }
            it.kind = Item::Unit;
            if (c == u'[') {
                if (!Class(&it.set)) return std::nullopt;
            } else if (c == u'\\') {
                if (!Escape(&it.set)) return std::nullopt;
            } else if (IsQuantifier(c) || c == u'{' || c == u'|' || c == u'.' || c == u'^' || c == u'$') {
                return std::nullopt;
            } else {
                Add(&it.set, c);
            }
            if (pos_ < src_.size() && IsQuantifier(src_[pos_])) {
                const char16_t q = src_[pos_++];
                it.min = q == u'+' ? 1 : 0;
                it.max = q == u'?' ? 1 : -1;
                if (pos_ < src_.size() && src_[pos_] == u'?') it.greedy = false, ++pos_;
                if (pos_ < src_.size() && (IsQuantifier(src_[pos_]) || src_[pos_] == u'{')) return std::nullopt;
            }
            items.push_back(it);
        }
        if (!open.empty()) return std::nullopt;
        *groupCount = groups;
        return items;
    }

private:
    static bool IsQuantifier(char16_t c) { return c == u'?' || c == u'*' || c == u'+'; }

    // After a backslash: \s, or a character that is not a letter or digit.
    bool Escape(Set* s) {
        if (pos_ >= src_.size() || src_[pos_] >= 0x80) return false;
        const char16_t e = src_[pos_++];
        if (e == u's') AddSpace(s);
        else if (IsWordChar(e)) return false;  // back-references and escapes the rules never use
        else Add(s, e);
        return true;
    }

    bool Class(Set* s) {
        bool negated = false;
        if (pos_ < src_.size() && src_[pos_] == u'^') negated = true, ++pos_;
        for (bool first = true;; first = false) {
            if (pos_ >= src_.size() || src_[pos_] >= 0x80) return false;
            char16_t lo = src_[pos_++];
            if (lo == u']') {
                if (first) return false;  // the runtime and other engines disagree on []
                break;
            }
            if (lo == u'\\') {
                if (pos_ < src_.size() && src_[pos_] == u's') {
                    ++pos_;
                    AddSpace(s);
                    continue;
                }
                // An escaped character never starts a range.
                if (!Escape(s) || (pos_ + 1 < src_.size() && src_[pos_] == u'-' && src_[pos_ + 1] != u']'))
                    return false;
                continue;
            }
            char16_t hi = lo;
            if (pos_ + 1 < src_.size() && src_[pos_] == u'-' && src_[pos_ + 1] != u']') {
                hi = src_[pos_ + 1];
                if (hi == u'\\' || hi >= 0x80 || hi < lo) return false;
                pos_ += 2;
            }
            for (uint32_t c = lo; c <= hi; ++c) Add(s, c);
        }
        if (negated) {
            s->ascii[0] = ~s->ascii[0];
            s->ascii[1] = ~s->ascii[1];
            s->high = true;
        }
        return true;
    }

    std::u16string_view src_;
    size_t pos_ = 0;
};

}  // namespace

std::optional<std::vector<Item>> Parse(std::u16string_view pattern, int* groupCount) {
    return Parser(pattern).Run(groupCount);
}

}  // namespace regex
