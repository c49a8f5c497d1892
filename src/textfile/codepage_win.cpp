#include "textfile/codepage.h"

#include <windows.h>

#include <climits>

std::u16string BytesToText(const char* bytes, size_t count, uint32_t codePage) {
    if (count == 0 || count > INT_MAX) return {};
    int n = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(count), nullptr, 0);
    if (n <= 0) return {};
    std::u16string text(static_cast<size_t>(n), u'\0');
    n = MultiByteToWideChar(codePage, 0, bytes, static_cast<int>(count),
                            reinterpret_cast<wchar_t*>(&text[0]), n);
    text.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return text;
}

std::string TextToBytes(const std::u16string& text, uint32_t codePage) {
    if (text.empty() || text.size() > INT_MAX) return {};
    auto* src = reinterpret_cast<const wchar_t*>(text.data());
    int len = static_cast<int>(text.size());
    int n = WideCharToMultiByte(codePage, 0, src, len, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return {};
    std::string bytes(static_cast<size_t>(n), '\0');
    n = WideCharToMultiByte(codePage, 0, src, len, &bytes[0], n, nullptr, nullptr);
    bytes.resize(n > 0 ? static_cast<size_t>(n) : 0);
    return bytes;
}

size_t AnsiCharLength(const uint8_t* bytes, size_t count, uint32_t codePage) {
    if (count < 2 || !IsDBCSLeadByteEx(codePage, bytes[0])) return 1;
    wchar_t unit[2];
    return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(bytes), 2, unit, 2) == 1
               ? 2
               : 1;
}
