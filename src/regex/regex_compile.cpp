#include <algorithm>
#include <cstdint>

#include "regex/regex.h"

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

// The instructions for `items` in order; saves only where `saves`.
void Emit(const std::vector<Item>& items, bool saves, std::vector<Inst>* out) {
    std::vector<Inst>& insts = *out;
    auto here = [&insts] { return static_cast<int32_t>(insts.size()); };
    int32_t set = -1;
    for (const Item& it : items) {
        if (it.kind != Item::Unit) {
            if (saves) insts.push_back({Op::Save, 2 * it.group + (it.kind == Item::Close), 0});
            continue;
        }
        ++set;
        // A split lists the branch it prefers first: the body when greedy.
        auto split = [&](int32_t at, int32_t body, int32_t exit) {
            insts[static_cast<size_t>(at)] = {Op::Split, it.greedy ? body : exit, it.greedy ? exit : body};
        };
        if (it.min == 1 && it.max == 1) {
            insts.push_back({Op::Set, set, 0});
        } else if (it.min == 1) {  // x+
            const int32_t body = here();
            insts.push_back({Op::Set, set, 0});
            insts.push_back({});
            split(body + 1, body, body + 2);
        } else if (it.max == 1) {  // x?
            const int32_t at = here();
            insts.push_back({});
            insts.push_back({Op::Set, set, 0});
            split(at, at + 1, at + 2);
        } else {  // x*
            const int32_t at = here();
            insts.push_back({});
            insts.push_back({Op::Set, set, 0});
            insts.push_back({Op::Jmp, at, 0});
            split(at, at + 1, at + 3);
        }
    }
}

// Up to four units that no item in `before` can take, the ones JSON text
// has most of first: a match must reach its literal before the first of
// them, so the sooner one comes the sooner a hopeless start is seen.
std::string Barrier(const Set& before) {
    std::string out;
    auto add = [&](uint32_t c) {
        if (out.size() < 4 && !before.Has(c) && out.find(static_cast<char>(c)) == std::string::npos &&
            !(c >= 'A' && c <= 'Z'))
            out += static_cast<char>(c);
    };
    for (char c : std::string_view(",}]\":{[ ")) add(static_cast<uint8_t>(c));
    for (uint32_t c = 1; c < 128; ++c) add(c);
    return out;
}

// Walks from a match's start and back from its end to each group's edge:
// every repeat they pass must have no choice to make, its units none that
// what may come next (before) could take, up to a unit that must be there.
// Any parse of the match then splits it the same way there, the
// leftmost-first one included. None when some edge lies beyond both.
EdgeWalks FindEdgeWalks(const std::vector<Item>& items) {
    const size_t n = items.size();
    // Whether the repeat at i has no choice, looking onwards (step +1) or back.
    auto forced = [&](size_t i, int step) {
        const Item& it = items[i];
        if (it.min == it.max) return true;
        for (size_t k = i + static_cast<size_t>(step); k < n; k += static_cast<size_t>(step)) {
            const Item& next = items[k];
            if (next.kind != Item::Unit) continue;
            for (int w = 0; w < 2; ++w)
                if (it.set.ascii[w] & next.set.ascii[w]) return false;
            if (it.set.high && next.set.high) return false;
            if (next.min > 0) return true;
        }
        return false;  // the match may end there: the repeat may stop anywhere
    };
    size_t front = 0;  // items [0, front) are passed without a choice from the start
    while (front < n && (items[front].kind != Item::Unit || forced(front, 1))) ++front;
    size_t back = n;  // items [back, n) from the end
    while (back > 0 && (items[back - 1].kind != Item::Unit || forced(back - 1, -1))) --back;
    // Each edge from the nearer bound that reaches it.
    std::vector<int> fromStart(n, 0);  // per edge item: 1 from the start, 0 from the end
    size_t last = 0, first = n;  // the walks: items [0, last) and [first, n)
    for (size_t j = 0; j < n; ++j) {
        if (items[j].kind == Item::Unit) continue;
        if (j < front && (j <= n - j || j < back)) fromStart[j] = 1, last = j + 1;
        else if (j >= back) first = std::min(first, j);
        else return {};
    }
    EdgeWalks walks;
    walks.found = true;
    auto add = [&](std::vector<WalkStep>& steps, const Item& it, bool edge) {
        if (it.kind != Item::Unit) {
            if (edge) steps.push_back({WalkStep::Edge, 0, 0, 2 * static_cast<size_t>(it.group) + (it.kind == Item::Close), {}});
        } else if (it.min != it.max) {
            steps.push_back({WalkStep::Repeat, it.min, it.max, 0, it.set});
        } else if (!steps.empty() && steps.back().kind == WalkStep::Skip) {
            steps.back().min += it.min;  // fixed widths add up: the match holds them
        } else {
            steps.push_back({WalkStep::Skip, it.min, it.min, 0, {}});
        }
    };
    for (size_t j = 0; j < last; ++j) add(walks.fromStart, items[j], fromStart[j] == 1);
    for (size_t j = n; j-- > first;) add(walks.fromEnd, items[j], fromStart[j] == 0);
    return walks;
}

