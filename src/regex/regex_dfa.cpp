#include <algorithm>
#include <map>

#include "regex/regex.h"

namespace regex {
// One lazily built DFA. A state is the list of live sets and three flags
// (a match ends on entering it, one has ended, nothing is alive). Kept in priority order, with a match cutting
// every thread after it, the last match seen before the list empties is the
// one the VM would report; kept as a sorted set, nothing is cut and a match
// only says that there is one. The states depend on the program alone, so
// they are kept with it for the next text.
class Core {
public:
    enum : int32_t { kUnknown = -1, kGaveUp = -2 };
    enum : uint8_t { kMatchNow = 1, kDead = 2, kMatched = 4 };
    enum Kind { Forward, Backward, Any };

    explicit Core(Kind kind) : kind_(kind) { Reset(); }

    // Per state: its flags, and its row of known transitions by unit, every
    // unit from 0x80 up in the last column.
    const uint8_t* Info() const { return info_.data(); }
    const int32_t* Table() const { return next_.data(); }
    bool Full() const { return states_.size() >= kMaxStates; }

    void Reset() {
        states_.clear();
        next_.clear();
        info_.clear();
        ids_.clear();
        anchored_ = afterPrefix_ = kUnknown;
        Resolve({}, false, false);  // state 0: nothing alive, nothing matched
    }

    int32_t Next(const Program& p, int32_t s, uint32_t column) {
        const int32_t known = next_[Slot(s, column)];
        if (known != kUnknown) return known;
        std::vector<int32_t> roots;
        for (int32_t pc : states_[static_cast<size_t>(s)].pcs) {
            const Inst& in = Insts(p)[static_cast<size_t>(pc)];
            if (in.op == Op::Set && p.sets[static_cast<size_t>(in.x)].Has(column)) roots.push_back(pc + 1);
        }
        const int32_t n = Reach(p, roots, (info_[static_cast<size_t>(s)] & kMatched) != 0);
        if (n >= 0) next_[Slot(s, column)] = n;
        return n;
    }

    // The state with a thread started at the lowest priority.
    int32_t WithStart(const Program& p, int32_t s) {
        State& st = states_[static_cast<size_t>(s)];
        if (st.withStart != kUnknown) return st.withStart;
        std::vector<int32_t> roots = st.pcs;
        roots.push_back(0);
        const int32_t n = Reach(p, roots, (info_[static_cast<size_t>(s)] & kMatched) != 0);
        if (n >= 0) states_[static_cast<size_t>(s)].withStart = n;
        return n;
    }

    // From nothing alive, a start and the prefix's first prefixShift units:
    // a start needs no table steps through what the literal scan has seen.
    int32_t AfterPrefix(const Program& p) {
        if (afterPrefix_ != kUnknown) return afterPrefix_;
        int32_t s = WithStart(p, 0);
        for (size_t i = 0; i < p.prefixShift && s >= 0; ++i) s = Next(p, s, static_cast<uint8_t>(p.prefix[i]));
        if (s >= 0) afterPrefix_ = s;
        return s;
    }

    int32_t Anchored(const Program& p) {
        if (anchored_ == kUnknown) anchored_ = Reach(p, {0}, false);
        return anchored_;
    }

    // The units that take a state elsewhere, or may start a match there,
    // when they are few and every unit from 0x80 up keeps it: a run of any
    // other units can be passed over without a look at the table. Null
    // otherwise.
    const std::string* Exits(const Program& p, int32_t s) {
        State& st = states_[static_cast<size_t>(s)];
        if (st.exitsKnown) return st.exitsUsable ? &st.exits : nullptr;
        st.exitsKnown = true;
        const bool starts = !(info_[static_cast<size_t>(s)] & kMatched) && kind_ != Backward;
        if (starts && p.prefix.empty()) return nullptr;
        std::string exits;
        if (starts) exits += p.prefix[0];
        for (uint32_t c = 0; c <= 128; ++c) {
            const int32_t n = Next(p, s, c);
            if (n == s) continue;
            if (n < 0 || c == 128) return nullptr;
            if (exits.find(static_cast<char>(Fold(c))) == std::string::npos) exits += static_cast<char>(Fold(c));
            if (exits.size() > 4) return nullptr;
        }
        State& again = states_[static_cast<size_t>(s)];  // Next may have moved it
        again.exits = std::move(exits);
        again.exitsUsable = true;
        return &again.exits;
    }

private:
    static constexpr size_t kMaxStates = 2000;
    struct State {
        std::vector<int32_t> pcs;
        int32_t withStart = kUnknown;
        bool exitsKnown = false, exitsUsable = false;
        std::string exits;
    };

