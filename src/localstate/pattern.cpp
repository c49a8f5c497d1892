#include "localstate/pattern.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <map>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define DZD_PATTERN_SSE2 1
#endif

namespace {

#ifdef DZD_PATTERN_SSE2
// Which of the eight 16-bit lanes of a byte-wise movemask is the first (or
// last) one set; `bits` must not be 0.
size_t FirstLane(int bits) {
    size_t i = 0;
    while (!((bits >> (2 * i)) & 1)) ++i;
    return i;
}
size_t LastLane(int bits) {
    size_t i = 7;
    while (!((bits >> (2 * i)) & 1)) --i;
    return i;
}
#endif

using Inst = Pattern::Inst;
using Op = Pattern::Op;
using CharClass = Pattern::CharClass;

// Nesting of groups the parser follows; deeper patterns are refused rather
// than risking the stack.
constexpr int kMaxDepth = 200;
// Instructions a pattern may compile to; counted repetitions multiply.
constexpr size_t kMaxProgram = 20000;
constexpr int kMaxRepeat = 1000;

inline char16_t Fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; }
inline bool IsAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }
inline bool IsWordChar(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_';
}
inline bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

using Range = std::pair<uint32_t, uint32_t>;  // inclusive

void AddSpace(std::vector<Range>* r) {
    r->push_back({0x09, 0x0D});
    r->push_back({0x20, 0x20});
}
void AddDigit(std::vector<Range>* r) { r->push_back({'0', '9'}); }
void AddWord(std::vector<Range>* r) {
    r->push_back({'0', '9'});
    r->push_back({'A', 'Z'});
    r->push_back({'_', '_'});
    r->push_back({'a', 'z'});
}

std::vector<Range> Normalize(std::vector<Range> r) {
    std::sort(r.begin(), r.end());
    std::vector<Range> out;
    for (const Range& x : r) {
        if (!out.empty() && x.first <= out.back().second + 1)
            out.back().second = std::max(out.back().second, x.second);
        else
            out.push_back(x);
    }
    return out;
}

std::vector<Range> Complement(const std::vector<Range>& in) {
    std::vector<Range> n = Normalize(in), out;
    uint32_t next = 0;
    for (const Range& x : n) {
        if (x.first > next) out.push_back({next, x.first - 1});
        next = x.second + 1;
    }
    if (next <= 0xFFFF) out.push_back({next, 0xFFFF});
    return out;
}

CharClass MakeClass(const std::vector<Range>& ranges, bool negated, bool ignoreCase) {
    CharClass cc{{0, 0}, {}, negated};
    std::vector<Range> r = Normalize(ranges);
    for (const Range& x : r) {
        for (uint32_t c = x.first; c <= x.second && c < 128; ++c) {
            cc.ascii[c >> 6] |= uint64_t{1} << (c & 63);
            if (ignoreCase && IsAsciiLetter(static_cast<char16_t>(c))) {
                uint32_t other = c ^ 0x20;
                cc.ascii[other >> 6] |= uint64_t{1} << (other & 63);
            }
        }
        if (x.second >= 128)
            cc.high.push_back({static_cast<char16_t>(std::max<uint32_t>(x.first, 128)), static_cast<char16_t>(x.second)});
    }
    if (negated) {
        cc.ascii[0] = ~cc.ascii[0];
        cc.ascii[1] = ~cc.ascii[1];
    }
    return cc;
}

inline bool ClassHas(const CharClass& cc, char16_t c) {
    if (c < 128) return (cc.ascii[c >> 6] >> (c & 63)) & 1;
    auto it = std::upper_bound(cc.high.begin(), cc.high.end(), c,
                               [](char16_t v, const std::pair<char16_t, char16_t>& r) { return v < r.first; });
    bool in = it != cc.high.begin() && c <= (it - 1)->second;
    return in != cc.negated;
}

}  // namespace

// Parses the pattern into a tree, then lays the tree out as VM instructions.
class PatternCompiler {
public:
    PatternCompiler(std::u16string_view src, bool ignoreCase) : src_(src), ignoreCase_(ignoreCase) {}

    std::optional<Pattern> Run() {
        int root = ParseAlt(0);
        if (failed_ || pos_ != src_.size()) return std::nullopt;
        Pattern p;
        p.ignoreCase_ = ignoreCase_;
        p.groupCount_ = groups_;
        prog_ = &p.prog_;
        Emit({Op::Save, 0, 0, 0});
        EmitNode(root);
        Emit({Op::Save, 0, 1, 0});
        Emit({Op::Match, 0, 0, 0});
        if (failed_) return std::nullopt;
        p.classes_ = std::move(classes_);
        for (const Inst& in : p.prog_)
            if (in.op == Op::Bol || in.op == Op::Eol || in.op == Op::WordB || in.op == Op::NotWordB)
                p.hasAssertions_ = true;
        // A text without the unit cannot match: the search gives up at once
        // instead of running threads that can never finish. Punctuation is
        // rarer than letters in the texts this serves.
        std::u16string required;
        Required(root, &required);
        for (auto it = required.rbegin(); it != required.rend() && !p.hasRequired_; ++it) {
            if (!IsWordChar(*it)) p.required_ = *it, p.hasRequired_ = true;
        }
        if (!p.hasRequired_ && !required.empty()) p.required_ = required.back(), p.hasRequired_ = true;
        for (size_t pc = 0; pc < p.prog_.size(); ++pc) {
            const Inst& in = p.prog_[pc];
            if (in.op == Op::Save) continue;
            if (in.op != Op::Char) break;
            p.prefix_ += in.ch;
        }
        return p;
    }

private:
    enum class Kind { Empty, Char, Any, Class, Bol, Eol, WordB, NotWordB, Group, Concat, Alt, Repeat };
    struct Node {
        explicit Node(Kind k) : kind(k) {}
        Kind kind;
        char16_t ch = 0;
        int cls = 0;
        int group = 0;
        int min = 0, max = 0;  // Repeat; max -1 for no upper bound
        bool greedy = true;
        std::vector<int> kids;
    };

