#include "json/jsonscan.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace json {

namespace {

constexpr size_t kBad = static_cast<size_t>(-1);

using Bytes = const unsigned char*;

bool IsSpace(unsigned char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

size_t SkipSpace(Bytes s, size_t n, size_t p) {
    while (p < n && IsSpace(s[p])) ++p;
    return p;
}

int HexDigit(unsigned char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The four hex digits at p, or -1.
long Hex4(Bytes s, size_t n, size_t p) {
    if (n - p < 4) return -1;
    long v = 0;
    for (size_t i = 0; i < 4; ++i) {
        const int d = HexDigit(s[p + i]);
        if (d < 0) return -1;
        v = v * 16 + d;
    }
    return v;
}

// The length of the well-formed UTF-8 sequence at p (Unicode's table 3-7:
// no overlong form, no surrogate, nothing past 10FFFF), or 0.
size_t Utf8Length(Bytes s, size_t n, size_t p) {
    const unsigned char c = s[p];
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) length = 2;
    else if (c >= 0xE0 && c <= 0xEF) length = 3, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4) length = 4, low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
    else return 0;
    if (n - p < length || s[p + 1] < low || s[p + 1] > high) return 0;
    for (size_t i = 2; i < length; ++i)
        if (s[p + i] < 0x80 || s[p + i] > 0xBF) return 0;
    return length;
}

// Byte classes, so that the loops over the bytes that need no decision
// test one table entry each.
struct Classes {
    bool plain[256] = {};       // in a string: printable ASCII but the quote and the backslash
    bool structural[256] = {};  // in a checked text: what a skip must look at
    Classes() {
        for (int c = 0x20; c < 0x80; ++c) plain[c] = c != '"' && c != '\\';
        for (unsigned char c : {'"', '{', '}', '[', ']'}) structural[c] = true;
    }
};
const Classes kClasses;

// Past the string that starts at p (a quote), or kBad.
size_t ScanString(Bytes s, size_t n, size_t p) {
    for (++p; p < n;) {
        while (p < n && kClasses.plain[s[p]]) ++p;
        if (p >= n) break;
        const unsigned char c = s[p];
        if (c == '"') return p + 1;
        if (c < 0x20) return kBad;
        if (c < 0x80 && c != '\\') {
            ++p;
            continue;
        }
        if (c >= 0x80) {
            const size_t length = Utf8Length(s, n, p);
            if (length == 0) return kBad;
            p += length;
            continue;
        }
        if (p + 1 >= n) return kBad;
        const unsigned char e = s[p + 1];
        if (e != 'u') {
            if (e != '"' && e != '\\' && e != '/' && e != 'b' && e != 'f' && e != 'n' && e != 'r' && e != 't') return kBad;
            p += 2;
            continue;
        }
        const long unit = Hex4(s, n, p + 2);
        if (unit < 0 || (unit >= 0xDC00 && unit <= 0xDFFF)) return kBad;
        p += 6;
        if (unit < 0xD800 || unit > 0xDBFF) continue;
        // A high surrogate counts only with its low one right after it.
        if (n - p < 2 || s[p] != '\\' || s[p + 1] != 'u') return kBad;
        const long second = Hex4(s, n, p + 2);
        if (second < 0xDC00 || second > 0xDFFF) return kBad;
        p += 6;
    }
    return kBad;
}

size_t ScanDigits(Bytes s, size_t n, size_t p) {
    const size_t from = p;
    while (p < n && s[p] >= '0' && s[p] <= '9') ++p;
    return p == from ? kBad : p;
}

// Past the number at p: -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
size_t ScanNumber(Bytes s, size_t n, size_t p) {
    if (s[p] == '-') ++p;
    if (p < n && s[p] == '0') ++p;
    else if ((p = ScanDigits(s, n, p)) == kBad) return kBad;
    if (p < n && s[p] == '.' && (p = ScanDigits(s, n, p + 1)) == kBad) return kBad;
    if (p < n && (s[p] == 'e' || s[p] == 'E')) {
        ++p;
        if (p < n && (s[p] == '+' || s[p] == '-')) ++p;
        p = ScanDigits(s, n, p);
    }
    return p;
}

// The browsers refuse a number a double cannot hold (1e400) as they would
// refuse a syntax error. One below 10^300 by its length and exponent holds;
// the few others are converted to tell.
bool Representable(std::string_view number) {
    const size_t e = std::min(number.find_first_of("eE"), number.size());
    size_t exponent = 0;
    if (e + 1 < number.size() && number[e + 1] != '-')
        for (size_t i = e + 1; i < number.size() && exponent < 1000; ++i)
            if (number[i] != '+') exponent = exponent * 10 + static_cast<size_t>(number[i] - '0');
    if (e + exponent < 300) return true;
    const std::string copy(number);
    return std::isfinite(std::strtod(copy.c_str(), nullptr));
}

size_t ScanWord(std::string_view text, size_t p, std::string_view word) {
    return text.compare(p, word.size(), word) == 0 ? p + word.size() : kBad;
}

// Past the string at p, of a text already checked: the first quote that
// an odd run of backslashes does not escape.
size_t SkipString(Bytes s, size_t n, size_t p) {
    for (++p;; ++p) {
        p = static_cast<size_t>(static_cast<Bytes>(std::memchr(s + p, '"', n - p)) - s);
        size_t escapes = 0;
        while (s[p - 1 - escapes] == '\\') ++escapes;
        if (escapes % 2 == 0) return p + 1;
    }
}

// The value at p, of a text already checked.
Value SkipValue(std::string_view text, size_t p, const Ends* ends) {
    const Bytes s = reinterpret_cast<Bytes>(text.data());
    Value v;
    v.begin = p;
    switch (s[p]) {
    case '{':
    case '[': {
        v.kind = s[p] == '{' ? Kind::Object : Kind::Array;
        if (ends && (v.end = ends->Of(p)) != 0) return v;
        size_t depth = 0;
        for (;; ++p) {
            while (!kClasses.structural[s[p]]) ++p;
            const unsigned char c = s[p];
            if (c == '"') p = SkipString(s, text.size(), p) - 1;
            else if (c == '{' || c == '[') ++depth;
            else if ((c == '}' || c == ']') && --depth == 0) break;
        }
        v.end = p + 1;
        return v;
    }
    case '"': v.kind = Kind::String, v.end = SkipString(s, text.size(), p); return v;
    case 't': v.kind = Kind::True, v.end = p + 4; return v;
    case 'f': v.kind = Kind::False, v.end = p + 5; return v;
    case 'n': v.kind = Kind::Null, v.end = p + 4; return v;
    default: v.kind = Kind::Number, v.end = ScanNumber(s, text.size(), p); return v;
    }
}

// Appends the UTF-8 of a code point to `out`; returns the length.
size_t EncodeUtf8(uint32_t c, unsigned char* out) {
    if (c < 0x80) return out[0] = static_cast<unsigned char>(c), 1;
    if (c < 0x800) return out[0] = static_cast<unsigned char>(0xC0 | c >> 6), out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F)), 2;
    if (c < 0x10000) {
        out[0] = static_cast<unsigned char>(0xE0 | c >> 12);
        out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
        out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<unsigned char>(0xF0 | c >> 18);
    out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 4;
}

}  // namespace

