#pragma once
// Text encodings of files and their byte-order marks.
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