    // The units every match of the node holds, in order.
    void Required(int id, std::u16string* out) const {
        const Node& n = nodes_[static_cast<size_t>(id)];
        switch (n.kind) {
        case Kind::Char: out->push_back(n.ch); break;
        case Kind::Group: Required(n.kids[0], out); break;
        case Kind::Concat:
            for (int k : n.kids) Required(k, out);
            break;
        case Kind::Repeat:
            if (n.min >= 1) Required(n.kids[0], out);
            break;
        default: break;
        }
    }

    bool More() const { return pos_ < src_.size(); }
    char16_t Peek() const { return src_[pos_]; }
    int Fail() {
        failed_ = true;
        return 0;
    }
    int Add(Node n) {
        nodes_.push_back(std::move(n));
        return static_cast<int>(nodes_.size() - 1);
    }
    int AddClass(const std::vector<Range>& r, bool negated) {
        classes_.push_back(MakeClass(r, negated, ignoreCase_));
        Node n{Kind::Class};
        n.cls = static_cast<int>(classes_.size() - 1);
        return Add(n);
    }

    int ParseAlt(int depth) {
        if (depth > kMaxDepth) return Fail();
        Node alt{Kind::Alt};
        alt.kids.push_back(ParseConcat(depth));
        while (!failed_ && More() && Peek() == u'|') {
            ++pos_;
            alt.kids.push_back(ParseConcat(depth));
        }
        if (alt.kids.size() == 1) return alt.kids[0];
        return Add(std::move(alt));
    }

    int ParseConcat(int depth) {
        Node cat{Kind::Concat};
        while (!failed_ && More() && Peek() != u'|' && Peek() != u')') {
            char16_t c = Peek();
            if (c == u'*' || c == u'+' || c == u'?' || (c == u'{' && IsQuantifierBrace())) return Fail();
            bool assertion = false;
            int atom = ParseAtom(depth, &assertion);
            if (failed_) return 0;
            int min = 0, max = 0;
            if (More() && ParseQuantifier(&min, &max)) {
                if (assertion) return Fail();
                Node rep{Kind::Repeat};
                rep.min = min;
                rep.max = max;
                rep.greedy = true;
                if (More() && Peek() == u'?') {
                    rep.greedy = false;
                    ++pos_;
                }
                rep.kids.push_back(atom);
                atom = Add(std::move(rep));
                if (More()) {
                    char16_t q = Peek();
                    if (q == u'*' || q == u'+' || q == u'?' || (q == u'{' && IsQuantifierBrace())) return Fail();
                }
            }
            if (failed_) return 0;
            cat.kids.push_back(atom);
        }
        if (cat.kids.empty()) return Add(Node{Kind::Empty});
        if (cat.kids.size() == 1) return cat.kids[0];
        return Add(std::move(cat));
    }

    // A brace starts a quantifier only in the forms {n}, {n,} and {n,m};
    // anywhere else it is an ordinary character.
    bool IsQuantifierBrace() const {
        size_t p = pos_ + 1;
        size_t digits = 0;
        while (p < src_.size() && IsDigit(src_[p])) ++p, ++digits;
        if (digits == 0 || p >= src_.size()) return false;
        if (src_[p] == u'}') return true;
        if (src_[p] != u',') return false;
        ++p;
        while (p < src_.size() && IsDigit(src_[p])) ++p;
        return p < src_.size() && src_[p] == u'}';
    }

    int ReadNumber() {
        long v = 0;
        while (More() && IsDigit(Peek())) {
            v = std::min<long>(v * 10 + (Peek() - u'0'), kMaxRepeat + 1);
            ++pos_;
        }
        return static_cast<int>(v);
    }

    bool ParseQuantifier(int* min, int* max) {
        char16_t c = Peek();
        if (c == u'*') *min = 0, *max = -1;
        else if (c == u'+') *min = 1, *max = -1;
        else if (c == u'?') *min = 0, *max = 1;
        else if (c == u'{' && IsQuantifierBrace()) {
            ++pos_;
            *min = ReadNumber();
            *max = *min;
            if (Peek() == u',') {
                ++pos_;
                *max = More() && IsDigit(Peek()) ? ReadNumber() : -1;
            }
            // Peek() is the closing brace, as IsQuantifierBrace made sure.
            if (*min > kMaxRepeat || *max > kMaxRepeat || (*max >= 0 && *max < *min)) Fail();
        } else {
            return false;
        }
        ++pos_;
        return true;
    }

