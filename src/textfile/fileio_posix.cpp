#include "textfile/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <random>
#include <utility>

#include "memory/largepages.h"
#include "textfile/codepage.h"
#include "textfile/fileio_platform.h"

namespace {
std::string NativePath(const std::u16string& path) { return TextToBytes(path, kCodePageUtf8); }
}  // namespace

FileHandle FileHandle::Open(const std::u16string& path, Access access) {
    std::string p = NativePath(path);
    int fd = -1;
    switch (access) {
    case Access::ReadExisting: fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC); break;
    case Access::AppendAlways: fd = ::open(p.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666); break;
    case Access::CreateNew: fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); break;
    }
    if (fd >= 0) {
        // Windows cannot open a directory as a file; keep the two alike.
        struct stat st;
        const bool ok = ::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode);
        if (!ok) {
            const int why = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
            ::close(fd);
            fd = -1;
            errno = why;
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

size_t FileHandle::Read(void* buffer, size_t count) {
    errno = 0;
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
    if (fileio_platform::TakeWriteFault()) {
        if (IsOpen() && count > 1) {
            ssize_t put = ::write(handle_, data, count / 2);
            (void)put;
        }
        errno = EIO;
        return false;
    }
    size_t total = 0;
    while (IsOpen() && total < count) {
        ssize_t put = ::write(handle_, static_cast<const char*>(data) + total, count - total);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) {
            if (put == 0) errno = ENOSPC;
            return false;
        }
        total += static_cast<size_t>(put);
    }
    return IsOpen();
}

bool FileHandle::Flush() { return IsOpen() && ::fsync(handle_) == 0; }

void FileHandle::Close() {
    if (IsOpen()) ::close(std::exchange(handle_, kInvalid));
}

uint32_t LastFileError() { return static_cast<uint32_t>(errno); }

void AdviseWholeFileBuffer(void* data, size_t size) { memory::AdviseLargePages(data, size); }

namespace fileio_platform {

Target ProbeReplaceTarget(const std::u16string& path) {
    struct stat st;
    if (::stat(NativePath(path).c_str(), &st) != 0) return errno == ENOENT ? Target::Missing : Target::Refused;
    // A file with no write permission for anyone stands for a read-only
    // file: it is refused even to a user the permissions do not bind.
    if (!S_ISREG(st.st_mode) || (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
        errno = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
        return Target::Refused;
    }
    return Target::Replaceable;
}

bool SwapIn(std::u16string& temp, const std::u16string& target, bool targetExists) {
    const std::string from = NativePath(temp), to = NativePath(target);
    if (targetExists) {
        struct stat st;
        if (::stat(to.c_str(), &st) != 0) return false;
        if (::chmod(from.c_str(), st.st_mode & 07777) != 0) return false;
        // Only a privileged user can give the file away; others keep it.
        if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) {
            if (::chown(from.c_str(), st.st_uid, st.st_gid) != 0 && errno != EPERM) return false;
        }
    } else if (::access(to.c_str(), F_OK) == 0) {
        errno = EEXIST;
        return false;  // created by someone else meanwhile: not ours to overwrite
    }
    if (::rename(from.c_str(), to.c_str()) != 0) return false;
    // The rename itself is durable only once the folder is flushed.
    const std::string::size_type cut = to.find_last_of('/');
    const std::string folder = cut == std::string::npos ? "." : cut == 0 ? "/" : to.substr(0, cut);
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void RemoveFile(const std::u16string& path) { ::unlink(NativePath(path).c_str()); }

std::u16string UniqueTag() {
    static std::mt19937_64 rng(std::random_device{}() ^ (static_cast<uint64_t>(::getpid()) << 32));
    uint64_t v = rng();
    std::u16string tag;
    for (int i = 0; i < 12; ++i, v >>= 5) tag += u"0123456789abcdefghijklmnopqrstuv"[v & 31];
    return tag;
}

}  // namespace fileio_platform
