#include "textfile/codepage.h"

#include <iconv.h>

#include <cerrno>
#include <string>

namespace {

uint32_t g_nativeAnsi = 936;

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16(std::u16string& out, uint32_t cp) {
    if (cp < 0x10000) {
        out += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        out += static_cast<char16_t>(0xD800 | (cp >> 10));
        out += static_cast<char16_t>(0xDC00 | (cp & 0x3FF));
    }
}

// Strict UTF-8 decoding; each maximal ill-formed subpart becomes one U+FFFD,
// which is what Windows' converter does for code page 65001.
std::u16string DecodeUtf8(const unsigned char* p, size_t n) {
    std::u16string out;
    out.reserve(n);
    size_t i = 0;
    while (i < n) {
        unsigned char b = p[i];
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            ++i;
            continue;
        }
        size_t need;
        uint32_t cp;
        unsigned char lo = 0x80, hi = 0xBF;
        if (b >= 0xC2 && b <= 0xDF) { need = 1; cp = b & 0x1F; }
        else if (b >= 0xE0 && b <= 0xEF) {
            need = 2; cp = b & 0x0F;
            if (b == 0xE0) lo = 0xA0;
            if (b == 0xED) hi = 0x9F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            need = 3; cp = b & 0x07;
            if (b == 0xF0) lo = 0x90;
            if (b == 0xF4) hi = 0x8F;
        } else {
            out += u'\xFFFD';
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (size_t k = 0; k < need; ++k, ++j) {
            unsigned char c = j < n ? p[j] : 0;
            unsigned char first = k == 0 ? lo : 0x80, last = k == 0 ? hi : 0xBF;
            if (j >= n || c < first || c > last) { ok = false; break; }
            cp = (cp << 6) | (c & 0x3F);
        }
        if (ok) AppendUtf16(out, cp); else out += u'\xFFFD';
        i = j;
    }
    return out;
}

std::string EncodeUtf8(const std::u16string& s) {
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size(); ++i) {
        uint32_t c = s[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;  // a lone surrogate has no UTF-8 form
        }
        AppendUtf8(out, c);
    }
    return out;
}

std::string IconvName(uint32_t codePage) {
    return "CP" + std::to_string(codePage);
}

// Legacy code pages through iconv; bytes it cannot decode become U+FFFD
// and characters it cannot encode become '?', one unit at a time.
std::u16string DecodeLegacy(const char* bytes, size_t n, uint32_t codePage) {
    iconv_t cd = iconv_open("UTF-16LE", IconvName(codePage).c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::u16string out;
    std::string buf(4 * n + 16, '\0');
    char* in = const_cast<char*>(bytes);
    size_t inLeft = n;
    while (inLeft > 0) {
        char* o = &buf[0];
        size_t oLeft = buf.size();
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        size_t produced = buf.size() - oLeft;
        for (size_t k = 0; k + 1 < produced; k += 2)
            out += static_cast<char16_t>(static_cast<unsigned char>(buf[k]) |
                                         (static_cast<unsigned char>(buf[k + 1]) << 8));
        if (r == static_cast<size_t>(-1) && (errno == EILSEQ || errno == EINVAL)) {
            out += u'\xFFFD';
            ++in;
            --inLeft;
        } else if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            break;
        }
    }
    iconv_close(cd);
    return out;
}

std::string EncodeLegacy(const std::u16string& s, uint32_t codePage) {
    iconv_t cd = iconv_open(IconvName(codePage).c_str(), "UTF-16LE");
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string in16;
    in16.reserve(s.size() * 2);
    for (char16_t c : s) {
        in16 += static_cast<char>(c & 0xFF);
        in16 += static_cast<char>(c >> 8);
    }
    std::string out;
    std::string buf(4 * s.size() + 16, '\0');
    char* in = &in16[0];
    size_t inLeft = in16.size();
    while (inLeft > 0) {
        char* o = &buf[0];
        size_t oLeft = buf.size();
        size_t r = iconv(cd, &in, &inLeft, &o, &oLeft);
        out.append(buf.data(), buf.size() - oLeft);
        if (r == static_cast<size_t>(-1) && (errno == EILSEQ || errno == EINVAL)) {
            out += '?';
            size_t unit = inLeft >= 4 && (static_cast<unsigned char>(in[1]) & 0xFC) == 0xD8 ? 4 : 2;
            if (unit > inLeft) unit = inLeft;
            in += unit;
            inLeft -= unit;
        } else if (r == static_cast<size_t>(-1) && errno != E2BIG) {
            break;
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::u16string BytesToText(const char* bytes, size_t count, uint32_t codePage) {
    if (count == 0) return {};
    if (codePage == kCodePageUtf8) return DecodeUtf8(reinterpret_cast<const unsigned char*>(bytes), count);
    return DecodeLegacy(bytes, count, codePage == kCodePageAnsi ? g_nativeAnsi : codePage);
}

std::string TextToBytes(const std::u16string& text, uint32_t codePage) {
    if (text.empty()) return {};
    if (codePage == kCodePageUtf8) return EncodeUtf8(text);
    return EncodeLegacy(text, codePage == kCodePageAnsi ? g_nativeAnsi : codePage);
}

uint32_t ActiveAnsiCodePage() { return g_nativeAnsi; }
void SetNativeAnsiCodePage(uint32_t codePage) { g_nativeAnsi = codePage; }
