#include "regex/regex.h"

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#ifdef _MSC_VER
#include <intrin.h>
#endif
#define DZD_REGEX_SSE2 1
#endif

namespace regex {
namespace {

// How often a lower-case unit turns up in a Local State, roughly: JSON's
// punctuation and English letters in its keys, base64 in its seeds and
// keys (where every letter is common in one case or the other). A scan
// stops only where its two rarest units both are, so it should pick them
// well; a poor pick costs speed, never a match.
uint8_t Commonness(uint8_t c) {
    if (c >= 'a' && c <= 'z') {
        static const uint8_t kLetters[26] = {
            // a    b    c    d    e    f    g    h    i    j    k    l    m
            230, 150, 200, 200, 250, 180, 180, 190, 230, 110, 140, 210, 190,
            // n    o    p    q    r    s    t    u    v    w    x    y    z
            230, 230, 180, 100, 230, 230, 240, 200, 150, 145, 115, 150, 105};
        return kLetters[c - 'a'];
    }
    if (c >= '0' && c <= '9') return 200;
    switch (c) {
    case '"': case ':': case ',': case ' ': return 255;
    case '{': case '}': case '\n': case '\t': return 170;
    case '.': case '/': case '+': case '=': return 150;
    case '_': return 120;
    case '-': return 110;
    case '[': case ']': return 90;
    case '@': return 40;
    default: return 60;
    }
}

// What OR-ed onto a unit maps a capital onto the small letter `c`, and
// nothing else onto a letter; 0 for a unit that is not a letter.
uint8_t CaseBit(uint8_t c) { return c >= 'a' && c <= 'z' ? 0x20 : 0; }

// One unit of the literal the scan compares at an offset from a candidate
// start, with its CaseBit.
struct Probe {
    size_t offset;
    uint8_t want, orMask;
};

#ifdef DZD_REGEX_SSE2
// 16 units at `at` as 16 bytes. A 16-bit unit below 0x80 stays itself and
// every other one becomes 0x00 or 0xFF, so no probe (ASCII, never NUL or
// DEL) misses and few wrongly hit.
inline __m128i Load16(const uint8_t* at) {
    __m128i v;
    std::memcpy(&v, at, sizeof v);
    return v;
}
inline __m128i Load16(const char16_t* at) {
    __m128i lo, hi;
    std::memcpy(&lo, at, sizeof lo);
    std::memcpy(&hi, at + 8, sizeof hi);
    return _mm_packus_epi16(lo, hi);
}
// Lanes of 16 units at `at` (shifted by the probe's offset) where the
// probe's unit is.
template <class Unit>
inline __m128i Equal(const Unit* at, const Probe& p, __m128i want, __m128i orMask) {
    return _mm_cmpeq_epi8(_mm_or_si128(Load16(at + p.offset), orMask), want);
}
// The lowest and highest bits set in a mask that is not 0.
#ifdef _MSC_VER
inline int LowestBit(uint32_t bits) {
    unsigned long i;
    _BitScanForward(&i, bits);
    return static_cast<int>(i);
}
inline int HighestBit(uint32_t bits) {
    unsigned long i;
    _BitScanReverse(&i, bits);
    return static_cast<int>(i);
}
#else
inline int LowestBit(uint32_t bits) { return __builtin_ctz(bits); }
inline int HighestBit(uint32_t bits) { return 31 - __builtin_clz(bits); }
#endif
#endif

// A literal ready to be scanned for.
struct Needle {
    Needle(std::string_view literal, Probes probes) : lit(literal), a(ProbeAt(probes.a)), b(ProbeAt(probes.b)) {
#ifdef DZD_REGEX_SSE2
        wantA = _mm_set1_epi8(static_cast<char>(a.want));
        orA = _mm_set1_epi8(static_cast<char>(a.orMask));
        wantB = _mm_set1_epi8(static_cast<char>(b.want));
        orB = _mm_set1_epi8(static_cast<char>(b.orMask));
#endif
    }
    uint8_t Byte(size_t i) const { return static_cast<uint8_t>(lit[i]); }
    Probe ProbeAt(size_t i) const { return {i, Byte(i), CaseBit(Byte(i))}; }

