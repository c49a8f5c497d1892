#include <windows.h>
#include <sddl.h>
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

std::u16string FallbackLogFolder(bool forAdministratorsOnly) {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return {};
    std::u16string folder = reinterpret_cast<const char16_t*>(buffer);
    folder += u"\\DivezavuDizuzuDud";
    SECURITY_ATTRIBUTES own = {sizeof own, nullptr, FALSE};
    if (forAdministratorsOnly &&
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)", SDDL_REVISION_1,
                                                              &own.lpSecurityDescriptor, nullptr))
        return {};
    const bool made = CreateDirectoryW(reinterpret_cast<const wchar_t*>(folder.c_str()), own.lpSecurityDescriptor ? &own : nullptr);
    const DWORD why = GetLastError();
    LocalFree(own.lpSecurityDescriptor);
    return made || why == ERROR_ALREADY_EXISTS ? folder : std::u16string();
}
