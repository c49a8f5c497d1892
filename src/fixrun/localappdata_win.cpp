#include <windows.h>
#include <shlobj.h>

#include "fixrun/localappdata.h"

// Through the Unicode call: the ANSI one turns a user folder whose name the
// code page cannot hold into question marks, and every file into "missing".
std::u16string GetLocalAppDataPath() {
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer))) return {};
    return std::u16string(reinterpret_cast<const char16_t*>(buffer));
}
