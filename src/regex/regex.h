#pragma once
// The pattern engine under RegexReplace and RegexTest. It reads the part of
// the scripting runtime's pattern syntax the Local State rules are written
// in, always ignoring case as the rules ask (ASCII letters only):
//   ASCII characters for themselves; \ before a character that is not a
//   letter or digit for that character; \s; classes [..] and [^..] of ASCII
//   characters, ranges and \s; up to nine capturing groups (..), nested
//   but never repeated; ?, * and + after a character, class or \s, lazy
//   with a further ?.
// Anything else (alternation, anchors, ., counted repeats, other escapes,
// any unit from 0x80 up) does not compile, so the caller leaves its text as
// it was rather than guess.
//
// Texts are code units, 8-bit (a file's own bytes) or 16-bit. No pattern can
// name a unit from 0x80 up, so every such unit is just "another character"
// and both widths find the same matches in the same places.
//
// Matching is leftmost-first like the runtime's. Lazily built DFAs find
// where a match ends and starts, one unit at a time with runs a state keeps
// to skipped by SIMD compares; a Pike VM then reads only the match for its
// groups. A literal the pattern starts with is looked for with SIMD
// compares before either runs. Each search takes time linear in the text,
// and nothing recurses on it.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "memory/largepages.h"

namespace regex {

// Units a pattern can match: an ASCII bitmap; units from 0x80 up are all in
// a negated class and in no other.
struct Set {
    uint64_t ascii[2] = {0, 0};
    bool high = false;
    bool Has(uint32_t u) const { return u < 128 ? ((ascii[u >> 6] >> (u & 63)) & 1) != 0 : high; }
};

// What the parser reads: a flat list, since groups are never repeated and
// there is no alternation.
struct Item {
    enum Kind { Open, Close, Unit } kind;
    int group = 0;      // Open, Close
    Set set;            // Unit
    int min = 1, max = 1;  // Unit; max -1 for no bound
    bool greedy = true;
};
// Nothing for a pattern outside the syntax above.
std::optional<std::vector<Item>> Parse(std::u16string_view pattern, int* groupCount);

// A step of a walk from a match's bound towards its groups' edges: a
// run of fixed width, a repeat taking all it can, or an edge reached.
struct WalkStep {
    enum Kind : uint8_t { Skip, Repeat, Edge } kind;
    int min, max;  // Skip: the width; Repeat: its bounds, max -1 for none
    size_t slot;   // Edge
    Set set;       // Repeat
};
struct EdgeWalks {
    bool found = false;
    std::vector<WalkStep> fromStart, fromEnd;
};

enum class Op : uint8_t { Set, Split, Jmp, Save, Match };
struct Inst {
    Op op;
    int32_t x;  // Set: the set; Split: the preferred branch; Jmp: target; Save: slot
    int32_t y;  // Split: the other branch
};
// Where a scan for a literal compares first: its two rarest units
// (regex_literal.cpp).
struct Probes {
    uint32_t a = 0, b = 0;
};
Probes RarestUnits(std::string_view literal);

struct Dfas;
struct Program {
    std::vector<Inst> insts;
    std::vector<Set> sets;
    std::vector<Inst> reverse;  // the units from last to first, no saves, then the match
    std::string prefix;  // lower-case literal every match starts with
    size_t prefixShift = 0;  // how far apart two starts must at least be
    // Lower-case literals every match holds past its prefix: a text
    // without one of them after a start cannot match from there.
    std::vector<std::string> required;
    // Per required literal: units (lower case, at most four) no part of a
    // match before the literal can take; a match's literal starts no later
    // than the first of them after its start. Empty but for the one literal
    // the search checks so.
    std::vector<std::string> requiredBarriers;
    // How walks from a match's bounds find its groups' edges, when they
    // find them all (regex_compile.cpp); the VM finds them otherwise.
    EdgeWalks edgeWalks;
    Probes prefixProbes;
    std::vector<Probes> requiredProbes;
    int groupCount = 0;
    // The DFAs' states, built as texts ask for them and kept for the next
    // text (regex_dfa.cpp); one thread at a time, as CompileCached hands
    // programs out.
    mutable std::shared_ptr<Dfas> dfas;
};
std::optional<Program> Compile(std::u16string_view pattern);
// The same from a few recently compiled patterns kept per thread; null for
// a pattern that does not compile.
std::shared_ptr<const Program> CompileCached(std::u16string_view pattern);

// A read-only run of units.
template <class Unit>
struct Units {
    const Unit* data;
    size_t size;
    uint32_t operator[](size_t i) const { return data[i]; }
};

// A unit with an ASCII capital mapped onto its small letter.
inline uint32_t Fold(uint32_t u) { return u >= 'A' && u <= 'Z' ? u + 32 : u; }

// Whether the lower-case literal stands at `pos` in either case.
template <class Unit>
inline bool LiteralAt(std::string_view literal, Units<Unit> t, size_t pos) {
    if (pos > t.size || t.size - pos < literal.size()) return false;
    for (size_t i = 0; i < literal.size(); ++i)
        if (Fold(t[pos + i]) != static_cast<uint8_t>(literal[i])) return false;
    return true;
}

// Offsets of a match and its groups: [2g] start, [2g+1] end; group 0 is the
// whole match; kNoPart for a group that took no part.
constexpr size_t kNoPart = static_cast<size_t>(-1);
using Groups = std::vector<size_t>;

// Lazily built DFAs (regex_dfa.cpp) that bound a match before the VM looks
// for its groups: one keeps the VM's priorities and finds where the
// leftmost match ends, one reads backwards from there to where it starts.
// Each returns false when its states grew too many; the caller then falls
// back to the VM.
template <class Unit>
class MatchFinder {
public:
    MatchFinder(const Program& p, Units<Unit> text);
    ~MatchFinder();
    // Where the leftmost match at or after `from` ends, or kNoPart; and
    // where it starts when that came out on the way, else kNoPart.
    bool End(size_t from, size_t* end, size_t* start);
    // Where that match starts, no earlier than `from`.
    bool Start(size_t from, size_t end, size_t* start);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// The leftmost match starting at or after `from`: bounded by the DFAs
// while they last, its groups found by the Pike VM (regex_vm.cpp) reading
// only the match.
template <class Unit>
class Searcher {
public:
    Searcher(const Program& p, Units<Unit> text);
    ~Searcher();
    bool Search(size_t from, Groups* groups);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::unique_ptr<MatchFinder<Unit>> finder_;
    bool finderGaveUp_ = false;
};

// Whether the pattern matches anywhere: a DFA without priorities, the VM
// when it gives up.
template <class Unit>
bool Test(const Program& p, Units<Unit> text);

// The first position at or after `from` where the lower-case literal starts
// in either case, `from` itself for an empty one, or kNoPart
// (regex_literal.cpp).
template <class Unit>
size_t FindLiteral(std::string_view literal, Probes probes, Units<Unit> text, size_t from);
template <class Unit>
size_t FindLiteral(std::string_view literal, Units<Unit> text, size_t from) {
    return FindLiteral(literal, RarestUnits(literal), text, from);
}
// Where the lower-case literal starts last in either case, or kNoPart.
template <class Unit>
size_t FindLastLiteral(std::string_view literal, Probes probes, Units<Unit> text);
template <class Unit>
size_t FindLastLiteral(std::string_view literal, Units<Unit> text) {
    return FindLastLiteral(literal, RarestUnits(literal), text);
}
// The first position at or after `from` whose unit, folded to lower case,
// is one of the ASCII `units`, or the text's size; it may stop early on a
// unit from 0x80 up, never late.
template <class Unit>
size_t FindAnyOf(std::string_view units, Units<Unit> text, size_t from);

// Whether every required literal still occurs at or after a start. Each
// literal's next place is found by a scan onwards, which is short where it
// turns up often; once a literal has made that scan often, its last place
// is found instead, once, by a scan from the end. A one-unit literal is
// looked for once only: most texts have it everywhere, and looking again
// costs more than it rules out. Starts must come in increasing order.
template <class Unit>
class RequiredAhead {
public:
    RequiredAhead(const Program& p, Units<Unit> t) : p_(p), t_(t), seen_(p.required.size()) {}
    bool operator()(size_t pos) {
        for (size_t i = 0; i < seen_.size(); ++i) {
            Seen& s = seen_[i];
            if (s.at == kNoPart) return false;
            if (s.at != kUnknown) {
                if (s.at >= pos || p_.required[i].size() == 1) continue;
                if (s.scans > kScansOnwards) return false;  // past its last place
            }
            s.at = ++s.scans > kScansOnwards ? FindLastLiteral(p_.required[i], p_.requiredProbes[i], t_)
                                             : FindLiteral(p_.required[i], p_.requiredProbes[i], t_, pos);
            if (s.at == kNoPart || s.at < pos) return false;
        }
        return true;
    }

private:
    static constexpr size_t kUnknown = kNoPart - 1;
    static constexpr int kScansOnwards = 16;
    struct Seen {
        size_t at = kUnknown;  // the next place found onwards, or the last place
        int scans = 0;
    };
    const Program& p_;
    Units<Unit> t_;
    std::vector<Seen> seen_;
};

// A text edited in place by replacements, in a buffer of its own that grows
// only when a replacement needs the room. It may start at `offset` units
// into its buffer, so that a file's buffer can be taken over with its mark
// in front.
template <class Unit>
class EditText {
public:
    EditText() = default;
    EditText(std::unique_ptr<char16_t[]> storage, size_t capacityUnits, size_t offset, size_t size)
        : storage_(std::move(storage)), capacity_(capacityUnits), offset_(offset), size_(size) {}
    Units<Unit> View() const { return {Data(), size_}; }
    const Unit* Data() const { return reinterpret_cast<const Unit*>(storage_.get()) + offset_; }
    size_t Size() const { return size_; }
    // Replaces [start, end) of each match, in order, with its text, in the
    // buffer as it is: the matches do not overlap and the result fits
    // (ReplaceAll sees to it); edits that grow the text and edits that
    // shrink it may come in any mix.
    struct Edit {
        size_t start, end, from, length;  // from/length: in `inserted`
    };
    void Apply(const std::vector<Edit>& edits, const std::vector<Unit>& inserted);
    // Whether a text of `size` units fits the buffer as it is.
    bool Fits(size_t size) const { return offset_ + size <= capacity_; }
    // The text rewritten into a new buffer of `size` units, with room for
    // the rules still to come: `fill` writes all of it from the pointer it
    // is given, reading the old text meanwhile.
    template <class Fill>
    void Rebuild(size_t size, Fill fill) {
        const size_t capacity = offset_ + size + size / 64 + 4096;
        std::unique_ptr<char16_t[]> bigger(new char16_t[(capacity * sizeof(Unit) + 1) / 2]);
        // Large pages once it is megabytes long, since its fresh small pages
        // cost more than the writing (the file reader's buffer takes the same
        // advice); a smaller one would pay more for the compaction that finds
        // them than it saves.
        if (capacity * sizeof(Unit) >= (size_t{4} << 20)) memory::AdviseLargePages(bigger.get(), capacity * sizeof(Unit));
        std::memcpy(bigger.get(), storage_.get(), offset_ * sizeof(Unit));
        fill(reinterpret_cast<Unit*>(bigger.get()) + offset_);
        storage_ = std::move(bigger);
        capacity_ = capacity;
        size_ = size;
    }

private:
    Unit* Mutable() { return reinterpret_cast<Unit*>(storage_.get()) + offset_; }
    std::unique_ptr<char16_t[]> storage_;  // char16_t: aligned for either width
    size_t capacity_ = 0;                  // units of Unit after the offset included
    size_t offset_ = 0, size_ = 0;
};

// A text of its own holding a copy of `units`.
inline EditText<char16_t> EditCopy(std::u16string_view units) {
    std::unique_ptr<char16_t[]> storage(new char16_t[units.size() + 1]);
    std::copy(units.begin(), units.end(), storage.get());
    return EditText<char16_t>(std::move(storage), units.size() + 1, 0, units.size());
}

// Every match of a replace-all replaced in place (regex_replace.cpp): $1..$9
// name groups, a $ before anything else is itself, except $$ $& $` $'
// which the rules never use. Returns whether
// some replacement differs from what it matched; false, the text as it was,
// when the pattern does not compile or the replacement holds one of those
// four or a unit from 0x80 up.
template <class Unit>
bool ReplaceAll(EditText<Unit>& text, std::u16string_view pattern, std::u16string_view replacement);

}  // namespace regex