    // LiteralAt without its bounds check, which the scans keep: this runs
    // at every probe hit, and a call there costs more than the compare.
    template <class Unit>
    bool At(Units<Unit> t, size_t at) const {
        size_t i = 0;
        while (i < lit.size() && Fold(t[at + i]) == Byte(i)) ++i;
        return i == lit.size();
    }
    template <class Unit>
    bool ProbesAt(Units<Unit> t, size_t at) const {
        return (static_cast<uint32_t>(t[at + a.offset]) | a.orMask) == a.want &&
               (static_cast<uint32_t>(t[at + b.offset]) | b.orMask) == b.want;
    }
#ifdef DZD_REGEX_SSE2
    // One bit per candidate start in [at, at + 32) where both probes hold.
    template <class Unit>
    uint32_t Block(const Unit* at) const {
        return Both(at, Equal(at, a, wantA, orA), Equal(at + 16, a, wantA, orA));
    }
    // The same with the rarer probe alone first, which pays where most
    // blocks have none of it; counts the blocks that have.
    template <class Unit>
    uint32_t SparseBlock(const Unit* at, unsigned* withA) const {
        const __m128i a0 = Equal(at, a, wantA, orA), a1 = Equal(at + 16, a, wantA, orA);
        if (!_mm_movemask_epi8(_mm_or_si128(a0, a1))) return 0;
        ++*withA;
        return Both(at, a0, a1);
    }
    template <class Unit>
    uint32_t Both(const Unit* at, __m128i a0, __m128i a1) const {
        const __m128i b0 = Equal(at, b, wantB, orB), b1 = Equal(at + 16, b, wantB, orB);
        return static_cast<uint32_t>(_mm_movemask_epi8(_mm_and_si128(a0, b0))) |
               static_cast<uint32_t>(_mm_movemask_epi8(_mm_and_si128(a1, b1))) << 16;
    }
    __m128i wantA, orA, wantB, orB;
#endif
    std::string_view lit;
    Probe a, b;
};

}  // namespace

// A one-unit literal compares the same unit twice.
Probes RarestUnits(std::string_view lit) {
    auto rank = [&](size_t i) { return Commonness(static_cast<uint8_t>(lit[i])); };
    Probes p;
    for (size_t i = 1; i < lit.size(); ++i)
        if (rank(i) < rank(p.a)) p.a = static_cast<uint32_t>(i);
    p.b = p.a;
    for (size_t i = 0; i < lit.size(); ++i)
        if (i != p.a && (p.b == p.a || rank(i) < rank(p.b))) p.b = static_cast<uint32_t>(i);
    return p;
}

template <class Unit>
size_t FindLiteral(std::string_view lit, Probes probes, Units<Unit> t, size_t pos) {
    if (lit.empty()) return pos <= t.size ? pos : kNoPart;
    if (t.size < lit.size() || pos > t.size - lit.size()) return kNoPart;
    const size_t last = t.size - lit.size();
    const Needle n(lit, probes);
#ifdef DZD_REGEX_SSE2
    // 32 candidate starts at a time; every load stays inside the text as
    // long as the last of them does not pass `last`. The rarer probe is
    // tried alone while it is missing from most blocks; where it is not
    // (in base64, say, where every letter is common), both always.
    auto verify = [&](uint32_t bits) {
        for (; bits; bits &= bits - 1) {
            const size_t at = pos + static_cast<size_t>(LowestBit(bits));
            if (n.At(t, at)) return at;
        }
        return kNoPart;
    };
    for (unsigned withA = 0; pos + 31 <= last && withA < 24;) {
        withA = 0;
        for (const size_t roundEnd = std::min(last - 31, pos + 32 * 32); pos <= roundEnd; pos += 32)
            if (const uint32_t bits = n.SparseBlock(t.data + pos, &withA)) {
                const size_t at = verify(bits);
                if (at != kNoPart) return at;
            }
    }
    for (; pos + 31 <= last; pos += 32)
        if (const uint32_t bits = n.Block(t.data + pos)) {
            const size_t at = verify(bits);
            if (at != kNoPart) return at;
        }
#endif
    for (; pos <= last; ++pos)
        if (n.ProbesAt(t, pos) && n.At(t, pos)) return pos;
    return kNoPart;
}

template <class Unit>
size_t FindLastLiteral(std::string_view lit, Probes probes, Units<Unit> t) {
    if (t.size < lit.size()) return kNoPart;
    if (lit.empty()) return t.size;
    const Needle n(lit, probes);
    size_t end = t.size - lit.size() + 1;  // candidate starts left: [0, end)
#ifdef DZD_REGEX_SSE2
    for (; end >= 32; end -= 32)
        for (uint32_t bits = n.Block(t.data + end - 32); bits; bits &= ~(1u << HighestBit(bits))) {
            const size_t at = end - 32 + static_cast<size_t>(HighestBit(bits));
            if (n.At(t, at)) return at;
        }
#endif
    for (; end > 0; --end)
        if (n.ProbesAt(t, end - 1) && n.At(t, end - 1)) return end - 1;
    return kNoPart;
}

template <class Unit>
size_t FindAnyOf(std::string_view units, Units<Unit> t, size_t pos) {
    auto wanted = [&](uint32_t u) {
        const char c = static_cast<char>(Fold(u));
        for (char w : units)
            if (u < 128 && c == w) return true;
        return false;
    };
#ifdef DZD_REGEX_SSE2
    __m128i want[4], orMask[4];
    const size_t count = std::min<size_t>(units.size(), 4);
    for (size_t k = 0; k < count; ++k) {
        const uint8_t c = static_cast<uint8_t>(units[k]);
        want[k] = _mm_set1_epi8(static_cast<char>(c));
        orMask[k] = _mm_set1_epi8(static_cast<char>(CaseBit(c)));
    }
    if (count == units.size()) {
        while (pos + 16 <= t.size) {
            const __m128i v = Load16(t.data + pos);
            __m128i hit = _mm_setzero_si128();
            for (size_t k = 0; k < count; ++k) hit = _mm_or_si128(hit, _mm_cmpeq_epi8(_mm_or_si128(v, orMask[k]), want[k]));
            const int bits = _mm_movemask_epi8(hit);
            if (bits) return pos + static_cast<size_t>(LowestBit(static_cast<uint32_t>(bits)));
            pos += 16;
        }
    }
#endif
    while (pos < t.size && !wanted(t[pos])) ++pos;
    return pos;
}

template size_t FindLiteral(std::string_view, Probes, Units<uint8_t>, size_t);
template size_t FindLiteral(std::string_view, Probes, Units<char16_t>, size_t);
template size_t FindLastLiteral(std::string_view, Probes, Units<uint8_t>);
template size_t FindLastLiteral(std::string_view, Probes, Units<char16_t>);
template size_t FindAnyOf(std::string_view, Units<uint8_t>, size_t);
template size_t FindAnyOf(std::string_view, Units<char16_t>, size_t);

}  // namespace regex
