#pragma once
// Scratch folders and raw byte access for tests, on both platforms.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#ifdef _WIN32
#include <windows.h>
#endif

namespace testfs {

namespace fs = std::filesystem;

inline std::u16string U16(const fs::path& p) { return p.u16string(); }

// A scratch folder of the test's own, removed with everything in it.
class TempDir {
public:
    TempDir() : path_(fs::temp_directory_path() / ("dzd-test-" + std::to_string(std::random_device{}()))) {
        fs::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

private:
    fs::path path_;
};

inline std::string ReadBytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// A symbolic link at `link` to `target`. Wine creates none of its own, but
// runs Unix programs and shows a Unix link as the one Windows would have.
inline bool MakeSymlink(const fs::path& target, const fs::path& link) {
#ifdef _WIN32
    using UnixName = char*(__cdecl*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (unixName) {
        char* from = unixName(target.c_str());
        char* to = unixName(link.c_str());
        std::string line = std::string("/bin/ln -s \"") + (from ? from : "") + "\" \"" + (to ? to : "") + "\"";
        HeapFree(GetProcessHeap(), 0, from), HeapFree(GetProcessHeap(), 0, to);
        std::wstring cmd(line.begin(), line.end());
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessW(L"/bin/ln", &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
        CloseHandle(pi.hThread), CloseHandle(pi.hProcess);
        // A Unix process's handle does not tell when it ends: wait for the link.
        for (int i = 0; i < 200 && GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; ++i) Sleep(10);
        return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES;
    }
#endif
    std::error_code ec;
    fs::is_directory(target) ? fs::create_directory_symlink(target, link, ec) : fs::create_symlink(target, link, ec);
    return !ec;
}

}  // namespace testfs