    int ParseAtom(int depth, bool* assertion) {
        char16_t c = Peek();
        ++pos_;
        switch (c) {
        case u'(': {
            bool capture = true;
            if (More() && Peek() == u'?') {
                if (pos_ + 1 < src_.size() && src_[pos_ + 1] == u':') {
                    capture = false;
                    pos_ += 2;
                } else {
                    return Fail();  // look-arounds and other group forms
                }
            }
            int group = capture ? ++groups_ : 0;
            int inner = ParseAlt(depth + 1);
            if (failed_ || !More() || Peek() != u')') return Fail();
            ++pos_;
            if (!capture) return inner;
            Node g{Kind::Group};
            g.group = group;
            g.kids.push_back(inner);
            return Add(std::move(g));
        }
        case u'[': return ParseClass();
        case u'.': return Add(Node{Kind::Any});
        case u'^': *assertion = true; return Add(Node{Kind::Bol});
        case u'$': *assertion = true; return Add(Node{Kind::Eol});
        case u'\\': return ParseEscape(assertion);
        default: return Literal(c);
        }
    }

    int Literal(char16_t c) {
        Node n{Kind::Char};
        n.ch = ignoreCase_ ? Fold(c) : c;
        return Add(n);
    }

    // Control escapes shared by atoms and classes; 0 when `e` is not one.
    static char16_t ControlEscape(char16_t e) {
        switch (e) {
        case u'n': return u'\n';
        case u'r': return u'\r';
        case u't': return u'\t';
        case u'f': return u'\f';
        case u'v': return u'\v';
        default: return 0;
        }
    }

    static bool SetEscape(char16_t e, std::vector<Range>* r, bool* negated) {
        *negated = (e == u'S' || e == u'D' || e == u'W');
        switch (e) {
        case u's': case u'S': AddSpace(r); return true;
        case u'd': case u'D': AddDigit(r); return true;
        case u'w': case u'W': AddWord(r); return true;
        default: return false;
        }
    }

    int ParseEscape(bool* assertion) {
        if (!More()) return Fail();
        char16_t e = Peek();
        ++pos_;
        if (e == u'b' || e == u'B') {
            *assertion = true;
            return Add(Node{e == u'b' ? Kind::WordB : Kind::NotWordB});
        }
        std::vector<Range> r;
        bool negated = false;
        if (SetEscape(e, &r, &negated)) return AddClass(r, negated);
        if (char16_t ctl = ControlEscape(e)) return Literal(ctl);
        if (IsWordChar(e)) return Fail();  // back-references and escapes this engine lacks
        return Literal(e);
    }

    int ParseClass() {
        bool negated = false;
        if (More() && Peek() == u'^') {
            negated = true;
            ++pos_;
        }
        std::vector<Range> ranges;
        for (;;) {
            if (!More()) return Fail();
            if (Peek() == u']') {
                ++pos_;
                break;
            }
            uint32_t lo = 0;
            bool single = ClassAtom(&ranges, &lo);
            if (failed_) return 0;
            if (single && pos_ + 1 < src_.size() && Peek() == u'-' && src_[pos_ + 1] != u']') {
                ++pos_;
                uint32_t hi = 0;
                bool hiSingle = ClassAtom(&ranges, &hi);
                if (failed_) return 0;
                if (!hiSingle) {
                    // [\d-z]: the dash is an ordinary character
                    ranges.push_back({lo, lo});
                    ranges.push_back({u'-', u'-'});
                    continue;
                }
                if (hi < lo) return Fail();
                ranges.push_back({lo, hi});
            } else if (single) {
                ranges.push_back({lo, lo});
            }
        }
        return AddClass(ranges, negated);
    }

    // One member of a class: a single unit (true, in *unit) or a set escape
    // added straight to `ranges` (false).
    bool ClassAtom(std::vector<Range>* ranges, uint32_t* unit) {
        char16_t c = Peek();
        ++pos_;
        if (c != u'\\') {
            *unit = c;
            return true;
        }
        if (!More()) return Fail() != 0;
        char16_t e = Peek();
        ++pos_;
        std::vector<Range> r;
        bool negated = false;
        if (SetEscape(e, &r, &negated)) {
            if (negated) r = Complement(r);
            ranges->insert(ranges->end(), r.begin(), r.end());
            return false;
        }
        if (e == u'b') {
            *unit = 0x08;
            return true;
        }
        if (char16_t ctl = ControlEscape(e)) {
            *unit = ctl;
            return true;
        }
        if (IsWordChar(e)) return Fail() != 0;
        *unit = e;
        return true;
    }

    // --- layout -----------------------------------------------------------

    int32_t Here() const { return static_cast<int32_t>(prog_->size()); }
    int32_t Emit(Inst in) {
        if (prog_->size() >= kMaxProgram) {
            failed_ = true;
            return 0;
        }
        prog_->push_back(in);
        return Here() - 1;
    }

