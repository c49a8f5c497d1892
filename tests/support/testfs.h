#pragma once
// Scratch folders and raw byte access for tests, on both platforms.
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <random>
#include <sstream>
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
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

inline void WriteBytes(const fs::path& p, const std::string& bytes) {
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

#ifdef _WIN32
// Under Wine: the Unix program run on the paths' Unix names, until `done` says it has acted (a Unix process's
// handle does not tell when it ends). False elsewhere.
template <class Done>
bool RunUnix(std::string line, std::initializer_list<const fs::path*> paths, Done done) {
    using UnixName = char*(__cdecl*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!unixName) return false;
    for (const fs::path* p : paths) {
        char* name = unixName(p->c_str());
        line += std::string(" \"") + (name ? name : "") + "\"";
        HeapFree(GetProcessHeap(), 0, name);
    }
    std::wstring cmd(line.begin(), line.end());
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    CloseHandle(pi.hThread), CloseHandle(pi.hProcess);
    for (int i = 0; i < 200 && !done(); ++i) Sleep(10);
    return done();
}
#endif

// A symbolic link at `link` to `target`. Wine creates none of its own, but
// runs Unix programs and shows a Unix link as the one Windows would have.
inline bool MakeSymlink(const fs::path& target, const fs::path& link) {
#ifdef _WIN32
    const auto made = [&] { return GetFileAttributesW(link.c_str()) != INVALID_FILE_ATTRIBUTES; };
    if (RunUnix("/bin/ln -s", {&target, &link}, made)) return true;
#endif
    std::error_code ec;
    fs::is_directory(target) ? fs::create_directory_symlink(target, link, ec) : fs::create_symlink(target, link, ec);
    return !ec;
}

// Removes the link itself, not what it leads to: Wine's remove_all stalls on a link to a folder it removed first.
inline void RemoveSymlink(const fs::path& link) {
#ifdef _WIN32
    const auto gone = [&] { return GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES; };
    if (RunUnix("/bin/rm", {&link}, gone)) return;
#endif
    std::error_code ec;
    fs::remove(link, ec);
}

}  // namespace testfs
