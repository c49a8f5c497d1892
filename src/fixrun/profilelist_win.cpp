#include "fixrun/profilelist.h"

#include <windows.h>

#include "windows/browserprocesses.h"
#include "windows/unique_any.h"

namespace {

using UniqueKey = UniqueAny<HKEY, &RegCloseKey>;

const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }

std::u16string ExpandedFolder(HKEY profile) {
    wchar_t raw[MAX_PATH * 2] = {};
    DWORD size = sizeof raw - sizeof(wchar_t);
    DWORD type = 0;
    if (RegQueryValueExW(profile, L"ProfileImagePath", nullptr, &type, reinterpret_cast<BYTE*>(raw), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    wchar_t expanded[MAX_PATH * 2] = {};
    const DWORD n = ExpandEnvironmentStringsW(raw, expanded, MAX_PATH * 2);
    if (n == 0 || n > MAX_PATH * 2) return {};
    return reinterpret_cast<const char16_t*>(expanded);
}

}  // namespace

std::vector<UserProfile> ListUserProfiles() {
    std::vector<UserProfile> profiles;
    HKEY list = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList", 0,
                      KEY_READ, &list) != ERROR_SUCCESS)
        return profiles;
    UniqueKey owned(list);
    for (DWORD i = 0;; ++i) {
        wchar_t name[256];
        DWORD length = 256;
        const LONG r = RegEnumKeyExW(list, i, name, &length, nullptr, nullptr, nullptr, nullptr);
        if (r == ERROR_NO_MORE_ITEMS) break;
        if (r != ERROR_SUCCESS) continue;
        HKEY profile = nullptr;
        if (RegOpenKeyExW(list, name, 0, KEY_QUERY_VALUE, &profile) != ERROR_SUCCESS) continue;
        UniqueKey ownedProfile(profile);
        UserProfile p{std::u16string(reinterpret_cast<const char16_t*>(name), length), ExpandedFolder(profile)};
        if (!p.folder.empty()) profiles.push_back(std::move(p));
    }
    return profiles;
}

bool FolderCanBeRead(const std::u16string& folder) {
    WIN32_FIND_DATAW found;
    const HANDLE h = FindFirstFileW(W(folder + u"\\*"), &found);
    if (h == INVALID_HANDLE_VALUE) return false;
    FindClose(h);
    return true;
}

bool RunsAsLocalSystem() { return CurrentUserSid() == u"S-1-5-18"; }