    void EmitNode(int id) {
        if (failed_) return;
        const Node& n = nodes_[static_cast<size_t>(id)];
        switch (n.kind) {
        case Kind::Empty: break;
        case Kind::Char: Emit({Op::Char, n.ch, 0, 0}); break;
        case Kind::Any: Emit({Op::Any, 0, 0, 0}); break;
        case Kind::Class: Emit({Op::Class, 0, n.cls, 0}); break;
        case Kind::Bol: Emit({Op::Bol, 0, 0, 0}); break;
        case Kind::Eol: Emit({Op::Eol, 0, 0, 0}); break;
        case Kind::WordB: Emit({Op::WordB, 0, 0, 0}); break;
        case Kind::NotWordB: Emit({Op::NotWordB, 0, 0, 0}); break;
        case Kind::Group:
            Emit({Op::Save, 0, 2 * n.group, 0});
            EmitNode(n.kids[0]);
            Emit({Op::Save, 0, 2 * n.group + 1, 0});
            break;
        case Kind::Concat:
            for (int k : n.kids) EmitNode(k);
            break;
        case Kind::Alt: {
            std::vector<int32_t> exits;
            for (size_t i = 0; i < n.kids.size() && !failed_; ++i) {
                int32_t split = -1;
                if (i + 1 < n.kids.size()) split = Emit({Op::Split, 0, 0, 0});
                if (split >= 0) (*prog_)[static_cast<size_t>(split)].x = Here();
                EmitNode(n.kids[i]);
                if (i + 1 < n.kids.size()) {
                    exits.push_back(Emit({Op::Jmp, 0, 0, 0}));
                    if (!failed_) (*prog_)[static_cast<size_t>(split)].y = Here();
                }
            }
            if (failed_) return;
            for (int32_t j : exits) (*prog_)[static_cast<size_t>(j)].x = Here();
            break;
        }
        case Kind::Repeat: EmitRepeat(n); break;
        }
    }

    // A split that prefers `first` when greedy, the other way round when lazy.
    void SetSplit(int32_t at, int32_t body, int32_t out, bool greedy) {
        if (failed_) return;
        Inst& s = (*prog_)[static_cast<size_t>(at)];
        s.x = greedy ? body : out;
        s.y = greedy ? out : body;
    }

    void EmitRepeat(const Node& n) {
        const int kid = n.kids[0];
        for (int i = 0; i < n.min && !failed_; ++i) EmitNode(kid);
        if (n.max < 0) {
            int32_t loop = Emit({Op::Split, 0, 0, 0});
            int32_t body = Here();
            EmitNode(kid);
            Emit({Op::Jmp, 0, loop, 0});
            SetSplit(loop, body, Here(), n.greedy);
            return;
        }
        // {n,m}: each optional copy nests in the one before it, so once a
        // copy is skipped no later copy can be taken.
        std::vector<int32_t> splits;
        for (int i = n.min; i < n.max && !failed_; ++i) {
            splits.push_back(Emit({Op::Split, 0, 0, 0}));
            EmitNode(kid);
        }
        if (failed_) return;
        int32_t out = Here();
        for (int32_t s : splits) SetSplit(s, s + 1, out, n.greedy);
    }

    std::u16string_view src_;
    bool ignoreCase_;
    size_t pos_ = 0;
    bool failed_ = false;
    int groups_ = 0;
    std::vector<Node> nodes_;
    std::vector<CharClass> classes_;
    std::vector<Inst>* prog_ = nullptr;
};

std::optional<Pattern> Pattern::Compile(std::u16string_view pattern, bool ignoreCase) {
    return PatternCompiler(pattern, ignoreCase).Run();
}

// --- matching ---------------------------------------------------------------

class PikeVm {
public:
    PikeVm(const Pattern& p, std::u16string_view text)
        : p_(p), t_(text), slots_(2 * static_cast<size_t>(p.groupCount_ + 1)), scratch_(slots_) {
        for (List* l : {&a_, &b_}) l->mark.assign(p.prog_.size(), 0);
        if (!p.prefix_.empty()) {
            first_ = p.prefix_[0];
            firstIsLetter_ = p.ignoreCase_ && IsAsciiLetter(first_);
        }
        if (p.hasRequired_) {
            const char16_t orMask = p.ignoreCase_ && IsAsciiLetter(p.required_) ? 0x20 : 0;
            lastRequired_ = FindLast(p.required_, orMask);
        }
    }

    // anyMatch: stop at the first match reached, whatever its priority.
    bool Search(size_t from, Pattern::Groups* out, bool anyMatch) {
        const size_t len = t_.size();
        if (from > len) return false;
        List* clist = &a_;
        List* nlist = &b_;
        Clear(clist);
        bool matched = false;
        size_t pos = from;
        for (;;) {
            bool started = false;
            if (!matched) {
                if (clist->count == 0) {
                    pos = NextCandidate(pos);
                    if (pos == Pattern::kNoPart || !RequiredAhead(pos)) return false;
                    Clear(clist);
                }
                if (RequiredAhead(pos) && IsCandidate(pos)) {
                    std::fill(scratch_.begin(), scratch_.end(), Pattern::kNoPart);
                    AddThread(clist, 0, pos, nullptr);
                    started = true;
                }
            }
            if (clist->count == 0) {
                // Nothing alive here: a match is complete, or this start
                // failed at once (an assertion) and the next one is tried.
                if (matched || pos >= len) break;
                ++pos;
                continue;
            }

            Clear(nlist);
            unsigned flags = 0;
            const bool atEnd = pos >= len;
            const char16_t ch = atEnd ? 0 : t_[pos];
            consumed_.assign(clist->count, 0);
            bool cut = false;
            for (size_t i = 0; i < clist->count; ++i) {
                const Inst& in = p_.prog_[static_cast<size_t>(clist->pcs[i])];
                const size_t* caps = &clist->caps[i * slots_];
                if (in.op == Op::Match) {
                    matched = true;
                    best_.assign(caps, caps + slots_);
                    if (anyMatch) {
                        *out = best_;
                        return true;
                    }
                    cut = true;  // lower-priority threads lose to this match
                    break;
                }
                if (!atEnd && Consumes(in, ch)) {
                    consumed_[i] = 1;
                    std::copy(caps, caps + slots_, scratch_.begin());
                    AddThread(nlist, clist->pcs[i] + 1, pos + 1, &flags);
                }
            }
            if (atEnd) break;
            if (!cut && !started && flags == 0 && SameThreads(*clist, *nlist)) {
                // One step brought the threads back to where they were and
                // touched no position-dependent state, so every following
                // unit that each thread treats the same way does the same.
                pos = SkipSteady(*clist, pos + 1, matched);
                continue;
            }
            std::swap(clist, nlist);
            ++pos;
        }
        if (!matched) return false;
        *out = best_;
        return true;
    }

private:
    friend class TestDfa;  // shares the prefilter and the unit tests

