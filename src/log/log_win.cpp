#include <windows.h>
#include <shlobj.h>

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

std::u16string FallbackLogFolder() {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return {};
    std::u16string folder = reinterpret_cast<const char16_t*>(buffer);
    folder += u"\\DivezavuDizuzuDud";
    if (!CreateDirectoryW(reinterpret_cast<const wchar_t*>(folder.c_str()), nullptr) &&
        GetLastError() != ERROR_ALREADY_EXISTS)
        return {};
    return folder;
}
