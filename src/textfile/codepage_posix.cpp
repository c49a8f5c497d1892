#include "textfile/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define DZD_HAVE_SSE2 1
#endif
#include <string>

namespace {

// The stand-in for the system's ANSI code page.
constexpr uint32_t kNativeAnsi = 936;

// Files are mostly ASCII: runs of it are copied eight bytes (four units) at
// a time, the rest one sequence at a time, into output made big enough up
// front.
constexpr uint64_t kTopBits = 0x8080808080808080ull;
constexpr uint64_t kNonAsciiUnits = 0xFF80FF80FF80FF80ull;

inline uint64_t Load64(const void* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

inline bool LittleEndian() {
    const uint16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

// Eight ASCII bytes to eight UTF-16 units, and four units back to four
// bytes, with the lanes spread or gathered inside 64-bit words.
inline void WidenAscii8(const unsigned char* in, char16_t* out) {
    const uint64_t w = Load64(in);
    uint64_t halves[2];
    for (int h = 0; h < 2; ++h) {
        uint64_t x = (w >> (32 * h)) & 0xFFFFFFFFull;
        x = (x | (x << 16)) & 0x0000FFFF0000FFFFull;
        x = (x | (x << 8)) & 0x00FF00FF00FF00FFull;
        halves[h] = x;
    }
    std::memcpy(out, halves, sizeof halves);
}

#ifdef DZD_HAVE_SSE2
// Sixteen at a time where the processor has 128-bit lanes; returns how far
// the ASCII run went in whole blocks.
inline size_t WidenAsciiBlocks(const unsigned char* in, size_t n, char16_t* out) {
    size_t i = 0;
    const __m128i zero = _mm_setzero_si128();
    while (n - i >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        if (_mm_movemask_epi8(v)) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(v, zero));
        i += 16;
    }
    return i;
}

inline size_t NarrowAsciiBlocks(const char16_t* in, size_t n, char* out) {
    size_t i = 0;
    const __m128i nonAscii = _mm_set1_epi16(static_cast<short>(0xFF80));
    while (n - i >= 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 8));
        const __m128i high = _mm_and_si128(_mm_or_si128(a, b), nonAscii);
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(high, _mm_setzero_si128())) != 0xFFFF) break;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(a, b));
        i += 16;
    }
    return i;
}
#else
inline size_t WidenAsciiBlocks(const unsigned char*, size_t, char16_t*) { return 0; }
inline size_t NarrowAsciiBlocks(const char16_t*, size_t, char*) { return 0; }
#endif

inline void NarrowAscii4(const char16_t* in, char* out) {
    uint64_t x = Load64(in);
    x = (x | (x >> 8)) & 0x0000FFFF0000FFFFull;
    x = (x | (x >> 16)) & 0xFFFFFFFFull;
    const uint32_t bytes = static_cast<uint32_t>(x);
    std::memcpy(out, &bytes, sizeof bytes);
}

// Strict UTF-8 decoding; each maximal ill-formed subpart becomes one U+FFFD,
// which is what Windows' converter does for code page 65001.
std::u16string DecodeUtf8(const unsigned char* p, size_t n) {
    // No sequence makes more units than it has bytes.
    std::u16string out(n, u'\0');
    char16_t* o = &out[0];
    size_t i = 0, k = 0;
    const bool swar = LittleEndian();
    while (i < n) {
        const size_t run = WidenAsciiBlocks(p + i, n - i, o + k);
        i += run;
        k += run;
        while (swar && n - i >= 8 && !(Load64(p + i) & kTopBits)) {
            WidenAscii8(p + i, o + k);
            i += 8;
            k += 8;
        }
        if (i == n) break;
        unsigned char b = p[i];
        if (b < 0x80) {
            o[k++] = b;
            ++i;
            continue;
        }
        size_t need;
        uint32_t cp;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) { need = 1; cp = b & 0x1F; }
        else if (b >= 0xE0 && b <= 0xEF) {
            need = 2; cp = b & 0x0F;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3; cp = b & 0x07;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            o[k++] = u'\xFFFD';
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (size_t m = 0; m < need; ++m, ++j) {
            const unsigned char first = m == 0 ? lo : 0x80, last = m == 0 ? hi : 0xBF;
            if (j >= n || p[j] < first || p[j] > last) { ok = false; break; }
            cp = (cp << 6) | (p[j] & 0x3F);
        }
        if (!ok) {
            o[k++] = u'\xFFFD';
        } else if (cp < 0x10000) {
            o[k++] = static_cast<char16_t>(cp);
        } else {
            cp -= 0x10000;
            o[k++] = static_cast<char16_t>(0xD800 | (cp >> 10));
            o[k++] = static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
        }
        i = j;
    }
    out.resize(k);
    return out;
}

// The exact length first: output made big enough to be safe would be
// three times the text, and fresh memory is paid for page by page.
size_t Utf8Length(const char16_t* p, size_t n) {
    size_t length = 0, i = 0;
    while (i < n) {
        while (n - i >= 4 && !(Load64(p + i) & kNonAsciiUnits)) {
            i += 4;
            length += 4;
        }
        if (i == n) break;
        const uint32_t c = p[i++];
        if (c < 0x80) {
            length += 1;
        } else if (c < 0x800) {
            length += 2;
        } else if (c >= 0xD800 && c <= 0xDBFF && i < n && p[i] >= 0xDC00 && p[i] <= 0xDFFF) {
            length += 4;
            ++i;
        } else {
            length += 3;
        }
    }
    return length;
}

