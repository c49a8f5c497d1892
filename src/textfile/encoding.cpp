#include "textfile/encoding.h"

#include <cstring>

namespace {

constexpr uint64_t kTopBits = 0x8080808080808080ull;

inline uint64_t Load64(const uint8_t* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);  // unaligned and aliasing-safe
    return w;
}

// Where the run of bytes below 80 hex that starts at `i` ends. Text files
// are mostly ASCII, so the run is skipped 32 and then 8 bytes at a time.
inline size_t SkipAscii(const uint8_t* p, size_t i, size_t n) {
    while (n - i >= 32) {
        if ((Load64(p + i) | Load64(p + i + 8) | Load64(p + i + 16) | Load64(p + i + 24)) & kTopBits) break;
        i += 32;
    }
    while (n - i >= 8 && !(Load64(p + i) & kTopBits)) i += 8;
    while (i < n && p[i] < 0x80) ++i;
    return i;
}

inline uint32_t LeadingOnes(uint8_t b) {
    uint32_t count = 0;
    while (b & 0x80) {
        b = ShiftLeadBit(b);
        ++count;
    }
    return count;
}

}  // namespace

uint8_t ShiftLeadBit(uint8_t b) { return static_cast<uint8_t>((b & 0x7F) << 1); }

size_t DetectBom(uint32_t head, TextEncoding& encoding) {
    // The order matters: FF FE 00 00 is also the start of FF FE.
    if (head == 0x0000FEFFu) { encoding = encUtf32LE; return 4; }
    if (head == 0xFFFE0000u) { encoding = encUtf32BE; return 4; }
    if ((head & 0xFFFFu) == 0xFEFFu) { encoding = encUtf16LE; return 2; }
    if ((head & 0xFFFFu) == 0xFFFEu) { encoding = encUtf16BE; return 2; }
    if ((head & 0xFFFFFFu) == 0xBFBBEFu) { encoding = encUtf8Bom; return 3; }
    encoding = encAnsi;
    return 0;
}

uint32_t BomHead(const uint8_t* bytes, size_t count) {
    uint32_t head = 0;
    for (size_t i = 0; i < count && i < 4; ++i) head |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    return head;
}

bool Utf8Check::Feed(const uint8_t* p, size_t n) {
    if (failed_) return false;
    size_t i = 0;
    while (i < n) {
        if (expected_ == 0) {
            i = SkipAscii(p, i, n);
            if (i == n) break;
            allAscii_ = false;
            // Two to eight leading one-bits start a sequence; a single one
            // is a continuation byte with no lead byte before it.
            const uint32_t ones = LeadingOnes(p[i++]);
            if (ones == 1) {
                failed_ = true;
                return false;
            }
            expected_ = ones - 1;
        } else {
            if ((p[i++] & 0xC0) != 0x80) {
                failed_ = true;
                return false;
            }
            --expected_;
        }
    }
    return true;
}

TextEncoding Utf8Check::Verdict() const {
    return failed_ || expected_ != 0 || allAscii_ ? encAnsi : encUtf8;
}
