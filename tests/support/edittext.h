#pragma once
// A text to edit in place built from a string: its units start `offset`
// units into a buffer of `capacity` units, of which `capacity` - `offset`
// are the text's and its room to grow. As bytes, each unit's low byte.
#include <cstddef>
#include <memory>
#include <string>

#include "regex/regex.h"

template <class Unit>
regex::EditText<Unit> EditOf(const std::u16string& text, size_t capacity, size_t offset = 0) {
    std::unique_ptr<char16_t[]> storage(new char16_t[(capacity * sizeof(Unit) + 1) / 2]);
    Unit* at = reinterpret_cast<Unit*>(storage.get()) + offset;
    for (size_t i = 0; i < text.size(); ++i) at[i] = static_cast<Unit>(text[i]);
    return regex::EditText<Unit>(std::move(storage), capacity, offset, text.size());
}

template <class Unit>
std::u16string TextOf(const regex::EditText<Unit>& text) {
    return std::u16string(text.Data(), text.Data() + text.Size());
}