    struct List {
        std::vector<int32_t> pcs;
        std::vector<size_t> caps;
        std::vector<uint32_t> mark;
        uint32_t gen = 0;
        size_t count = 0;
    };
    struct Frame {
        int32_t pc;
        int32_t slot;  // >= 0: restore this slot to `old`
        size_t old;
    };
    enum : unsigned { kSawSave = 1, kSawAssert = 2, kSawMatch = 4 };

    static void Clear(List* l) {
        l->count = 0;
        if (++l->gen == 0) {
            std::fill(l->mark.begin(), l->mark.end(), 0);
            l->gen = 1;
        }
    }

    bool IsWordAt(size_t i) const { return i < t_.size() && IsWordChar(t_[i]); }

    bool Consumes(const Inst& in, char16_t c) const {
        switch (in.op) {
        case Op::Char: return (p_.ignoreCase_ ? Fold(c) : c) == in.ch;
        case Op::Any: return c != u'\n';
        case Op::Class: return ClassHas(p_.classes_[static_cast<size_t>(in.x)], c);
        default: return false;
        }
    }

    // Follows jumps, splits, saves and assertions from pc at pos, adding
    // every thread that reaches a consuming instruction or the match, in
    // priority order. Works on scratch_ as the thread's groups.
    void AddThread(List* l, int32_t pc0, size_t pos, unsigned* flags) {
        unsigned seen = 0;
        stack_.clear();
        stack_.push_back({pc0, -1, 0});
        while (!stack_.empty()) {
            Frame f = stack_.back();
            stack_.pop_back();
            if (f.slot >= 0) {
                scratch_[static_cast<size_t>(f.slot)] = f.old;
                continue;
            }
            int32_t pc = f.pc;
            bool alive = true;
            while (alive) {
                const size_t upc = static_cast<size_t>(pc);
                if (l->mark[upc] == l->gen) break;
                l->mark[upc] = l->gen;
                const Inst& in = p_.prog_[upc];
                switch (in.op) {
                case Op::Jmp: pc = in.x; break;
                case Op::Split:
                    stack_.push_back({in.y, -1, 0});
                    pc = in.x;
                    break;
                case Op::Save: {
                    const size_t s = static_cast<size_t>(in.x);
                    stack_.push_back({0, in.x, scratch_[s]});
                    scratch_[s] = pos;
                    seen |= kSawSave;
                    ++pc;
                    break;
                }
                case Op::Bol:
                case Op::Eol:
                case Op::WordB:
                case Op::NotWordB:
                    seen |= kSawAssert;
                    if (AssertionHolds(in.op, pos)) ++pc;
                    else alive = false;
                    break;
                default:
                    if (in.op == Op::Match) seen |= kSawMatch;
                    Push(l, pc);
                    alive = false;
                    break;
                }
            }
        }
        if (flags) *flags |= seen;
    }

    bool AssertionHolds(Op op, size_t pos) const {
        switch (op) {
        case Op::Bol: return pos == 0;
        case Op::Eol: return pos == t_.size();
        case Op::WordB: return (pos > 0 && IsWordAt(pos - 1)) != IsWordAt(pos);
        default: return (pos > 0 && IsWordAt(pos - 1)) == IsWordAt(pos);
        }
    }

    void Push(List* l, int32_t pc) {
        if (l->pcs.size() <= l->count) {
            l->pcs.resize(l->count + 1);
            l->caps.resize((l->count + 1) * slots_);
        }
        l->pcs[l->count] = pc;
        std::copy(scratch_.begin(), scratch_.end(), l->caps.begin() + static_cast<std::ptrdiff_t>(l->count * slots_));
        ++l->count;
    }

    bool SameThreads(const List& a, const List& b) const {
        if (a.count != b.count) return false;
        if (!std::equal(a.pcs.begin(), a.pcs.begin() + static_cast<std::ptrdiff_t>(a.count), b.pcs.begin()))
            return false;
        return std::equal(a.caps.begin(), a.caps.begin() + static_cast<std::ptrdiff_t>(a.count * slots_),
                          b.caps.begin());
    }