    static size_t Slot(int32_t s, uint32_t column) { return static_cast<size_t>(s) * 129 + column; }
    const std::vector<Inst>& Insts(const Program& p) const { return kind_ == Backward ? p.reverse : p.insts; }

    // The sets reachable from `roots`, in priority order, and whether the
    // match is: a match cuts the threads after it, and without priorities
    // the match is a flag and the rest stays.
    std::vector<int32_t> Closure(const Program& p, const std::vector<int32_t>& roots, bool* now) {
        const std::vector<Inst>& insts = Insts(p);
        seen_.assign(insts.size(), 0);
        std::vector<int32_t> out, stack(roots.rbegin(), roots.rend());
        *now = false;
        while (!stack.empty()) {
            const int32_t pc = stack.back();
            stack.pop_back();
            if (seen_[static_cast<size_t>(pc)]) continue;
            seen_[static_cast<size_t>(pc)] = 1;
            const Inst& in = insts[static_cast<size_t>(pc)];
            switch (in.op) {
            case Op::Jmp: stack.push_back(in.x); break;
            case Op::Split:
                stack.push_back(in.y);
                stack.push_back(in.x);
                break;
            case Op::Save: stack.push_back(pc + 1); break;
            case Op::Match:
                *now = true;
                if (kind_ == Forward) stack.clear();
                break;
            case Op::Set: out.push_back(pc); break;
            }
        }
        if (kind_ != Forward) std::sort(out.begin(), out.end());
        return out;
    }

    // The state of what `roots` lead to, after a state with `matched`.
    int32_t Reach(const Program& p, const std::vector<int32_t>& roots, bool matched) {
        bool now = false;
        std::vector<int32_t> pcs = Closure(p, roots, &now);
        return Resolve(std::move(pcs), matched, now);
    }

    int32_t Resolve(std::vector<int32_t> pcs, bool matched, bool now) {
        matched = matched || now;
        pcs.push_back(-1 - (matched ? 1 : 0) - (now ? 2 : 0));  // the flags, in the key only
        auto it = ids_.find(pcs);
        if (it != ids_.end()) return it->second;
        if (Full()) return kGaveUp;
        const int32_t id = static_cast<int32_t>(states_.size());
        ids_.emplace(pcs, id);
        pcs.pop_back();
        const bool dead = pcs.empty();
        states_.push_back({std::move(pcs), kUnknown, false, false, {}});
        next_.resize(states_.size() * 129, kUnknown);
        info_.push_back(static_cast<uint8_t>((now ? kMatchNow : 0) | (dead ? kDead : 0) | (matched ? kMatched : 0)));
        return id;
    }

