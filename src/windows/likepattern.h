#pragma once
#include <string>

// Whole-text wildcard match, comparing characters by code (so case and
// locale never matter): ? any one character, * any run, # one digit 0-9,
// [list] / [!list] one character in / not in the list, x-y a range inside
// brackets. A malformed pattern (an unclosed '[' or a backwards range)
// matches nothing.
bool MatchesLike(const std::u16string& text, const std::u16string& pattern);
