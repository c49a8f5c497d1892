#pragma once
// Scratch folders and raw byte access for tests, on both platforms.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

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

}  // namespace testfs