    const Kind kind_;
    std::vector<State> states_;
    std::vector<int32_t> next_;
    std::vector<uint8_t> info_;
    std::map<std::vector<int32_t>, int32_t> ids_;
    std::vector<uint8_t> seen_;
    int32_t anchored_ = kUnknown, afterPrefix_ = kUnknown;
};

struct Dfas {
    Core forward{Core::Forward}, backward{Core::Backward}, any{Core::Any};
};

namespace {

Dfas& DfasOf(const Program& p) {
    if (!p.dfas) p.dfas = std::make_shared<Dfas>();
    return *p.dfas;
}

// Whether a match may start at a candidate, by the required literals that
// have barriers: each must start before the first of its barrier units
// after the start. Where one cannot, no start before that barrier unit can
// either: the place to look again.
template <class Unit>
class BarriersAhead {
public:
    BarriersAhead(const Program& p, Units<Unit> t) : p_(p), t_(t), next_(p.required.size(), kUnknown) {}
    // kNoPart when a match may start at pos; else where to look again.
    size_t operator()(size_t pos) {
        for (size_t i = 0; i < next_.size(); ++i) {
            const std::string& barrier = p_.requiredBarriers[i];
            const std::string& literal = p_.required[i];
            if (barrier.empty()) continue;
            // Barrier units come soon in most texts: the first one, looked
            // for close by, bounds the scan for the literal.
            const size_t near = Barrier(barrier, pos, std::min(t_.size, pos + kNear));
            if (near < t_.size && near < pos + kNear) {
                const Units<Unit> upTo{t_.data, std::min(t_.size, near + literal.size())};
                if (FindLiteral(literal, p_.requiredProbes[i], upTo, pos) == kNoPart) return near + 1;
                continue;
            }
            // Else the literal's next place, kept for the next start, bounds
            // the scan for a barrier unit.
            if (next_[i] == kUnknown || (next_[i] != kNoPart && next_[i] < pos))
                next_[i] = FindLiteral(literal, p_.requiredProbes[i], t_, pos);
            if (next_[i] == kNoPart) return t_.size + 1;  // not ahead at all
            const size_t b = Barrier(barrier, pos, next_[i]);
            if (b < next_[i]) return b + 1;
        }
        return kNoPart;
    }

private:
    static constexpr size_t kUnknown = kNoPart - 1;
    static constexpr size_t kNear = 1024;

    // The first barrier unit in [from, to), or `to`.
    size_t Barrier(const std::string& barrier, size_t from, size_t to) const {
        const Units<Unit> upTo{t_.data, to};
        size_t b = FindAnyOf(barrier, upTo, from);
        while (b < to && t_[b] >= 128) b = FindAnyOf(barrier, upTo, b + 1);  // the only early stops
        return b;
    }