// The literal's smallest period: another match cannot start less than that
// far after a start, since the literal would have to overlap itself there.
size_t SmallestPeriod(const std::string& literal) {
    for (size_t shift = 1; shift < literal.size(); ++shift)
        if (literal.compare(shift, std::string::npos, literal, 0, literal.size() - shift) == 0) return shift;
    return literal.size();
}

}  // namespace

std::optional<Program> Compile(std::u16string_view pattern) {
    int groups = 0;
    std::optional<std::vector<Item>> items = Parse(pattern, &groups);
    if (!items) return std::nullopt;
    Program p;
    p.groupCount = groups;
    p.insts.push_back({Op::Save, 0, 0});
    Emit(*items, true, &p.insts);
    bool inPrefix = true;
    // Literal runs (groups' edges do not break one), each with the units
    // nothing before it can take.
    struct Run {
        std::string text, barrier;
    };
    std::vector<Run> runs(1);
    Set taken;  // every unit some item so far can take
    // Whether a repeat of nearly anything (a negated class) came since the
    // last literal: only after one can the DFA walk long before the next
    // literal, and only there does a check against barriers pay.
    bool wide = false;
    for (const Item& it : *items) {
        if (it.kind != Item::Unit) continue;
        p.sets.push_back(it.set);
        const char single = SingleChar(it.set);
        inPrefix = inPrefix && single && it.min == 1 && it.max == 1;
        if (inPrefix) p.prefix += single;
        wide = wide || (it.max < 0 && it.set.high);
        if (single && it.min == 1 && it.max == 1 && !inPrefix) {
            if (runs.back().text.empty() && wide) runs.back().barrier = Barrier(taken);
            wide = false;
            runs.back().text += single;
        } else if (!runs.back().text.empty()) {
            runs.emplace_back();
        }
        for (int w = 0; w < 2; ++w) taken.ascii[w] |= it.set.ascii[w];
        taken.high = taken.high || it.set.high;
    }
    // The units backwards, each with its set's number as it was: what a
    // match looks like read from its end, which finds where it starts.
    std::vector<Item> backwards(items->rbegin(), items->rend());
    Emit(backwards, false, &p.reverse);
    const int32_t setCount = static_cast<int32_t>(p.sets.size());
    for (Inst& in : p.reverse)
        if (in.op == Op::Set) in.x = setCount - 1 - in.x;
    p.reverse.push_back({Op::Match, 0, 0});
    p.insts.push_back({Op::Save, 1, 0});
    p.insts.push_back({Op::Match, 0, 0});
    // Longest first: a long literal is rarely there by chance, and a text
    // that lacks one ends the search at once.
    std::stable_sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) { return a.text.size() > b.text.size(); });
    for (Run& r : runs)
        if (!r.text.empty() && std::find(p.required.begin(), p.required.end(), r.text) == p.required.end()) {
            p.requiredBarriers.push_back(std::move(r.barrier));
            p.required.push_back(std::move(r.text));
        }
    // Only one literal is checked against its barrier, as each check costs
    // two short scans at every start: the one with the fewest barrier units,
    // which is the one after a run that takes nearly anything (where the DFA
    // would walk longest), the longest of those.
    size_t checked = p.required.size();
    for (size_t i = 0; i < p.required.size(); ++i)
        if (!p.requiredBarriers[i].empty() &&
            (checked == p.required.size() || p.requiredBarriers[i].size() < p.requiredBarriers[checked].size()))
            checked = i;
    for (size_t i = 0; i < p.required.size(); ++i)
        if (i != checked) p.requiredBarriers[i].clear();
    p.edgeWalks = FindEdgeWalks(*items);
    p.prefixShift = SmallestPeriod(p.prefix);
    p.prefixProbes = RarestUnits(p.prefix);
    for (const std::string& r : p.required) p.requiredProbes.push_back(RarestUnits(r));
    return p;
}

std::shared_ptr<const Program> CompileCached(std::u16string_view pattern) {
    // The rules use a handful of patterns over and over; a compile costs
    // more than a search of a small file.
    struct Entry {
        std::u16string pattern;
        std::shared_ptr<const Program> program;
    };
    static thread_local Entry cache[8];
    static thread_local size_t nextVictim = 0;
    for (const Entry& e : cache)
        if (e.program && e.pattern == pattern) return e.program;
    std::optional<Program> p = Compile(pattern);
    if (!p) return nullptr;
    Entry& e = cache[nextVictim++ % 8];
    e.pattern.assign(pattern.begin(), pattern.end());
    e.program = std::make_shared<const Program>(std::move(*p));
    return e.program;
}

}  // namespace regex
