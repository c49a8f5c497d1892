#include <algorithm>
#include <map>

#include "localstate/regex.h"

namespace regex {
namespace {

// Whether there is a match at all needs no groups and no priorities: the
// set of live instructions is all that counts, so sets met once are kept as
// states with their transitions, built as the text asks for them. A text
// that keeps making new sets goes to the VM instead.
template <class Unit>
class Dfa {
public:
    enum : int { kUnknown = -1, kGaveUp = -2 };

    Dfa(const Program& p, Units<Unit> t) : p_(p), t_(t), requiredAhead_(p, t), seen_(p.insts.size(), 0) {
        Intern({});  // state 0: nothing alive
    }

    // 1 match, 0 none, kGaveUp when the states grew too many.
    int Run() {
        const size_t len = t_.size;
        int s = 0;
        size_t pos = 0;
        for (;;) {
            if (s == 0) {
                pos = FindLiteral(p_.prefix, t_, pos);
                if (pos == kNoPart || !requiredAhead_(pos)) return 0;
            }
            if (IsCandidate(pos)) {
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
            if (pos >= len) return 0;
            // Units that cannot start a match need only the state's row.
            const uint32_t u = std::min<uint32_t>(t_[pos++], 128);
            int next = states_[static_cast<size_t>(s)].next[u];
            if (next == kUnknown) {
                next = Step(s, u);
                if (next < 0) return kGaveUp;
                states_[static_cast<size_t>(s)].next[u] = next;
            }
            s = next;
            while (s != 0 && !p_.prefix.empty() && pos < len && !states_[static_cast<size_t>(s)].match) {
                const uint32_t v = std::min<uint32_t>(t_[pos], 128);
                if (Fold(v) == first_ && IsCandidate(pos)) break;
                const int n = states_[static_cast<size_t>(s)].next[v];
                if (n < 0) break;
                s = n;
                ++pos;
            }
            if (states_[static_cast<size_t>(s)].match) return 1;
        }
    }

private:
    static constexpr size_t kMaxStates = 2000;
    struct State {
        std::vector<int32_t> pcs;  // sorted: sets and the match
        bool match = false;
        int withStart = kUnknown;
        int next[129];  // by unit, every unit from 0x80 up in the last
    };

    static uint32_t Fold(uint32_t u) { return u >= 'A' && u <= 'Z' ? u + 32 : u; }

    bool IsCandidate(size_t pos) const {
        const std::string& pre = p_.prefix;
        if (t_.size - pos < pre.size()) return false;
        for (size_t i = 0; i < pre.size(); ++i)
            if (Fold(t_[pos + i]) != static_cast<uint8_t>(pre[i])) return false;
        return true;
    }

    int Step(int s, uint32_t u) {
        std::vector<int32_t> moved;
        for (int32_t pc : states_[static_cast<size_t>(s)].pcs) {
            const Inst& in = p_.insts[static_cast<size_t>(pc)];
            if (in.op == Op::Set && p_.sets[static_cast<size_t>(in.x)].Has(u)) moved.push_back(pc + 1);
        }
        return Intern(Closure(moved));
    }

    // The sets and the match reachable from `from`.
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
            const Inst& in = p_.insts[static_cast<size_t>(pc)];
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
        for (int32_t pc : pcs)
            if (p_.insts[static_cast<size_t>(pc)].op == Op::Match) st.match = true;
        std::fill(std::begin(st.next), std::end(st.next), static_cast<int>(kUnknown));
        st.pcs = pcs;
        states_.push_back(std::move(st));
        const int id = static_cast<int>(states_.size() - 1);
        ids_.emplace(std::move(pcs), id);
        return id;
    }

    const Program& p_;
    Units<Unit> t_;
    uint32_t first_ = p_.prefix.empty() ? 0x100 : static_cast<uint8_t>(p_.prefix[0]);
    RequiredAhead<Unit> requiredAhead_;
    std::vector<State> states_;
    std::map<std::vector<int32_t>, int> ids_;
    std::vector<uint32_t> seen_;
    uint32_t gen_ = 0;
};

}  // namespace

template <class Unit>
bool Test(const Program& p, Units<Unit> text) {
    const int found = Dfa<Unit>(p, text).Run();
    if (found != Dfa<Unit>::kGaveUp) return found == 1;
    Groups g;
    return Searcher<Unit>(p, text).Search(0, &g);
}

template bool Test(const Program&, Units<uint8_t>);
template bool Test(const Program&, Units<char16_t>);

}  // namespace regex
