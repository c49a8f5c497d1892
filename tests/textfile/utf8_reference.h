#pragma once
// The UTF-8 content check as plainly as it can be written: one byte at a
// time, counting a lead byte's one-bits by shifting them out of the buffer.
// The fast check must agree with it on every input.
#include <cstddef>
#include <cstdint>

#include "textfile/encoding.h"

inline TextEncoding ReferenceCheckUtf8(uint8_t* bytes, size_t count) {
    uint32_t expected = 0;
    bool allAscii = true;
    for (size_t i = 0; i < count; ++i) {
        if (bytes[i] >= 0x80) allAscii = false;
        if (expected > 0) {
            if ((bytes[i] & 0xC0) != 0x80) return encAnsi;
            --expected;
        } else if (bytes[i] >= 0x80) {
            uint32_t ones = 0;
            while (bytes[i] & 0x80) {
                bytes[i] = ShiftLeadBit(bytes[i]);
                ++ones;
            }
            expected = ones - 1;
            if (expected == 0) return encAnsi;
        }
    }
    if (expected > 0 || allAscii) return encAnsi;
    return encUtf8;
}
