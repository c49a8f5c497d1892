#include <sys/stat.h>

#include "filerepair/filerepair.h"
#include "textfile/codepage.h"

bool FileExists(const std::u16string& path) {
    if (path.empty() || path.find(u'\0') != std::u16string::npos) return false;
    struct stat st;
    if (::stat(TextToBytes(path, kCodePageUtf8).c_str(), &st) != 0) return false;
    return !S_ISDIR(st.st_mode);
}
