// The pattern engine against PCRE2. Raw bytes as pattern and text must never crash or hang it; patterns built from
// the bytes in the syntax the rules use must give exactly PCRE2's matches, groups included, over 16-bit units and
// over bytes, and the replace-all those matches make.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "regex/regex.h"
#include "regex/regexp.h"
#include "../tests/support/edittext.h"
#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

namespace {

// Draws from the input; past its end every draw is 0, which ends a pattern.
struct Draw {
    const uint8_t* d;
    size_t n, i = 0, groups = 0;
    uint32_t operator()(uint32_t below) { return i < n ? d[i++] % below : 0; }
};

const char16_t* const kAtoms[] = {u"a", u"B", u"\"", u":", u"\\{", u"}", u"\\[", u"\\]", u"@", u"\\s", u"[0-9]", u"[^}]", u"Z"};
// Fixed ones change every match by as much as it is long; with a group, by
// what the group took: edits that grow and shrink the text in any mix.
const char16_t* const kReplacements[] = {u"", u"-", u"<$1>", u"$1$1", u"xx", u"$1"};
const char16_t* const kRepeats[] = {u"", u"", u"?", u"*?", u"*", u"+", u"??", u"+?"};

std::u16string Sequence(Draw& draw, int depth) {
    std::u16string out;
    for (uint32_t n = draw(6); n > 0; --n) {
        // As in the rules, groups are not repeated (PCRE2 and the scripting
        // runtime disagree on what a repeated group captures), nor more than nine.
        if (draw(8) == 0 && depth < 3 && draw.groups++ < 9) out += u"(" + Sequence(draw, depth + 1) + u")";
        else out += kAtoms[draw(13)], out += kRepeats[draw(8)];  // in this order: a comma sequences
    }
    return out;
}

// PCRE2, caseless without UTF (only ASCII letters fold), as the one oracle:
// the matches replace-all takes, or false when it gave up.
bool Pcre2Matches(const std::u16string& pattern, const std::u16string& text, std::vector<regex::Groups>* out) {
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code* code =
        pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(), PCRE2_CASELESS, &error, &offset, nullptr);
    if (!code) std::abort();
    pcre2_match_data* data = pcre2_match_data_create_from_pattern(code, nullptr);
    int rc = 0;
    for (size_t from = 0; from <= text.size();) {
        rc = pcre2_match(code, reinterpret_cast<PCRE2_SPTR>(text.data()), text.size(), from, 0, data, nullptr);
        if (rc < 0) break;
        const PCRE2_SIZE* v = pcre2_get_ovector_pointer(data);
        out->emplace_back(v, v + 2 * pcre2_get_ovector_count(data));
        from = v[1] > v[0] ? v[1] : v[1] + 1;
    }
    pcre2_match_data_free(data);
    pcre2_code_free(code);
    return rc >= 0 || rc == PCRE2_ERROR_NOMATCH;
}

// The text in either width: as bytes, each unit's low byte.
template <class Unit>
std::vector<Unit> UnitsOf(const std::u16string& text) { return {text.begin(), text.end()}; }

// The replace-all made in a text of `capacity` units starting `offset` units into a buffer of exactly that size, so
// that a write past it is seen; the test on that text first, which must find a match unless none is expected.
template <class Unit>
std::vector<Unit> InPlace(const std::u16string& text, size_t offset, size_t capacity, const std::u16string& pattern,
                          const std::u16string& replacement, bool expectNone) {
    regex::EditText<Unit> edited = EditOf<Unit>(text, offset + capacity, offset);
    if (!RegexTest(pattern, edited) != expectNone) std::abort();
    RegexReplace(edited, pattern, replacement);
    return {edited.Data(), edited.Data() + edited.Size()};
}

void Generated(Draw draw) {
    const std::u16string pattern = Sequence(draw, 0), replacement = kReplacements[draw(6)];
    std::u16string text;
    for (uint32_t n = draw(40); n > 0; --n) text += u"aAbBzZ\" :{}[]@19\n\xE9\t\v"[draw(20)];
    // Repeated, so that the block-wise scans and the states' hot loops run
    // past their first blocks, and a tail with a lone piece of it.
    const std::u16string piece = text;
    for (uint32_t n = draw(6); n > 0; --n) text += piece;
    text += piece.substr(0, draw(8));
    const auto ours = regex::Compile(pattern);
    std::vector<regex::Groups> expected, actual;
    if (!ours || !Pcre2Matches(pattern, text, &expected)) return ours ? void() : std::abort();
    regex::Searcher<char16_t> searcher(*ours, {text.data(), text.size()});
    regex::Groups g;
    for (size_t from = 0; from <= text.size() && searcher.Search(from, &g); from = g[1] > g[0] ? g[1] : g[1] + 1)
        actual.push_back(g);
    // Replace-all as PCRE2's groups make it, growing the text, shrinking it
    // or both; the same text as bytes must come out the same.
    std::u16string want;
    size_t at = 0;
    for (const regex::Groups& m : expected) {
        want += text.substr(at, m[0] - at);
        for (size_t i = 0; i < replacement.size(); ++i) {
            if (replacement[i] != u'$' || ours->groupCount == 0) want += replacement[i];
            else if (++i, m[2] != regex::kNoPart) want += text.substr(m[2], m[3] - m[2]);
        }
        at = m[1];
    }
    want += text.substr(std::min(at, text.size()));
    const std::vector<uint8_t> bytes = UnitsOf<uint8_t>(text);
    const bool found = regex::Test(*ours, regex::Units<uint8_t>{bytes.data(), bytes.size()});
    if (actual != expected || found != !expected.empty()) std::abort();
    // In place, in both widths, behind a mark: with room to spare, in a
    // buffer the result exactly fits, and in one it outgrows.
    const size_t offset = draw(3), fits = std::max(text.size(), want.size());
    for (size_t capacity : {fits + 1 + draw(16), fits, text.size()})
        if (InPlace<uint8_t>(text, offset, capacity, pattern, replacement, expected.empty()) != UnitsOf<uint8_t>(want) ||
            InPlace<char16_t>(text, offset, capacity, pattern, replacement, expected.empty()) != UnitsOf<char16_t>(want))
            std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 0 && data[0] >= 64) {
        Generated(Draw{data + 1, size - 1});
        return 0;
    }
    std::u16string units;
    for (size_t i = 1; i + 1 < size; i += 2) units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    const std::u16string pattern = units.substr(0, units.size() / 2), text = units.substr(units.size() / 2);
    regex::EditText<char16_t> edited = regex::EditCopy(text);
    RegexTest(pattern, edited);
    RegexReplace(edited, pattern, u"$1[$2]$");
    return 0;
}
