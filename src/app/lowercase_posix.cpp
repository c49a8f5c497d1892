#include <cwctype>

#include "app/cmdline.h"

// Stand-in for the Windows mapping: the C library's, per UTF-16 unit.
std::u16string LowerCase(const std::u16string& text) {
    std::u16string out(text);
    for (char16_t& c : out)
        if (c < 0xD800 || c > 0xDFFF) c = static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
    return out;
}
