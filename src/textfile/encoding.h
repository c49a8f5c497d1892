#pragma once
// Text encodings of files, their byte-order marks, and the test that tells
// UTF-8 from the ANSI code page in a file without a mark.
#include <cstddef>
#include <cstdint>

using TextEncoding = int32_t;
inline constexpr TextEncoding encAnsi = 0;
inline constexpr TextEncoding encUtf8Bom = 1;
inline constexpr TextEncoding encUtf8 = 2;
inline constexpr TextEncoding encUtf16LE = 3;
inline constexpr TextEncoding encUtf16BE = 4;
inline constexpr TextEncoding encUtf32LE = 5;
inline constexpr TextEncoding encUtf32BE = 6;

// b shifted left by one within eight bits: (b AND 7F) * 2.
uint8_t ShiftLeadBit(uint8_t b);

// `head` holds a file's first four bytes, the first byte lowest, missing
// bytes zero. Sets `encoding` to the encoding whose mark the head starts
// with, or to encAnsi when there is none; returns the mark's length.
size_t DetectBom(uint32_t head, TextEncoding& encoding);

// The first four bytes of a buffer as DetectBom wants them.
uint32_t BomHead(const uint8_t* bytes, size_t count);

// The test that tells UTF-8 from the ANSI code page, fed piece by piece:
// encUtf8 when the bytes are lead bytes of two to eight leading one-bits
// each followed by that many continuation bytes less one, mixed with bytes
// below 80 hex, and at least one byte is 80 hex or above; encAnsi otherwise
// (pure ASCII and no bytes at all included).
class Utf8Check {
public:
    // False once the bytes so far have decided encAnsi; later pieces are ignored.
    bool Feed(const uint8_t* bytes, size_t count);
    TextEncoding Verdict() const;
    // True while every byte so far is below 80 hex.
    bool AllAscii() const { return allAscii_; }

private:
    uint32_t expected_ = 0;  // continuation bytes still owed
    bool allAscii_ = true;
    bool failed_ = false;
};
