#pragma once
// Text relayed in pieces as it arrives: a piece may end inside a character.
#include <cstddef>

// How many of the bytes end on a whole UTF-8 character. A character whose
// lead byte is among the last three and whose continuation bytes have not
// all arrived yet is left for the next piece; anything malformed counts as
// whole, for the converter to replace.
size_t Utf8WholeLength(const char* bytes, size_t count);