size_t Ends::Of(size_t begin) const {
    const auto at = std::lower_bound(spans_.begin(), spans_.end(), std::make_pair(begin, size_t(0)));
    return at != spans_.end() && at->first == begin ? at->second : 0;
}

bool Scan(std::string_view text, Value* top, Ends* ends) {
    const Bytes s = reinterpret_cast<Bytes>(text.data());
    const size_t n = text.size();
    // Whether each open level is an object, and where it began; the depth
    // is bounded, so the stack is too.
    bool inObject[kMaxDepth];
    size_t beganAt[kMaxDepth];
    if (ends) ends->spans_.clear();
    int depth = 0;
    size_t p = SkipSpace(s, n, 0);
    const size_t begin = p;
    Kind kind = Kind::Null;
    for (;;) {
        // A value starts at p.
        if (p >= n) return false;
        const unsigned char c = s[p];
        bool opened = false;
        const Kind k = c == '{' ? Kind::Object : c == '[' ? Kind::Array : c == '"' ? Kind::String : c == 't' ? Kind::True
                       : c == 'f' ? Kind::False : c == 'n' ? Kind::Null : Kind::Number;
        if (depth == 0) kind = k;
        switch (k) {
        case Kind::Object:
        case Kind::Array:
            if (depth == kMaxDepth) return false;
            beganAt[depth] = p;
            inObject[depth++] = k == Kind::Object;
            p = SkipSpace(s, n, p + 1);
            opened = true;
            break;
        case Kind::String: p = ScanString(s, n, p); break;
        case Kind::True: p = ScanWord(text, p, "true"); break;
        case Kind::False: p = ScanWord(text, p, "false"); break;
        case Kind::Null: p = ScanWord(text, p, "null"); break;
        case Kind::Number:
            if (c != '-' && (c < '0' || c > '9')) return false;
            {
                const size_t from = p;
                p = ScanNumber(s, n, p);
                if (p != kBad && !Representable(text.substr(from, p - from))) return false;
            }
            break;
        }
        if (p == kBad) return false;
        // An empty container closes at once; a full one wants a member or
        // element first.
        if (opened && p < n && s[p] == (inObject[depth - 1] ? '}' : ']')) {
            --depth;
            ++p;
        } else if (opened) {
            if (inObject[depth - 1]) {
                if (p >= n || s[p] != '"' || (p = ScanString(s, n, p)) == kBad) return false;
                p = SkipSpace(s, n, p);
                if (p >= n || s[p] != ':') return false;
                p = SkipSpace(s, n, p + 1);
            }
            continue;
        }
        // After a value: a comma and the next one, or closings.
        for (;;) {
            if (depth == 0) {
                const size_t end = p;
                if (SkipSpace(s, n, p) != n) return false;
                if (top) top->kind = kind, top->begin = begin, top->end = end;
                if (ends) std::sort(ends->spans_.begin(), ends->spans_.end());
                return true;
            }
            p = SkipSpace(s, n, p);
            if (p >= n) return false;
            if (s[p] == ',') {
                p = SkipSpace(s, n, p + 1);
                if (inObject[depth - 1]) {
                    if (p >= n || s[p] != '"' || (p = ScanString(s, n, p)) == kBad) return false;
                    p = SkipSpace(s, n, p);
                    if (p >= n || s[p] != ':') return false;
                    p = SkipSpace(s, n, p + 1);
                }
                break;
            }
            if (s[p] != (inObject[depth - 1] ? '}' : ']')) return false;
            --depth;
            ++p;
            if (ends && p - beganAt[depth] >= ends->largeFrom_) ends->spans_.push_back({beganAt[depth], p});
        }
    }
}

