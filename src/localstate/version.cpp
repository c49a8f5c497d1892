#include "localstate/version.h"

#include <cstdint>

#include "fileio/fileio.h"
#include "json/jsonscan.h"

namespace {

// The browsers write a few bytes; anything larger is not theirs.
constexpr size_t kMaxVersionFile = 64;

// Digits, dots and a suffix such as "-64-devel": nothing a log line could
// be misled by.
bool LooksLikeVersion(std::string_view text) {
    if (text.empty() || text.size() > kMaxVersionFile) return false;
    for (char c : text)
        if (!(c >= '0' && c <= '9') && !(c >= 'a' && c <= 'z') && !(c >= 'A' && c <= 'Z') && c != '.' && c != '-')
            return false;
    return MajorVersion(text) > 0;
}

}  // namespace

int MajorVersion(std::string_view version) {
    int major = 0;
    size_t i = 0;
    for (; i < version.size() && i < 6 && version[i] >= '0' && version[i] <= '9'; ++i) major = major * 10 + (version[i] - '0');
    if (i == 0 || i == 6 || (i < version.size() && version[i] != '.' && version[i] != '-')) return 0;
    return major;
}

std::string ReadLastVersion(const std::u16string& localStatePath, const Confinement& confinement) {
    const size_t cut = localStatePath.find_last_of(kPathSeparator);
    if (cut == std::u16string::npos) return {};
    const FolderHandle folder = FolderHandle::OpenFor(localStatePath.substr(0, cut + 1) + u"Last Version", confinement);
    FileHandle& file = folder.File();
    uint64_t size = 0;
    if (!file.IsOpen() || !file.Size(&size) || size > kMaxVersionFile) return {};
    char bytes[kMaxVersionFile];
    const size_t got = file.Read(bytes, static_cast<size_t>(size));
    std::string_view text(bytes, got);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
    return got == size && LooksLikeVersion(text) ? std::string(text) : std::string();
}

std::string StatsVersion(std::string_view text) {
    json::Value v;
    json::Ends ends;
    if (!json::Scan(text, &v, &ends) || v.kind != json::Kind::Object) return {};
    for (const char* key : {"user_experience_metrics", "stability", "stats_version"})
        if (v.kind != json::Kind::Object || !json::Find(text, v, key, &v, &ends)) return {};
    if (v.kind != json::Kind::String) return {};
    const std::string_view version = text.substr(v.begin + 1, v.end - v.begin - 2);
    return LooksLikeVersion(version) ? std::string(version) : std::string();
}
