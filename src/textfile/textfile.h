#pragma once
// Whole text files in and out, in the encoding they have.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "textfile/encoding.h"

// The code page encAnsi text is converted with: 0, the system's active ANSI
// code page.
inline constexpr uint32_t AnsiCodePage = 0;

// The encoding of an existing file, or encAuto when it cannot be opened.
TextEncoding GetFileEncoding(const std::u16string& path);

// The file's text; `encoding` in: the encoding to read with, or encAuto to
// detect it; out: the detected encoding when it came in as encAuto.
// Empty text on every failure.
std::u16string ReadTextFile(const std::u16string& path, TextEncoding& encoding);

// Replaces the file's content (append false) or adds to its end. A replacing
// write never leaves a half-written file: false, and the file as it was, when
// it cannot be completed.
bool WriteTextFile(const std::u16string& path, const std::u16string& text, bool append, TextEncoding& encoding,
                   TextEncoding defaultEncoding);

// A whole file as read for a rewrite that keeps every byte no rule changes:
// the rules search its units (TextFileUnits), and the new file is spliced
// from the original bytes and the encoded replacements.
struct TextFileBytes {
    std::unique_ptr<uint8_t[]> data;  // the file, mark included
    size_t size = 0;
    TextEncoding encoding = encAnsi;
    size_t markLength = 0;
};

// False, with the platform's error code in *error, when the file cannot be
// opened or read whole, is 2 GiB or more, or is UTF-32, which has no units.
bool ReadTextFileBytes(const std::u16string& path, TextFileBytes& file, uint32_t* error);

// The units a search runs over. An 8-bit file has one per byte: ASCII as it
// is and every other byte U+FFFD, the second byte of a double-byte ANSI
// character too, so that no rule can see a quote or a brace inside one. A
// UTF-16 file has its code units, whatever they hold; an odd last byte is
// no unit. Unit i starts at byte markLength + i * TextUnitWidth(encoding).
std::u16string TextFileUnits(const TextFileBytes& file);
size_t TextUnitWidth(TextEncoding encoding);

// ASCII text appended to `out` in the encoding; false, and `out` as it was,
// when the text holds anything else.
bool AppendEncodedAscii(std::u16string_view text, TextEncoding encoding, std::string& out);

// Replaces the file's content with the pieces, one after another, through a
// temporary file: never half-written. False, with the platform's error code
// in *error, when that fails; the file is then as it was.
struct ByteSpan {
    const uint8_t* data;
    size_t size;
};
bool ReplaceFileContent(const std::u16string& path, const std::vector<ByteSpan>& pieces, uint32_t* error);
