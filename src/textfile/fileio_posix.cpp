#include "textfile/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "textfile/codepage.h"

namespace {
std::string NativePath(const std::u16string& path) { return TextToBytes(path, kCodePageUtf8); }
}  // namespace

FileHandle::~FileHandle() { Close(); }

FileHandle::FileHandle(FileHandle&& other) noexcept : handle_(std::exchange(other.handle_, kInvalid)) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
    if (this != &other) {
        Close();
        handle_ = std::exchange(other.handle_, kInvalid);
    }
    return *this;
}

FileHandle FileHandle::Open(const std::u16string& path, Access access) {
    std::string p = NativePath(path);
    int fd = -1;
    switch (access) {
    case Access::ReadExisting: fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC); break;
    case Access::AppendAlways: fd = ::open(p.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666); break;
    }
    if (fd >= 0) {
        // Windows cannot open a directory as a file; keep the two alike.
        struct stat st;
        if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd);
            fd = -1;
        }
    }
    return FileHandle(fd);
}

bool FileHandle::Size(uint64_t* size) const {
    struct stat st;
    if (!IsOpen() || ::fstat(handle_, &st) != 0) return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool FileHandle::SeekTo(uint64_t offset) {
    return IsOpen() && ::lseek(handle_, static_cast<off_t>(offset), SEEK_SET) >= 0;
}

size_t FileHandle::Read(void* buffer, size_t count) {
    size_t total = 0;
    while (IsOpen() && total < count) {
        ssize_t got = ::read(handle_, static_cast<char*>(buffer) + total, count - total);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<size_t>(got);
    }
    return total;
}

bool FileHandle::Write(const void* data, size_t count) {
    size_t total = 0;
    while (IsOpen() && total < count) {
        ssize_t put = ::write(handle_, static_cast<const char*>(data) + total, count - total);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        total += static_cast<size_t>(put);
    }
    return IsOpen();
}

bool FileHandle::Flush() { return IsOpen() && ::fsync(handle_) == 0; }

void FileHandle::Close() {
    if (IsOpen()) ::close(std::exchange(handle_, kInvalid));
}
