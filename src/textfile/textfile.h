#pragma once
// Whole text files in and out, in the encoding they have.
#include <cstdint>
#include <string>

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
