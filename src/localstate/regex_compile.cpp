#include "localstate/regex.h"

namespace regex {
namespace {

// The one character a set stands for, folded to lower case; 0 when it
// stands for more (or for a letter in one case only, which cannot be).
char SingleChar(const Set& s) {
    if (s.high) return 0;
    int count = 0;
    char first = 0;
    for (uint32_t c = 0; c < 128; ++c) {
        if (!s.Has(c)) continue;
        if (++count == 1) first = static_cast<char>(c);
    }
    if (count == 1) return first;
    if (count == 2 && first >= 'A' && first <= 'Z') return static_cast<char>(first | 0x20);
    return 0;
}

bool IsWordChar(char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; }

}  // namespace

std::optional<Program> Compile(std::u16string_view pattern) {
    int groups = 0;
    std::optional<std::vector<Item>> items = Parse(pattern, &groups);
    if (!items) return std::nullopt;
    Program p;
    p.groupCount = groups;
    auto here = [&p] { return static_cast<int32_t>(p.insts.size()); };
    p.insts.push_back({Op::Save, 0, 0});
    bool inPrefix = true;
    std::string required;
    for (const Item& it : *items) {
        if (it.kind != Item::Unit) {
            p.insts.push_back({Op::Save, 2 * it.group + (it.kind == Item::Close), 0});
            continue;
        }
        const int32_t set = static_cast<int32_t>(p.sets.size());
        p.sets.push_back(it.set);
        const char single = SingleChar(it.set);
        inPrefix = inPrefix && single && it.min == 1 && it.max == 1;
        if (inPrefix) p.prefix += single;
        if (single && it.min == 1) required += single;
        // A split lists the branch it prefers first: the body when greedy.
        auto split = [&](int32_t at, int32_t body, int32_t out) {
            p.insts[static_cast<size_t>(at)] = {Op::Split, it.greedy ? body : out, it.greedy ? out : body};
        };
        if (it.min == 1 && it.max == 1) {
            p.insts.push_back({Op::Set, set, 0});
        } else if (it.min == 1) {  // x+
            const int32_t body = here();
            p.insts.push_back({Op::Set, set, 0});
            p.insts.push_back({});
            split(body + 1, body, body + 2);
        } else if (it.max == 1) {  // x?
            const int32_t at = here();
            p.insts.push_back({});
            p.insts.push_back({Op::Set, set, 0});
            split(at, at + 1, at + 2);
        } else {  // x*
            const int32_t at = here();
            p.insts.push_back({});
            p.insts.push_back({Op::Set, set, 0});
            p.insts.push_back({Op::Jmp, at, 0});
            split(at, at + 1, at + 3);
        }
    }
    p.insts.push_back({Op::Save, 1, 0});
    p.insts.push_back({Op::Match, 0, 0});
    // A text without this unit cannot match, so a search can give up at
    // once. Punctuation is rarer than letters in the texts this serves.
    for (auto it = required.rbegin(); it != required.rend() && !p.required; ++it)
        if (!IsWordChar(*it)) p.required = *it;
    if (!p.required && !required.empty()) p.required = required.back();
    return p;
}

}  // namespace regex
