#include "textfile/fileio.h"

#include <windows.h>
#include <aclapi.h>

#include <utility>

#include "textfile/fileio_platform.h"

namespace {
const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }

// The owner of a file, kept across its replacement.
class FileOwner {
public:
    explicit FileOwner(const std::u16string& path) {
        if (GetNamedSecurityInfoW(W(path), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner_, nullptr, nullptr,
                                  nullptr, &descriptor_) != ERROR_SUCCESS)
            owner_ = nullptr;
    }
    ~FileOwner() { LocalFree(descriptor_); }
    FileOwner(const FileOwner&) = delete;
    FileOwner& operator=(const FileOwner&) = delete;

    // ReplaceFileW keeps the old file's permissions but hands it the owner
    // of the new content: the account that runs. A file repaired for
    // another user (a run as LocalSystem) must stay theirs. Setting an
    // owner other than oneself takes the restore privilege, which such an
    // account holds but need not have switched on.
    void RestoreOn(const std::u16string& path) const {
        if (!owner_) return;
        PSID now = nullptr;
        PSECURITY_DESCRIPTOR current = nullptr;
        const bool same = GetNamedSecurityInfoW(W(path), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &now, nullptr,
                                                nullptr, nullptr, &current) == ERROR_SUCCESS &&
                          EqualSid(now, owner_);
        LocalFree(current);
        if (same) return;
        EnableRestorePrivilege();
        SetNamedSecurityInfoW(const_cast<wchar_t*>(W(path)), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner_,
                              nullptr, nullptr, nullptr);
    }

private:
    static void EnableRestorePrivilege() {
        HANDLE token = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
        TOKEN_PRIVILEGES tp = {};
        tp.PrivilegeCount = 1;
        tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, SE_RESTORE_NAME, &tp.Privileges[0].Luid))
            AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
        CloseHandle(token);
    }

    PSID owner_ = nullptr;
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
};
}  // namespace

FileHandle FileHandle::Open(const std::u16string& path, Access access) {
    HANDLE h = INVALID_HANDLE_VALUE;
    switch (access) {
    case Access::ReadExisting:
        h = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        break;
    case Access::AppendAlways:
        // FILE_APPEND_DATA alone makes every write land at the current end,
        // so nothing already in the file can be overwritten.
        // Several copies of the program may log at once: they share writing.
        // One that holds the file without sharing it usually lets go within
        // moments, so a refusal for sharing is retried a few times.
        for (int attempt = 0; attempt < 10; ++attempt) {
            h = CreateFileW(W(path), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) break;
            Sleep(10);
        }
        break;
    case Access::CreateNew:
        h = CreateFileW(W(path), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        break;
    }
    return FileHandle(reinterpret_cast<intptr_t>(h));
}

bool FileHandle::Size(uint64_t* size) const {
    LARGE_INTEGER li;
    if (!IsOpen() || !GetFileSizeEx(H(handle_), &li)) return false;
    *size = static_cast<uint64_t>(li.QuadPart);
    return true;
}

size_t FileHandle::Read(void* buffer, size_t count) {
    SetLastError(ERROR_SUCCESS);
    size_t total = 0;
    while (IsOpen() && total < count) {
        DWORD chunk = static_cast<DWORD>(count - total > 0x40000000 ? 0x40000000 : count - total);
        DWORD got = 0;
        if (!ReadFile(H(handle_), static_cast<char*>(buffer) + total, chunk, &got, nullptr) || got == 0) break;
        total += got;
    }
    return total;
}

bool FileHandle::Write(const void* data, size_t count) {
    if (fileio_platform::TakeWriteFault()) {
        DWORD put = 0;
        if (IsOpen() && count > 1) WriteFile(H(handle_), data, static_cast<DWORD>(count / 2), &put, nullptr);
        SetLastError(ERROR_WRITE_FAULT);
        return false;
    }
    size_t total = 0;
    while (IsOpen() && total < count) {
        DWORD chunk = static_cast<DWORD>(count - total > 0x40000000 ? 0x40000000 : count - total);
        DWORD put = 0;
        if (!WriteFile(H(handle_), static_cast<const char*>(data) + total, chunk, &put, nullptr)) return false;
        if (put == 0) {
            SetLastError(ERROR_DISK_FULL);
            return false;
        }
        total += put;
    }
    return IsOpen();
}

bool FileHandle::Flush() { return IsOpen() && FlushFileBuffers(H(handle_)); }

void FileHandle::Close() {
    if (IsOpen()) CloseHandle(H(std::exchange(handle_, kInvalid)));
}

uint32_t LastFileError() { return GetLastError(); }

// Large pages need a privilege users do not have.
void AdviseWholeFileBuffer(void*, size_t) {}

namespace fileio_platform {

Target ProbeReplaceTarget(const std::u16string& path) {
    const DWORD attributes = GetFileAttributesW(W(path));
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return GetLastError() == ERROR_FILE_NOT_FOUND ? Target::Missing : Target::Refused;
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return Target::Refused;
    }
    // The access the swap will need, asked for up front: a program that
    // holds the file without sharing writes or deletion keeps it unchanged,
    // and ReplaceFileW is not left to fail halfway (Wine's leaves a stray
    // backup file behind when it does).
    HANDLE h = CreateFileW(W(path), GENERIC_READ | GENERIC_WRITE | DELETE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return Target::Refused;
    CloseHandle(h);
    return Target::Replaceable;
}

bool SwapIn(std::u16string& temp, const std::u16string& target, bool targetExists) {
    if (!targetExists) return MoveFileExW(W(temp), W(target), MOVEFILE_WRITE_THROUGH) != FALSE;
    // ReplaceFileW carries the target's attributes, security settings and
    // streams over to the new content; set the plain attributes as well in
    // case the file system cannot.
    const DWORD attributes = GetFileAttributesW(W(target));
    const DWORD keep = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                       FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & keep)) SetFileAttributesW(W(temp), attributes & keep);
    const FileOwner owner(target);
    if (ReplaceFileW(W(target), W(temp), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
        owner.RestoreOn(target);
        return true;
    }
    if (GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT) {
        // The old content is gone already and the new sits under the
        // temporary name: finish the move, and keep that file if it fails.
        if (MoveFileExW(W(temp), W(target), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            owner.RestoreOn(target);
            return true;
        }
        temp.clear();
    }
    return false;
}

void RemoveFile(const std::u16string& path) { DeleteFileW(W(path)); }

std::u16string UniqueTag() {
    static ULONGLONG counter = 0;
    ULONGLONG v = (static_cast<ULONGLONG>(GetCurrentProcessId()) << 40) ^ (GetTickCount64() << 8) ^ ++counter;
    LARGE_INTEGER now;
    if (QueryPerformanceCounter(&now)) v ^= static_cast<ULONGLONG>(now.QuadPart) * 0x9E3779B97F4A7C15ull;
    std::u16string tag;
    for (int i = 0; i < 12; ++i, v >>= 5) tag += u"0123456789abcdefghijklmnopqrstuv"[v & 31];
    return tag;
}

}  // namespace fileio_platform
