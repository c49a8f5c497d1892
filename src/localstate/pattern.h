#pragma once
// A small regular-expression engine with the syntax and the matching rules of
// the scripting runtime's pattern object, case-insensitive when asked:
// leftmost-first matching, ASCII-only case folding, replace-all where an
// empty match moves on by one position.
//
// It runs as a Pike VM: all alternatives advance together, one position at a
// time, as threads kept in priority order, so the time is linear in the text
// and nothing recurses on the text. A literal at the pattern's start is looked
// for first, and the VM runs only from where it occurs.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Pattern {
public:
    // Offsets of a match and its groups: [2*g] start, [2*g+1] end; group 0 is
    // the whole match. kNoPart marks a group that took no part.
    static constexpr size_t kNoPart = static_cast<size_t>(-1);
    using Groups = std::vector<size_t>;

    // Nothing when the text is not a pattern this engine accepts (bad syntax,
    // back-references or look-arounds, or a repetition too large to hold).
    static std::optional<Pattern> Compile(std::u16string_view pattern, bool ignoreCase);

    int GroupCount() const { return groupCount_; }

    // The leftmost match that starts at or after `from`.
    bool Search(std::u16string_view text, size_t from, Groups* groups) const;

    // Every match of a replace-all, in order: after an empty match the
    // search moves on by one unit.
    void ForEachMatch(std::u16string_view text, const std::function<void(const Groups&)>& onMatch) const;

    // True when the pattern matches anywhere in the text.
    bool Test(std::u16string_view text) const;

    // Every match replaced, the replacement's $-tokens expanded.
    std::u16string ReplaceAll(std::u16string_view text, std::u16string_view replacement) const;

    // A replacement read once into pieces: literal text, or a part of the
    // text around a match ($n, $& as group 0, $` and $').
    struct Piece {
        enum Kind { Text, Group, Before, After } kind;
        std::u16string_view text;  // Text: a view into the replacement
        int group;
    };
    std::vector<Piece> ParseReplacement(std::u16string_view replacement) const;

    enum class Op : uint8_t { Char, Any, Class, Match, Jmp, Split, Save, Bol, Eol, WordB, NotWordB };
    struct Inst {
        Op op;
        char16_t ch;  // Char: the (folded) unit
        int32_t x;    // Jmp/Split: first choice; Save: slot; Class: index
        int32_t y;    // Split: second choice
    };
    struct CharClass {
        uint64_t ascii[2];                              // membership below 128, negation applied
        std::vector<std::pair<char16_t, char16_t>> high;  // sorted ranges from 128 up
        bool negated;                                    // applies to `high`
    };

private:
    friend class PikeVm;
    friend class TestDfa;
    friend class PatternCompiler;

    std::vector<Inst> prog_;
    std::vector<CharClass> classes_;
    std::u16string prefix_;  // literal every match starts with, folded when ignoreCase
    bool hasAssertions_ = false;  // ^ $ \b \B: positions matter, not only units
    char16_t required_ = 0;  // a unit every match holds somewhere (folded), when hasRequired_
    bool hasRequired_ = false;
    int groupCount_ = 0;
    bool ignoreCase_ = false;
};
