#include <algorithm>

#include "regex/regex.h"

namespace regex {

template <class Unit>
struct Searcher<Unit>::Impl {
    Impl(const Program& prog, Units<Unit> text)
        : p(prog), t(text), slots(2 * static_cast<size_t>(prog.groupCount + 1)), scratch(slots), requiredAhead(prog, text) {
        for (List* l : {&a, &b}) l->mark.assign(p.insts.size(), 0);
        // A set's successor when reaching it passes no split: a thread
        // that consumes one unit there and is refused the next leaves no
        // trace.
        follow.assign(p.insts.size(), -1);
        for (size_t pc = 0; pc < p.insts.size(); ++pc) {
            if (p.insts[pc].op != Op::Set) continue;
            int32_t next = static_cast<int32_t>(pc) + 1;
            for (size_t hops = 0; hops < p.insts.size(); ++hops) {
                const Inst& in = p.insts[static_cast<size_t>(next)];
                if (in.op == Op::Save) ++next;
                else if (in.op == Op::Jmp) next = in.x;
                else break;
            }
            if (p.insts[static_cast<size_t>(next)].op == Op::Set) follow[pc] = next;
        }
    }

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

    bool Consumes(int32_t pc, uint32_t u) const {
        const Inst& in = p.insts[static_cast<size_t>(pc)];
        return in.op == Op::Set && p.sets[static_cast<size_t>(in.x)].Has(u);
    }
    bool MayStart(uint32_t u) const { return p.prefix.empty() || Fold(u) == static_cast<uint8_t>(p.prefix[0]); }
    bool IsCandidate(size_t pos) const { return LiteralAt(p.prefix, t, pos); }

    static void Clear(List* l) {
        l->count = 0;
        if (++l->gen == 0) {
            std::fill(l->mark.begin(), l->mark.end(), 0);
            l->gen = 1;
        }
    }

    // With `anchored`, only a match that starts at `from`.
    bool Search(size_t from, Groups* out, bool anchored) {
        if (from > t.size) return false;
        List* clist = &a;
        List* nlist = &b;
        Clear(clist);
        bool matched = false;
        size_t pos = from;
        for (;;) {
            bool started = false;
            if (!matched && (!anchored || pos == from)) {
                // An anchored start is a match's, which the DFAs have found.
                if (clist->count == 0 && !anchored) {
                    pos = FindLiteral(p.prefix, p.prefixProbes, t, pos);
                    if (pos == kNoPart || !requiredAhead(pos)) return false;
                    Clear(clist);
                }
                if (IsCandidate(pos) && (anchored || requiredAhead(pos))) {
                    std::fill(scratch.begin(), scratch.end(), kNoPart);
                    AddThread(clist, 0, pos);
                    started = true;
                }
            }
            if (clist->count == 0) {
                if (matched || anchored || pos >= t.size) break;
                ++pos;
                continue;
            }
            Clear(nlist);
            sawSave = false;
            const bool atEnd = pos >= t.size;
            const uint32_t u = atEnd ? 0 : t[pos];
            consumed.assign(clist->count, 0);
            bool cut = false;
            for (size_t i = 0; i < clist->count; ++i) {
                const size_t* caps = &clist->caps[i * slots];
                if (p.insts[static_cast<size_t>(clist->pcs[i])].op == Op::Match) {
                    matched = true;
                    best.assign(caps, caps + slots);
                    cut = true;  // lower-priority threads lose to this match
                    break;
                }
                if (!atEnd && Consumes(clist->pcs[i], u)) {
                    consumed[i] = 1;
                    std::copy(caps, caps + slots, scratch.begin());
                    AddThread(nlist, clist->pcs[i] + 1, pos + 1);
                }
            }
            if (atEnd) break;
            if (!cut && !started && !sawSave && SameThreads(*clist, *nlist)) {
                // One step brought the threads back to where they were, so
                // every following unit each thread treats the same way does
                // the same.
                pos = SkipSteady(*clist, pos + 1, matched || anchored);
                continue;
            }
            std::swap(clist, nlist);
            ++pos;
        }
        if (!matched) return false;
        *out = best;
        return true;
    }

    // Follows jumps, splits and saves from pc, adding every thread that
    // reaches a set or the match, in priority order; scratch holds the
    // thread's groups. A stack, not recursion: patterns may be long.
    void AddThread(List* l, int32_t pc0, size_t pos) {
        stack.clear();
        stack.push_back({pc0, -1, 0});
        while (!stack.empty()) {
            const Frame f = stack.back();
            stack.pop_back();
            if (f.slot >= 0) {
                scratch[static_cast<size_t>(f.slot)] = f.old;
                continue;
            }
            for (int32_t pc = f.pc;;) {
                const size_t upc = static_cast<size_t>(pc);
                if (l->mark[upc] == l->gen) break;
                l->mark[upc] = l->gen;
                const Inst& in = p.insts[upc];
                if (in.op == Op::Jmp) {
                    pc = in.x;
                } else if (in.op == Op::Split) {
                    stack.push_back({in.y, -1, 0});
                    pc = in.x;
                } else if (in.op == Op::Save) {
                    const size_t s = static_cast<size_t>(in.x);
                    stack.push_back({0, in.x, scratch[s]});
                    scratch[s] = pos;
                    sawSave = true;
                    ++pc;
                } else {
                    Push(l, pc);
                    break;
                }
            }
        }
    }