    // Moves past every unit that each thread of the steady list consumes
    // or refuses just as it did the last one, and that cannot start a new
    // match. Returns the first position that needs a real step.
    size_t SkipSteady(const List& l, size_t q, bool matched) {
        const size_t len = t_.size();
        const bool watchStart = !matched;
        auto same = [&](char16_t c) {
            if (watchStart && MayStart(c)) return false;
            for (size_t i = 0; i < l.count; ++i)
                if (Consumes(p_.prog_[static_cast<size_t>(l.pcs[i])], c) != (consumed_[i] != 0)) return false;
            return true;
        };
        // Short runs are common; a table pays off only for long ones.
        const size_t probe = std::min(len, q + 32);
        while (q < probe && same(t_[q])) ++q;
        if (q < probe || q >= len) return q;
        // The same steady list comes back after every interruption (a new
        // start, a quote): keep its table.
        const bool reuse = tableValid_ && tableWatch_ == watchStart && tablePcs_.size() == l.count &&
                           std::equal(tablePcs_.begin(), tablePcs_.end(), l.pcs.begin()) &&
                           std::equal(tableConsumed_.begin(), tableConsumed_.end(), consumed_.begin());
        if (!reuse) {
            for (char16_t c = 0; c < 128; ++c) table_[c] = same(c);
            tablePcs_.assign(l.pcs.begin(), l.pcs.begin() + static_cast<std::ptrdiff_t>(l.count));
            tableConsumed_.assign(consumed_.begin(), consumed_.begin() + static_cast<std::ptrdiff_t>(l.count));
            tableWatch_ = watchStart;
            tableValid_ = true;
        }
        const bool* table = table_;
        for (;;) {
            while (q < len && t_[q] < 128 && table[t_[q]]) ++q;
            if (q >= len || t_[q] < 128 || !same(t_[q])) return q;
            ++q;
        }
    }

    // Whether the required unit still occurs at or after pos.
    bool RequiredAhead(size_t pos) const {
        return !p_.hasRequired_ || (lastRequired_ != Pattern::kNoPart && pos <= lastRequired_);
    }

    // The last position holding `unit` (either case when orMask is 0x20).
    size_t FindLast(char16_t unit, char16_t orMask) const {
        const char16_t* d = t_.data();
        size_t end = t_.size();
#ifdef DZD_PATTERN_SSE2
        const __m128i want = _mm_set1_epi16(static_cast<short>(unit));
        const __m128i mask = _mm_set1_epi16(static_cast<short>(orMask));
        while (end >= 8) {
            __m128i v;
            std::memcpy(&v, d + end - 8, sizeof v);
            int bits = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_or_si128(v, mask), want));
            if (bits != 0) return end - 8 + LastLane(bits);
            end -= 8;
        }
#endif
        while (end > 0) {
            --end;
            if (static_cast<char16_t>(d[end] | orMask) == unit) return end;
        }
        return Pattern::kNoPart;
    }

    bool MayStart(char16_t c) const {
        if (p_.prefix_.empty()) return true;
        return (p_.ignoreCase_ ? Fold(c) : c) == first_;
    }

    bool IsCandidate(size_t pos) const {
        const std::u16string& pre = p_.prefix_;
        if (pre.empty()) return true;
        if (t_.size() - pos < pre.size()) return false;
        if (p_.ignoreCase_) {
            for (size_t i = 0; i < pre.size(); ++i)
                if (Fold(t_[pos + i]) != pre[i]) return false;
            return true;
        }
        return t_.compare(pos, pre.size(), pre) == 0;
    }

    // The first position at or after `pos` where the literal prefix occurs;
    // kNoPart when there is none.
    size_t NextCandidate(size_t pos) const {
        const size_t len = t_.size();
        if (p_.prefix_.empty()) return pos <= len ? pos : Pattern::kNoPart;
        const size_t plen = p_.prefix_.size();
        if (len < plen) return Pattern::kNoPart;
        const size_t last = len - plen;  // last possible start
        // A letter is looked for in both cases at once: OR-ing 0x20 maps an
        // ASCII capital onto its small letter and nothing else onto it.
        const char16_t orMask = firstIsLetter_ ? 0x20 : 0;
        while (pos <= last) {
            pos = FindFirst(pos, last + 1, orMask);
            if (pos > last) return Pattern::kNoPart;
            if (IsCandidate(pos)) return pos;
            ++pos;
        }
        return Pattern::kNoPart;
    }

    size_t FindFirst(size_t pos, size_t end, char16_t orMask) const {
        const char16_t* d = t_.data();
#ifdef DZD_PATTERN_SSE2
        const __m128i want = _mm_set1_epi16(static_cast<short>(first_));
        const __m128i mask = _mm_set1_epi16(static_cast<short>(orMask));
        while (pos + 8 <= end) {
            __m128i v;
            std::memcpy(&v, d + pos, sizeof v);
            int bits = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_or_si128(v, mask), want));
            if (bits != 0) return pos + FirstLane(bits);
            pos += 8;
        }
#endif
        while (pos < end && static_cast<char16_t>(d[pos] | orMask) != first_) ++pos;
        return pos;
    }

    const Pattern& p_;
    std::u16string_view t_;
    const size_t slots_;
    std::vector<size_t> scratch_;
    std::vector<size_t> best_;
    std::vector<char> consumed_;
    std::vector<Frame> stack_;
    List a_, b_;
    char16_t first_ = 0;
    bool firstIsLetter_ = false;
    size_t lastRequired_ = Pattern::kNoPart;
    bool table_[128] = {};
    std::vector<int32_t> tablePcs_;
    std::vector<char> tableConsumed_;
    bool tableWatch_ = false;
    bool tableValid_ = false;
};

// Whether there is a match at all needs no groups and no priorities: the
// set of live instructions is all that counts, so sets met once are kept as
// states with their transitions, built as the text asks for them. Texts
// that keep producing new sets fall back to the VM.
class TestDfa {
public:
    enum : int { kUnknown = -1, kGaveUp = -2 };

    TestDfa(const Pattern& p, std::u16string_view text) : p_(p), t_(text), vm_(p, text), seen_(p.prog_.size(), 0) {
        Intern({});  // state 0: nothing alive
    }

