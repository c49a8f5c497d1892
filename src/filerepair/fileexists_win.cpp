#include <windows.h>

#include "filerepair/filerepair.h"

bool FileExists(const std::u16string& path) {
    if (path.find(u'\0') != std::u16string::npos) return false;
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str()));
    if (attributes == INVALID_FILE_ATTRIBUTES) return false;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
