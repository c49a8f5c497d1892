#include "fileio/fileio.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <string>
#include <random>
#include <utility>

#include "memory/largepages.h"
#include "textfile/codepage.h"
#include "fileio/fileio_platform.h"

namespace {
std::string NativePath(const std::u16string& path) { return TextToBytes(path, kCodePageUtf8); }
}  // namespace

namespace {

// Windows cannot open a directory as a file; keep the two alike.
int RefuseFolder(int fd) {
    struct stat st;
    if (fd < 0 || (::fstat(fd, &st) == 0 && !S_ISDIR(st.st_mode))) return fd;
    ::close(fd);
    errno = EISDIR;
    return -1;
}

// The path the kernel has for an open file or folder.
std::string WhereIs(int fd) {
    char buf[PATH_MAX];
    const ssize_t n = ::readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), buf, sizeof buf);
    return n > 0 && static_cast<size_t>(n) < sizeof buf ? std::string(buf, static_cast<size_t>(n)) : std::string();
}

// A file reached through no link has one name only: a second one may be
// anywhere.
bool OneName(int fd) {
    struct stat st;
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink == 1;
}

}  // namespace

FolderHandle FolderHandle::OpenFor(const std::u16string& path, const Confinement& confinement) {
    FolderHandle folder;
    folder.path_ = path;
    folder.confinement_ = confinement;
    const std::string p = NativePath(path);
    const size_t cut = p.rfind('/');
    if (cut == std::string::npos) {
        folder.error_ = EINVAL;
        return folder;
    }
    folder.name_ = path.substr(path.find_last_of(u'/') + 1);
    const std::string parent = cut == 0 ? "/" : p.substr(0, cut);
    std::string start = folder.Confined() ? NativePath(confinement.noLinksBelow) : parent;
    while (start.size() > 1 && start.back() == '/') start.pop_back();
    if (folder.Confined() && (parent.compare(0, start.size(), start) != 0 ||
                             (parent.size() > start.size() && parent[start.size()] != '/'))) {
        folder.error_ = EINVAL;
        return folder;
    }
    const int noFollow = folder.Confined() ? O_NOFOLLOW : 0;
    int fd = ::open(start.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | noFollow);
    // Down from the confining folder one step at a time, none followed.
    for (size_t from = start.size() + 1; fd >= 0 && from < parent.size() + 1;) {
        size_t to = parent.find('/', from);
        if (to == std::string::npos) to = parent.size();
        const std::string step = parent.substr(from, to - from);
        from = to + 1;
        if (step.empty()) continue;
        const int next = ::openat(fd, step.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        const int why = errno;
        ::close(fd);
        fd = next;
        errno = why;
    }
    if (fd < 0) {
        // O_NOFOLLOW meets a link as ELOOP, or as ENOTDIR with O_DIRECTORY.
        folder.error_ = folder.Confined() && (errno == ELOOP || errno == ENOTDIR) ? kErrorLinkInPath : errno;
        return folder;
    }
    folder.handle_ = fd;
    folder.where_ = BytesToText(WhereIs(fd), kCodePageUtf8);
    return folder;
}

void FolderHandle::Close() {
    if (IsOpen()) ::close(std::exchange(handle_, kInvalid));
}

bool FolderHandle::StillInPlace() const { return IsOpen() && BytesToText(WhereIs(handle_), kCodePageUtf8) == where_; }

bool FolderHandle::Subfolders(std::vector<Subfolder>* folders) const {
    // A descriptor of its own, so that the listing's position is not the
    // held one's.
    const int fd = IsOpen() ? ::openat(handle_, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    DIR* dir = fd >= 0 ? ::fdopendir(fd) : nullptr;
    if (!dir) {
        if (fd >= 0) ::close(fd);
        return false;
    }
    while (const dirent* e = ::readdir(dir)) {
        const std::string name = e->d_name;
        struct stat st;
        if (name == "." || name == ".." || ::fstatat(handle_, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        const bool link = S_ISLNK(st.st_mode);
        if (link && !Confined() && (::fstatat(handle_, e->d_name, &st, 0) != 0)) continue;
        if (S_ISDIR(st.st_mode) || (link && Confined())) folders->push_back({BytesToText(name, kCodePageUtf8), link});
    }
    ::closedir(dir);
    return true;
}

bool FolderHandle::HasFile() const {
    struct stat st;
    return IsOpen() &&
           ::fstatat(handle_, NativePath(name_).c_str(), &st, Confined() ? AT_SYMLINK_NOFOLLOW : 0) == 0 &&
           S_ISREG(st.st_mode) && (!Confined() || st.st_nlink == 1);
}

FileHandle FileHandle::OpenIn(const FolderHandle& folder) {
    if (!folder.IsOpen()) {
        errno = static_cast<int>(folder.Error());
        return FileHandle();
    }
    const std::string name = NativePath(folder.Name());
    int fd = RefuseFolder(::openat(folder.handle_, name.c_str(),
                                   O_RDONLY | O_CLOEXEC | (folder.Confined() ? O_NOFOLLOW : 0)));
    if (folder.Confined() && (fd >= 0 ? !OneName(fd) : errno == ELOOP)) {
        if (fd >= 0) ::close(fd);
        fd = -1;
        errno = kErrorLinkInPath;
    }
    return FileHandle(fd);
}

FileHandle FileHandle::Open(const std::u16string& path, Access access) {
    int fd = -1;
    switch (access) {
    case Access::AppendAlways:
    case Access::AppendAlwaysPrivate:
        fd = RefuseFolder(::open(NativePath(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                                 access == Access::AppendAlwaysPrivate ? 0600 : 0666));
        if (fd < 0 && errno == ELOOP) errno = kErrorLinkInPath;
        if (fd >= 0 && !OneName(fd)) {
            ::close(fd);
            fd = -1;
            errno = kErrorLinkInPath;
        }
        break;
    }
    return FileHandle(fd);
}

bool FileHandle::Size(uint64_t* size) const {
    struct stat st;
    if (!IsOpen() || ::fstat(handle_, &st) != 0) return false;
    *size = static_cast<uint64_t>(st.st_size);
    return true;
}

// POSIX marks no file sparse: far fewer blocks than the size says is a hole.
bool FileHandle::Sparse() const {
    struct stat st;
    return IsOpen() && ::fstat(handle_, &st) == 0 && static_cast<int64_t>(st.st_blocks) * 512 + 65536 < st.st_size;
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

namespace {
bool SetAppendLock(int fd, short type, int command) {
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = off_t(1) << 62;
    lock.l_len = 1;
    return ::fcntl(fd, command, &lock) == 0;
}
}  // namespace

bool FileHandle::LockAppends() {
    for (int attempt = 0; IsOpen() && attempt < 50; ++attempt) {
        if (SetAppendLock(handle_, F_WRLCK, F_SETLK)) return true;
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) return false;
        ::usleep(10000);
    }
    return false;
}

void FileHandle::UnlockAppends() {
    if (IsOpen()) SetAppendLock(handle_, F_UNLCK, F_SETLK);
}

void FileHandle::Close() {
    if (IsOpen()) ::close(std::exchange(handle_, kInvalid));
}

uint32_t LastFileError() { return static_cast<uint32_t>(errno); }

bool NamesNoFile(uint32_t error) { return error == ENOENT || error == ENOTDIR || error == EISDIR; }

// POSIX has no sharing modes and no oplocks.
bool HeldByAnother(uint32_t error) { return error == EBUSY; }

void AdviseWholeFileBuffer(void* data, size_t size) { memory::AdviseLargePages(data, size); }

bool ReplacementFile::CreateTemporary() {
    const int folder = folder_.handle_;
    struct stat st = {};
    if (targetExists_) {
        // All of it from the descriptor the file was read through.
        if (::fstat(folder_.File().handle_, &st) != 0) return false;
        heldDevice_ = static_cast<uint64_t>(st.st_dev), heldIndex_ = static_cast<uint64_t>(st.st_ino);
        // A file with no write permission for anyone stands for a read-only
        // file: it is refused even to a user the permissions do not bind.
        if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            errno = EACCES;
            return false;
        }
    }
    int fd = -1;
    for (int attempt = 0; attempt < 8 && fd < 0; ++attempt) {
        tempName_ = folder_.Name() + u".~" + fileio_platform::UniqueTag() + u".tmp";
        fd = ::openat(folder, NativePath(tempName_).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
        tempName_.clear();
        return false;
    }
    file_ = FileHandle(fd);
    if (!targetExists_) return true;
    if (::fchmod(fd, st.st_mode & 07777) != 0) return false;
    // Only a privileged user can give the file away; others keep it. The
    // owner given as a SID is Windows's: here the held file's stands in.
    if ((st.st_uid != ::geteuid() || st.st_gid != ::getegid()) && ::fchown(fd, st.st_uid, st.st_gid) != 0 &&
        errno != EPERM)
        return false;
    return true;
}

bool ReplacementFile::NameLeadsToHeld() const {
    struct stat st;
    const bool found = ::fstatat(folder_.handle_, NativePath(folder_.Name()).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
    if (!targetExists_) {
        if (!found) return true;
        errno = EEXIST;  // created by someone else meanwhile: not ours to overwrite
        return false;
    }
    if (!found) return false;
    if (static_cast<uint64_t>(st.st_dev) == heldDevice_ && static_cast<uint64_t>(st.st_ino) == heldIndex_) return true;
    errno = kErrorFileReplaced;
    return false;
}

bool ReplacementFile::SwapIn() {
    if (!NameLeadsToHeld()) return false;
    const int folder = folder_.handle_;
    if (::renameat(folder, NativePath(tempName_).c_str(), folder, NativePath(folder_.Name()).c_str()) != 0) return false;
    // The rename itself is durable only once the folder is flushed.
    ::fsync(folder);
    return true;
}

// POSIX removes by name only; the name is looked up in the held folder.
void ReplacementFile::RemoveTemporary() { ::unlinkat(folder_.handle_, NativePath(tempName_).c_str(), 0); }

namespace fileio_platform {

std::u16string UniqueTag() {
    static std::mt19937_64 rng(std::random_device{}() ^ (static_cast<uint64_t>(::getpid()) << 32));
    uint64_t v = rng();
    std::u16string tag;
    for (int i = 0; i < 12; ++i, v >>= 5) tag += u"0123456789abcdefghijklmnopqrstuv"[v & 31];
    return tag;
}

}  // namespace fileio_platform
