#include "console/utf8split.h"

size_t Utf8WholeLength(const char* bytes, size_t count) {
    for (size_t back = 1; back <= 3 && back <= count; ++back) {
        const auto byte = static_cast<unsigned char>(bytes[count - back]);
        if ((byte & 0xC0) == 0x80) continue;  // a continuation byte: its lead is further back
        size_t length = 1;
        if (byte >= 0xC2 && byte <= 0xDF) length = 2;
        else if (byte >= 0xE0 && byte <= 0xEF) length = 3;
        else if (byte >= 0xF0 && byte <= 0xF4) length = 4;
        return length > back ? count - back : count;
    }
    return count;
}
