#pragma once
// Text encodings of files, their byte-order marks, and the test that tells
// UTF-8 from the ANSI code page in a file without a mark.
#include <cstddef>
#include <cstdint>

// Any other value is refused by the reader and the writer.
using TextEncoding = int32_t;
inline constexpr TextEncoding encAuto = -1;  // detect; as a verdict: the file cannot be opened
inline constexpr TextEncoding encAnsi = 0;
inline constexpr TextEncoding encUtf8Bom = 1;
inline constexpr TextEncoding encUtf8 = 2;
inline constexpr TextEncoding encUtf16LE = 3;
inline constexpr TextEncoding encUtf16BE = 4;
inline constexpr TextEncoding encUtf32LE = 5;
inline constexpr TextEncoding encUtf32BE = 6;

// encAuto or one of the six encodings.
inline bool IsValidTextEncoding(TextEncoding encoding) { return encoding >= encAuto && encoding <= encUtf32BE; }

// The code's name ("encUtf16LE"), for messages; empty for an invalid code.
const char16_t* TextEncodingName(TextEncoding encoding);

// b shifted left by one within eight bits: (b AND 7F) * 2.
uint8_t ShiftLeadBit(uint8_t b);

// `head` holds a file's first four bytes, the first byte lowest, missing
// bytes zero. Sets `encoding` to the encoding whose mark the head starts
// with, or to encAnsi when there is none; returns the mark's length.
size_t DetectBom(uint32_t head, TextEncoding& encoding);

// The mark a file in `encoding` starts with, in the same little-endian
// form, and its length; 0 and 0 for an encoding without one.
size_t BomForEncoding(TextEncoding encoding, uint32_t& mark);

// The first four bytes of a buffer as DetectBom wants them.
uint32_t BomHead(const uint8_t* bytes, size_t count);

// encUtf8 when the bytes are lead bytes of two to eight leading one-bits
// each followed by that many continuation bytes less one, mixed with
// bytes below 80 hex, and at least one byte is 80 hex or above; encAnsi
// otherwise (pure ASCII and an empty buffer included). The buffer is only
// read, so the same bytes can be decoded afterwards.
void CheckUtf8(const uint8_t* bytes, size_t count, TextEncoding& encoding);

// The same test fed piece by piece, for content too large for one buffer.
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

// A file's encoding from its content: the mark first, and only without one
// the UTF-8 test over every byte. `markLength` gets the mark's length.
TextEncoding DetectEncoding(const uint8_t* bytes, size_t count, size_t& markLength);