Members::Members(std::string_view text, const Value& object, const Ends* ends)
    : text_(text), at_(object.begin + 1), ends_(ends) {}

bool Members::Next(Member* member) {
    const Bytes s = reinterpret_cast<Bytes>(text_.data());
    const size_t n = text_.size();
    at_ = SkipSpace(s, n, at_);
    if (s[at_] == ',') at_ = SkipSpace(s, n, at_ + 1);
    if (s[at_] != '"') return false;
    member->keyBegin = at_;
    member->keyEnd = SkipString(s, n, at_);
    const size_t colon = SkipSpace(s, n, member->keyEnd);
    member->value = SkipValue(text_, SkipSpace(s, n, colon + 1), ends_);
    at_ = member->value.end;
    return true;
}

bool KeyIs(std::string_view text, const Member& member, std::string_view key) {
    const Bytes s = reinterpret_cast<Bytes>(text.data());
    size_t k = 0;
    for (size_t p = member.keyBegin + 1; p + 1 < member.keyEnd;) {
        unsigned char decoded[4];
        size_t length = 1;
        if (s[p] != '\\') {
            decoded[0] = s[p++];
        } else if (s[p + 1] != 'u') {
            const char* const from = "\"\\/bfnrt";
            const char* const to = "\"\\/\b\f\n\r\t";
            size_t i = 0;
            while (from[i] != static_cast<char>(s[p + 1])) ++i;
            decoded[0] = static_cast<unsigned char>(to[i]);
            p += 2;
        } else {
            uint32_t c = static_cast<uint32_t>(Hex4(s, text.size(), p + 2));
            p += 6;
            if (c >= 0xD800 && c <= 0xDBFF) {
                c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<uint32_t>(Hex4(s, text.size(), p + 2)) - 0xDC00);
                p += 6;
            }
            length = EncodeUtf8(c, decoded);
        }
        if (key.size() - k < length || key.compare(k, length, reinterpret_cast<const char*>(decoded), length) != 0)
            return false;
        k += length;
    }
    return k == key.size();
}

bool Find(std::string_view text, const Value& object, std::string_view key, Value* value, const Ends* ends) {
    bool found = false;
    Members members(text, object, ends);
    for (Member m; members.Next(&m);)
        if (KeyIs(text, m, key)) *value = m.value, found = true;
    return found;
}

bool IsEmptyObject(std::string_view text, const Value& object) {
    return text[SkipSpace(reinterpret_cast<Bytes>(text.data()), text.size(), object.begin + 1)] == '}';
}

}  // namespace json