    // 1 match, 0 none, kGaveUp when the states grew too many.
    int Run() {
        const size_t len = t_.size();
        int s = 0;
        size_t pos = 0;
        for (;;) {
            if (s == 0) {
                pos = vm_.NextCandidate(pos);
                if (pos == Pattern::kNoPart || !vm_.RequiredAhead(pos)) return 0;
            }
            if (vm_.RequiredAhead(pos) && vm_.IsCandidate(pos)) {
                if (states_[static_cast<size_t>(s)].withStart == kUnknown) {
                    std::vector<int32_t> pcs = states_[static_cast<size_t>(s)].pcs;
                    pcs.push_back(0);
                    const int n = Intern(Closure(pcs));
                    if (n < 0) return kGaveUp;
                    states_[static_cast<size_t>(s)].withStart = n;
                }
                s = states_[static_cast<size_t>(s)].withStart;
            }
            if (states_[static_cast<size_t>(s)].match) return 1;
            // Known transitions on units that cannot start a match need no
            // more than a table lookup each.
            const State* st = &states_[static_cast<size_t>(s)];
            size_t stay = 0;
            while (pos < len) {
                const char16_t u = t_[pos];
                if (u >= 128 || vm_.MayStart(u)) break;
                const int n = st->next[u];
                if (n < 0) break;
                ++pos;
                if (n != s) {
                    s = n;
                    st = &states_[static_cast<size_t>(s)];
                    stay = 0;
                    if (st->match) return 1;
                    if (s == 0) break;
                } else if (++stay == 64) {
                    // A long stay: find the few units that leave the state
                    // and jump to the next of them.
                    if (!Exits(s)) return kGaveUp;
                    st = &states_[static_cast<size_t>(s)];
                    pos = SkipStay(*st, pos);
                }
            }
            if (s == 0) continue;
            if (pos >= len) return 0;
            const char16_t c = t_[pos++];
            int next = c < 128 ? states_[static_cast<size_t>(s)].next[c] : kUnknown;
            if (next == kUnknown) {
                next = Step(s, c);
                if (next < 0) return kGaveUp;
                if (c < 128) states_[static_cast<size_t>(s)].next[c] = next;
            }
            s = next;
        }
    }

private:
    static constexpr size_t kMaxStates = 2000;
    struct State {
        std::vector<int32_t> pcs;  // sorted: consuming instructions and the match
        bool match = false;
        int withStart = kUnknown;
        int next[128];
        bool exitsKnown = false;
        std::u16string exits;  // ASCII units that leave the state or may start a match
    };

    // Fills the state's whole ASCII row and lists the units that leave it
    // (or may start a match); false when the states grew too many.
    bool Exits(int s) {
        if (states_[static_cast<size_t>(s)].exitsKnown) return true;
        std::u16string exits;
        for (char16_t c = 0; c < 128; ++c) {
            int n = states_[static_cast<size_t>(s)].next[c];
            if (n == kUnknown) {
                n = Step(s, c);
                if (n < 0) return false;
                states_[static_cast<size_t>(s)].next[c] = n;
            }
            if (n != s || vm_.MayStart(c)) exits += c;
        }
        State& st = states_[static_cast<size_t>(s)];
        st.exits = exits;
        st.exitsKnown = true;
        return true;
    }

    // The first position from pos on that holds an exit unit or a unit from
    // 128 up (those take the slow way).
    size_t SkipStay(const State& st, size_t pos) const {
        const size_t len = t_.size();
        const char16_t* d = t_.data();
        if (st.exits.size() > 3) {
            while (pos < len && d[pos] < 128 && st.exits.find(d[pos]) == std::u16string::npos) ++pos;
            return pos;
        }
        char16_t e[3] = {0x80, 0x80, 0x80};  // 0x80 never passes the high-bit test below
        for (size_t i = 0; i < st.exits.size(); ++i) e[i] = st.exits[i];
#ifdef DZD_PATTERN_SSE2
        const __m128i e0 = _mm_set1_epi16(static_cast<short>(e[0]));
        const __m128i e1 = _mm_set1_epi16(static_cast<short>(e[1]));
        const __m128i e2 = _mm_set1_epi16(static_cast<short>(e[2]));
        const __m128i high = _mm_set1_epi16(static_cast<short>(0xFF80));
        const __m128i zero = _mm_setzero_si128();
        while (pos + 8 <= len) {
            __m128i v;
            std::memcpy(&v, d + pos, sizeof v);
            __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, e0), _mm_cmpeq_epi16(v, e1)),
                                       _mm_or_si128(_mm_cmpeq_epi16(v, e2),
                                                    _mm_xor_si128(_mm_cmpeq_epi16(_mm_and_si128(v, high), zero),
                                                                  _mm_cmpeq_epi16(zero, zero))));
            int bits = _mm_movemask_epi8(hit);
            if (bits != 0) return pos + FirstLane(bits);
            pos += 8;
        }