std::string EncodeUtf8(const std::u16string& s) {
    const char16_t* p = s.data();
    const size_t n = s.size();
    std::string out(Utf8Length(p, n), '\0');
    char* o = &out[0];
    size_t i = 0, k = 0;
    const bool swar = LittleEndian();
    while (i < n) {
        const size_t run = NarrowAsciiBlocks(p + i, n - i, o + k);
        i += run;
        k += run;
        while (swar && n - i >= 4 && !(Load64(p + i) & kNonAsciiUnits)) {
            NarrowAscii4(p + i, o + k);
            i += 4;
            k += 4;
        }
        if (i == n) break;
        uint32_t c = p[i++];
        if (c >= 0xD800 && c <= 0xDBFF && i < n && p[i] >= 0xDC00 && p[i] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (p[i] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // a lone surrogate has no UTF-8 form
        }
        if (c < 0x80) {
            o[k++] = static_cast<char>(c);
        } else if (c < 0x800) {
            o[k++] = static_cast<char>(0xC0 | (c >> 6));
            o[k++] = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            o[k++] = static_cast<char>(0xE0 | (c >> 12));
            o[k++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            o[k++] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            o[k++] = static_cast<char>(0xF0 | (c >> 18));
            o[k++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            o[k++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            o[k++] = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string IconvName(uint32_t codePage) {
    return "CP" + std::to_string(codePage);
}

// Legacy code pages through iconv; bytes it cannot decode become U+FFFD
// and characters it cannot encode become '?', one unit at a time.
std::u16string DecodeLegacy(const char* bytes, size_t n, uint32_t codePage) {
    iconv_t cd = iconv_open("UTF-16LE", IconvName(codePage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::u16string out;
    std::string buf(4 * n + 16, '\0');
    char* in = const_cast<char*>(bytes);
    size_t inLeft = n;
    while (inLeft > 0) {
        char* o = &buf[0];
        size_t oLeft = buf.size();
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        size_t produced = buf.size() - oLeft;
        for (size_t k = 0; k + 1 < produced; k += 2)
            out += static_cast<char16_t>(static_cast<unsigned char>(buf[k]) |
                                         (static_cast<unsigned char>(buf[k + 1]) << 8));
        if (r == static_cast<size_t>(-1) && (errno == EILSEQ || errno == EINVAL)) {
            out += u'\xFFFD';
            ++in;
            --inLeft;
        } else if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            break;
        }
    }
    iconv_close(cd);
    return out;
}

std::string EncodeLegacy(const std::u16string& s, uint32_t codePage) {
    iconv_t cd = iconv_open(IconvName(codePage).c_str(), "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string in16;
    in16.reserve(s.size() * 2);
    for (char16_t c : s) {
        in16 += static_cast<char>(c & 0xFF);
        in16 += static_cast<char>(c >> 8);
    }
    std::string out;
    std::string buf(4 * s.size() + 16, '\0');
    char* in = &in16[0];
    size_t inLeft = in16.size();
    while (inLeft > 0) {
        char* o = &buf[0];
        size_t oLeft = buf.size();
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf.data(), buf.size() - oLeft);
        if (r == static_cast<size_t>(-1) && (errno == EILSEQ || errno == EINVAL)) {
            out += '?';
            size_t unit = inLeft >= 4 && (static_cast<unsigned char>(in[1]) & 0xFC) == 0xD8 ? 4 : 2;
            if (unit > inLeft) unit = inLeft;
            in += unit;
            inLeft -= unit;
        } else if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            break;
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::u16string BytesToText(const char* bytes, size_t count, uint32_t codePage) {
    if (count == 0) return {};
    if (codePage == kCodePageUtf8) return DecodeUtf8(reinterpret_cast<const unsigned char*>(bytes), count);
    return DecodeLegacy(bytes, count, codePage == kCodePageAnsi ? kNativeAnsi : codePage);
}

std::string TextToBytes(const std::u16string& text, uint32_t codePage) {
    if (text.empty()) return {};
    if (codePage == kCodePageUtf8) return EncodeUtf8(text);
    return EncodeLegacy(text, codePage == kCodePageAnsi ? kNativeAnsi : codePage);
}

size_t AnsiCharLength(const uint8_t* bytes, size_t count, uint32_t codePage) {
    if (count < 2) return 1;
    if (codePage == kCodePageAnsi) codePage = kNativeAnsi;
    // One converter per thread and code page: ANSI files with many
    // characters outside ASCII ask once per character.
    struct Converter {
        uint32_t codePage = 0;
        iconv_t cd = reinterpret_cast<iconv_t>(-1);
        ~Converter() {
            if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
        }
    };
    thread_local Converter conv;
    if (conv.codePage != codePage) {
        if (conv.cd != reinterpret_cast<iconv_t>(-1)) iconv_close(conv.cd);
        conv.cd = iconv_open("UTF-16LE", IconvName(codePage).c_str());
        conv.codePage = codePage;
    }
    if (conv.cd == reinterpret_cast<iconv_t>(-1)) return 1;
    char pair[2] = {static_cast<char>(bytes[0]), static_cast<char>(bytes[1])};
    char out[8];
    char* in = pair;
    char* o = out;
    size_t inLeft = 2, outLeft = sizeof out;
    iconv(conv.cd, nullptr, nullptr, nullptr, nullptr);
    const size_t r = iconv(conv.cd, &in, &inLeft, &o, &outLeft);
    // A lead byte and its partner come out as exactly one unit; two single
    // bytes come out as two.
    return r != static_cast<size_t>(-1) && inLeft == 0 && sizeof out - outLeft == 2 ? 2 : 1;
}