    const Program& p_;
    Units<Unit> t_;
    std::vector<size_t> next_;
};

// From `from` to where no thread is left: the end of the last match seen
// (with `first`, of the first), kNoPart for none, and where that match
// starts when the scan knows: when the one start alive since nothing was
// took it. False when the states grew too many.
template <class Unit>
bool Scan(const Program& p, Core& core, Units<Unit> t, RequiredAhead<Unit>& requiredAhead,
          BarriersAhead<Unit>& barriersAhead, bool first, size_t from, size_t* end, size_t* start) {
    if (core.Full()) core.Reset();
    const size_t len = t.size;
    const bool anywhere = p.prefix.empty();
    // The lead unit in both cases: where a match may start.
    const uint32_t leadLo = anywhere ? 0x10000 : static_cast<uint8_t>(p.prefix[0]);
    const uint32_t leadHi = leadLo >= 'a' && leadLo <= 'z' ? leadLo - 32 : leadLo;
    size_t last = kNoPart, pos = from, startedAt = kNoPart, sole = kNoPart, lastStart = kNoPart;
    int32_t s = 0;
    // Each round enters state s at pos: the match it may end, a start it
    // may take, then units through the table until one of those comes up.
    for (;;) {
        uint8_t f = core.Info()[s];
        if (f & Core::kMatchNow) {
            last = pos;
            lastStart = sole;
            if (first) break;
        }
        if (f & Core::kDead) {
            if (s != 0) break;  // matched, and nothing can match later
            size_t again = pos;
            while (again != kNoPart) {
                pos = FindLiteral(p.prefix, p.prefixProbes, t, again);
                if (pos == kNoPart || !requiredAhead(pos)) break;
                again = barriersAhead(pos);
            }
            if (pos == kNoPart || again != kNoPart) break;
        }
        if (!(f & Core::kMatched) && startedAt != pos && (anywhere || LiteralAt(p.prefix, t, pos))) {
            startedAt = pos;
            sole = s == 0 ? pos : kNoPart;
            if (s == 0 && !anywhere) {
                s = core.AfterPrefix(p);
                pos += p.prefixShift;
            } else {
                s = core.WithStart(p, s);
            }
            if (s < 0) return false;
            continue;
        }
        if (pos >= len) break;
        // The hot loop. A run a state keeps to is passed over once it has
        // lasted a few units: in short runs the skip costs more than it saves.
        const int32_t* table = core.Table();
        int stay = 0;
        for (;;) {
            const uint32_t u = t[pos];
            if (!(f & Core::kMatched) && (anywhere || u == leadLo || u == leadHi) && startedAt != pos &&
                (anywhere || LiteralAt(p.prefix, t, pos)))
                break;
            int32_t n = table[static_cast<size_t>(s) * 129 + std::min<uint32_t>(u, 128)];
            if (n < 0) {
                n = core.Next(p, s, std::min<uint32_t>(u, 128));
                if (n < 0) return false;
                table = core.Table();
            }
            ++pos;
            if (n != s) {
                s = n;
                f = core.Info()[s];
                stay = 0;
                if (f & (Core::kMatchNow | Core::kDead)) break;
            } else if (f & Core::kMatchNow) {
                break;
            } else if (++stay == 4 && pos < len) {
                const std::string* exits = core.Exits(p, s);
                if (exits) pos = FindAnyOf(*exits, t, pos);
                table = core.Table();
                stay = 0;
            }
            if (pos >= len) break;
        }
        if (pos >= len && !(core.Info()[s] & Core::kMatchNow)) break;
    }
    *end = last;
    *start = last == kNoPart ? kNoPart : lastStart;
    return true;
}

}  // namespace

template <class Unit>
struct MatchFinder<Unit>::Impl {
    Impl(const Program& prog, Units<Unit> text)
        : p(prog), t(text), dfas(DfasOf(prog)), requiredAhead(prog, text), barriersAhead(prog, text) {}
    const Program& p;
    Units<Unit> t;
    Dfas& dfas;
    RequiredAhead<Unit> requiredAhead;
    BarriersAhead<Unit> barriersAhead;
};

template <class Unit>
MatchFinder<Unit>::MatchFinder(const Program& p, Units<Unit> text) : impl_(new Impl(p, text)) {}
template <class Unit>
MatchFinder<Unit>::~MatchFinder() = default;

template <class Unit>
bool MatchFinder<Unit>::End(size_t from, size_t* end, size_t* start) {
    Impl& m = *impl_;
    return Scan(m.p, m.dfas.forward, m.t, m.requiredAhead, m.barriersAhead, false, from, end, start);
}

// Read backwards from the end without priorities: the earliest start of a
// match that ends there is the leftmost match's start.
template <class Unit>
bool MatchFinder<Unit>::Start(size_t from, size_t end, size_t* start) {
    Impl& m = *impl_;
    Core& core = m.dfas.backward;
    if (core.Full()) core.Reset();
    int32_t s = core.Anchored(m.p);
    *start = kNoPart;
    if (s < 0) return false;
    const int32_t* table = core.Table();
    for (size_t pos = end;; --pos) {
        const uint8_t f = core.Info()[s];
        if (f & Core::kMatchNow) *start = pos;
        if ((f & Core::kDead) || pos == from) return true;
        const uint32_t column = std::min<uint32_t>(m.t[pos - 1], 128);
        int32_t n = table[static_cast<size_t>(s) * 129 + column];
        if (n < 0) {
            n = core.Next(m.p, s, column);
            if (n < 0) return false;
            table = core.Table();
        }
        s = n;
    }
}

template class MatchFinder<uint8_t>;
template class MatchFinder<char16_t>;

template <class Unit>
bool Test(const Program& p, Units<Unit> text) {
    RequiredAhead<Unit> requiredAhead(p, text);
    BarriersAhead<Unit> barriersAhead(p, text);
    size_t end = kNoPart, start = kNoPart;
    if (Scan(p, DfasOf(p).any, text, requiredAhead, barriersAhead, true, 0, &end, &start)) return end != kNoPart;
    Groups g;
    return Searcher<Unit>(p, text).Search(0, &g);
}

template bool Test(const Program&, Units<uint8_t>);
template bool Test(const Program&, Units<char16_t>);

}  // namespace regex