#endif
        while (pos < len && d[pos] < 128 && d[pos] != e[0] && d[pos] != e[1] && d[pos] != e[2]) ++pos;
        return pos;
    }

    int Step(int s, char16_t c) {
        std::vector<int32_t> moved;
        for (int32_t pc : states_[static_cast<size_t>(s)].pcs) {
            const Inst& in = p_.prog_[static_cast<size_t>(pc)];
            if (in.op != Op::Match && vm_.Consumes(in, c)) moved.push_back(pc + 1);
        }
        return Intern(Closure(moved));
    }

    // The consuming instructions and the match reachable from `from`.
    std::vector<int32_t> Closure(const std::vector<int32_t>& from) {
        if (++gen_ == 0) {
            std::fill(seen_.begin(), seen_.end(), 0);
            gen_ = 1;
        }
        std::vector<int32_t> out, stack(from.rbegin(), from.rend());
        while (!stack.empty()) {
            const int32_t pc = stack.back();
            stack.pop_back();
            if (seen_[static_cast<size_t>(pc)] == gen_) continue;
            seen_[static_cast<size_t>(pc)] = gen_;
            const Inst& in = p_.prog_[static_cast<size_t>(pc)];
            switch (in.op) {
            case Op::Jmp: stack.push_back(in.x); break;
            case Op::Split:
                stack.push_back(in.y);
                stack.push_back(in.x);
                break;
            case Op::Save: stack.push_back(pc + 1); break;
            default: out.push_back(pc); break;
            }
        }
        std::sort(out.begin(), out.end());
        return out;
    }

    int Intern(std::vector<int32_t> pcs) {
        auto it = ids_.find(pcs);
        if (it != ids_.end()) return it->second;
        if (states_.size() >= kMaxStates) return kGaveUp;
        State st;
        st.match = false;
        for (int32_t pc : pcs)
            if (p_.prog_[static_cast<size_t>(pc)].op == Op::Match) st.match = true;
        std::fill(std::begin(st.next), std::end(st.next), static_cast<int>(kUnknown));
        st.pcs = pcs;
        states_.push_back(std::move(st));
        const int id = static_cast<int>(states_.size() - 1);
        ids_.emplace(std::move(pcs), id);
        return id;
    }

    const Pattern& p_;
    std::u16string_view t_;
    PikeVm vm_;  // for its prefilter and unit tests
    std::vector<State> states_;
    std::map<std::vector<int32_t>, int> ids_;
    std::vector<uint32_t> seen_;
    uint32_t gen_ = 0;
};

bool Pattern::Search(std::u16string_view text, size_t from, Groups* groups) const {
    PikeVm vm(*this, text);
    return vm.Search(from, groups, false);
}

bool Pattern::Test(std::u16string_view text) const {
    if (!hasAssertions_) {
        const int found = TestDfa(*this, text).Run();
        if (found != TestDfa::kGaveUp) return found == 1;
    }
    PikeVm vm(*this, text);
    Groups g;
    return vm.Search(0, &g, true);
}

std::vector<Pattern::Piece> Pattern::ParseReplacement(std::u16string_view r) const {
    const int groupCount = groupCount_;
    std::vector<Piece> out;
    size_t lit = 0, i = 0;
    auto flush = [&](size_t end) {
        if (end > lit) out.push_back({Piece::Text, r.substr(lit, end - lit), 0});
    };
    while (i < r.size()) {
        if (r[i] != u'$' || i + 1 >= r.size()) {
            ++i;
            continue;
        }
        const char16_t n = r[i + 1];
        Piece p{Piece::Text, {}, 0};
        size_t used = 0;
        if (n == u'$') p = {Piece::Text, r.substr(i, 1), 0}, used = 2;
        else if (n == u'&') p = {Piece::Group, {}, 0}, used = 2;
        else if (n == u'`') p = {Piece::Before, {}, 0}, used = 2;
        else if (n == u'\'') p = {Piece::After, {}, 0}, used = 2;
        else if (IsDigit(n)) {
            const int one = n - u'0';
            const int two = (i + 2 < r.size() && IsDigit(r[i + 2])) ? one * 10 + (r[i + 2] - u'0') : -1;
            if (two >= 1 && two <= groupCount) p = {Piece::Group, {}, two}, used = 3;
            else if (one >= 1 && one <= groupCount) p = {Piece::Group, {}, one}, used = 2;
        }
        if (used == 0) {
            ++i;  // the dollar stays literal
            continue;
        }
        flush(i);
        out.push_back(p);
        i += used;
        lit = i;
    }
    flush(r.size());
    return out;
}

void Pattern::ForEachMatch(std::u16string_view text, const std::function<void(const Groups&)>& onMatch) const {
    PikeVm vm(*this, text);
    Groups g;
    size_t from = 0;
    while (from <= text.size() && vm.Search(from, &g, false)) {
        onMatch(g);
        from = g[1] > g[0] ? g[1] : g[1] + 1;
    }
}

std::u16string Pattern::ReplaceAll(std::u16string_view text, std::u16string_view replacement) const {
    const std::vector<Piece> pieces = ParseReplacement(replacement);
    std::u16string out;
    size_t copied = 0;
    ForEachMatch(text, [&](const Groups& g) {
        const size_t start = g[0], end = g[1];
        out.append(text.substr(copied, start - copied));
        for (const Piece& p : pieces) {
            switch (p.kind) {
            case Piece::Text: out.append(p.text); break;
            case Piece::Group: {
                const size_t s = g[2 * static_cast<size_t>(p.group)], e = g[2 * static_cast<size_t>(p.group) + 1];
                if (s != kNoPart && e != kNoPart) out.append(text.substr(s, e - s));
                break;
            }
            case Piece::Before: out.append(text.substr(0, start)); break;
            case Piece::After: out.append(text.substr(end)); break;
            }
        }
        // An empty match's unit is copied as it is when the search moves on.
        copied = end;
    });
    if (copied < text.size()) out.append(text.substr(copied));
    return out;
}