    void Push(List* l, int32_t pc) {
        if (l->pcs.size() <= l->count) {
            l->pcs.resize(l->count + 1);
            l->caps.resize((l->count + 1) * slots);
        }
        l->pcs[l->count] = pc;
        std::copy(scratch.begin(), scratch.end(), l->caps.begin() + static_cast<std::ptrdiff_t>(l->count * slots));
        ++l->count;
    }

    bool SameThreads(const List& x, const List& y) const {
        return x.count == y.count && std::equal(x.pcs.begin(), x.pcs.begin() + static_cast<std::ptrdiff_t>(x.count), y.pcs.begin()) &&
               std::equal(x.caps.begin(), x.caps.begin() + static_cast<std::ptrdiff_t>(x.count * slots), y.caps.begin());
    }

    // Moves past every unit that each thread of the steady list consumes or
    // refuses just as it did the last one, and that cannot start a new
    // match; the first position that needs a real step.
    size_t SkipSteady(const List& l, size_t q, bool matched) {
        auto same = [&](uint32_t u) {
            if (!matched && MayStart(u)) return false;
            for (size_t i = 0; i < l.count; ++i)
                if (Consumes(l.pcs[i], u) != (consumed[i] != 0)) return false;
            return true;
        };
        // Or a thread that refused takes this unit but not the next, as a
        // literal's first unit does where the literal is not.
        auto passing = [&](size_t at) {
            const uint32_t u = t[at];
            if (!matched && MayStart(u) && IsCandidate(at)) return false;
            for (size_t i = 0; i < l.count; ++i) {
                const int32_t pc = l.pcs[i];
                if (Consumes(pc, u) == (consumed[i] != 0)) continue;
                const int32_t next = follow[static_cast<size_t>(pc)];
                if (consumed[i] || at + 1 >= t.size || next < 0 || Consumes(next, t[at + 1])) return false;
            }
            return true;
        };
        // Short runs are common; a table pays off only for long ones.
        const size_t probe = std::min(t.size, q + 32);
        while (q < probe && passing(q)) ++q;
        if (q < probe || q >= t.size) return q;
        // Every unit from 0x80 up is the same to a pattern: one row for all.
        bool table[129];
        for (uint32_t u = 0; u < 129; ++u) table[u] = same(u);
        for (;;) {
            while (q < t.size && table[std::min<uint32_t>(t[q], 128)]) ++q;
            if (q >= t.size || !passing(q)) return q;
            ++q;
        }
    }

    const Program& p;
    Units<Unit> t;
    const size_t slots;
    std::vector<size_t> scratch, best;
    std::vector<char> consumed;
    std::vector<Frame> stack;
    std::vector<int32_t> follow;
    List a, b;
    bool sawSave = false;
    RequiredAhead<Unit> requiredAhead;
};

namespace {

// Takes the steps from `pos` on (`step` +1) or back (-1), each repeat
// taking as many units as it can: it has no choice. False where the text
// does not agree.
template <class Unit>
bool Walk(const std::vector<WalkStep>& steps, Units<Unit> t, size_t start, size_t end, int step, size_t pos,
          Groups* groups) {
    for (const WalkStep& s : steps) {
        if (s.kind == WalkStep::Edge) {
            (*groups)[s.slot] = pos;
        } else if (s.kind == WalkStep::Skip) {
            const size_t width = static_cast<size_t>(s.min);
            if (step > 0 ? end - pos < width : pos - start < width) return false;
            pos = step > 0 ? pos + width : pos - width;
        } else {
            int count = 0;
            for (; (s.max < 0 || count < s.max) && (step > 0 ? pos < end : pos > start); ++count) {
                if (!s.set.Has(t[step > 0 ? pos : pos - 1])) break;
                pos = step > 0 ? pos + 1 : pos - 1;
            }
            if (count < s.min) return false;
        }
    }
    return true;
}

// Every group's edge by the walks the program has for them.
template <class Unit>
bool WalkEdges(const Program& p, Units<Unit> t, size_t start, size_t end, Groups* groups) {
    groups->assign(2 * static_cast<size_t>(p.groupCount + 1), kNoPart);
    (*groups)[0] = start;
    (*groups)[1] = end;
    return Walk(p.edgeWalks.fromStart, t, start, end, 1, start, groups) &&
           Walk(p.edgeWalks.fromEnd, t, start, end, -1, end, groups);
}

}  // namespace

template <class Unit>
Searcher<Unit>::Searcher(const Program& p, Units<Unit> text) : impl_(new Impl(p, text)), finder_(new MatchFinder<Unit>(p, text)) {}
template <class Unit>
Searcher<Unit>::~Searcher() = default;
template <class Unit>
bool Searcher<Unit>::Search(size_t from, Groups* groups) {
    Impl& m = *impl_;
    if (from > m.t.size) return false;
    // The VM pays for every thread on every unit; the DFAs find the match
    // first, and the VM reads only the match for its groups.
    size_t end = kNoPart, start = kNoPart;
    const bool bounded = !finderGaveUp_ && finder_->End(from, &end, &start) &&
                         (end == kNoPart || start != kNoPart || (finder_->Start(from, end, &start) && start != kNoPart));
    if (bounded && end == kNoPart) return false;
    if (bounded && m.p.edgeWalks.found && WalkEdges(m.p, m.t, start, end, groups)) return true;
    if (bounded) {
        const size_t size = m.t.size;
        m.t.size = end;
        const bool found = m.Search(start, groups, true);
        m.t.size = size;
        if (found) return true;
    }
    finderGaveUp_ = true;
    return m.Search(from, groups, false);
}

template class Searcher<uint8_t>;
template class Searcher<char16_t>;

}  // namespace regex
