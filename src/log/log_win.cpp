#include <windows.h>

#include <vector>

#include "log/log.h"

std::u16string ApplicationFolder() {
    std::vector<wchar_t> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) {
            std::u16string path(reinterpret_cast<const char16_t*>(buf.data()), n);
            size_t cut = path.find_last_of(u"\\/");
            return cut == std::u16string::npos ? std::u16string() : path.substr(0, cut);
        }
        if (buf.size() >= 32768) return {};
        buf.resize(buf.size() * 2);
    }
}

DateTime LocalNow() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    return DateTime{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
}
