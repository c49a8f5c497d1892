#pragma once
// Conversion between file bytes and UTF-16 text by Windows code page number.
// On Windows this is MultiByteToWideChar / WideCharToMultiByte with flags 0;
// elsewhere a stand-in with the same contract: malformed input never stops
// a conversion, and characters a code page cannot hold become '?'.
#include <cstddef>
#include <cstdint>
#include <string>

// Code page 0 names the system's ANSI code page, as on Windows.
inline constexpr uint32_t kCodePageAnsi = 0;
inline constexpr uint32_t kCodePageUtf8 = 65001;

std::u16string BytesToText(const char* bytes, size_t count, uint32_t codePage);
std::string TextToBytes(const std::u16string& text, uint32_t codePage);

inline std::u16string BytesToText(const std::string& bytes, uint32_t codePage) {
    return BytesToText(bytes.data(), bytes.size(), codePage);
}

// How many bytes the character starting at a byte of 80 hex or above takes
// in the code page: 2 for a lead byte that forms one valid character with
// the next, else 1 (a stray byte is a character of its own).
size_t AnsiCharLength(const uint8_t* bytes, size_t count, uint32_t codePage);
