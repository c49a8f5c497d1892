#pragma once
// Whole text files in and out, in the encoding they have.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "textfile/encoding.h"

// The code page that tells an ANSI file's double-byte characters: 0, the
// system's active ANSI code page.
inline constexpr uint32_t AnsiCodePage = 0;

// A whole file as read for a rewrite that keeps every byte no rule changes.
// The rules can take its buffer over and edit their units in place: an
// 8-bit file's bytes, or a UTF-16LE file's units on a little-endian host;
// other files are searched as TextFileUnits and written back with
// EncodeUnits.
struct TextFileBytes {
    std::unique_ptr<char16_t[]> storage;  // the file, mark included; char16_t for the alignment of its units
    size_t capacity = 0;                  // bytes the storage holds, room for growth included
    size_t size = 0;
    TextEncoding encoding = encAnsi;
    size_t markLength = 0;
    bool ascii = false;  // every byte after the mark is below 80 hex
    const uint8_t* data() const { return reinterpret_cast<const uint8_t*>(storage.get()); }
};

class FolderHandle;

// The folder's file, read through the handle the folder holds it by
// (FolderHandle::File). False, with the platform's error code in *error,
// when the file cannot be opened or read whole, is 2 GiB or more (in a
// confined folder: above 64 MiB, or sparse), or is UTF-32, which has no
// units.
bool ReadTextFileBytes(const FolderHandle& folder, TextFileBytes& file, uint32_t* error);

// The units a search runs over. An 8-bit file has one per byte: ASCII as it
// is, and every other byte as FF00 hex plus the byte, the second byte of a
// double-byte ANSI character too, so that no rule can see a quote or a brace
// inside one. A UTF-16 file has its code units, whatever they hold; an odd
// last byte is no unit. Unit i starts at byte markLength + i *
// TextUnitWidth(encoding).
std::u16string TextFileUnits(const TextFileBytes& file);
size_t TextUnitWidth(TextEncoding encoding);

// Units made by TextFileUnits, or ASCII put among them, appended to `out`
// as the encoding's bytes: each byte as it was read.
void EncodeUnits(std::u16string_view units, TextEncoding encoding, std::string& out);

// True when this host stores a UTF-16LE file's units as they are in memory.
bool LittleEndianHost();

// Replaces the folder's file's content with the pieces, one after another,
// through a temporary file: never half-written. False, with the platform's
// error code in *error, when that fails; the file is then as it was. In a
// confined folder new content more than twice the held file's size (and
// 4 KiB) is refused with kErrorTooLarge.
struct ByteSpan {
    const uint8_t* data;
    size_t size;
};
bool ReplaceFileContent(const FolderHandle& folder, const std::vector<ByteSpan>& pieces, uint32_t* error);
