#include <limits.h>
#include <time.h>
#include <unistd.h>

#include "log/log.h"
#include "textfile/codepage.h"

std::u16string ApplicationFolder() {
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buf) return {};
    std::string path(buf, static_cast<size_t>(n));
    size_t cut = path.rfind('/');
    if (cut == std::string::npos) return {};
    return BytesToText(path.substr(0, cut), kCodePageUtf8);
}

DateTime LocalNow() {
    time_t now = ::time(nullptr);
    struct tm t;
    ::localtime_r(&now, &t);
    return DateTime{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

// The stand-in has no fallback: its tests log beside the test program.
std::u16string FallbackLogFolder(bool) { return {}; }
