#include "fileio/fileio.h"

#include <windows.h>
#include <winternl.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstddef>
#include <cstring>
#include <utility>
#include <vector>

#include "fileio/fileio_platform.h"

namespace {
const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
intptr_t N(HANDLE h) { return reinterpret_cast<intptr_t>(h); }

struct CloseOnExit {
    HANDLE h;
    ~CloseOnExit() {
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    }
};

constexpr NTSTATUS kOplockBreakInProgress = 0x00000108;  // STATUS_OPLOCK_BREAK_IN_PROGRESS, a success
constexpr NTSTATUS kFileIsADirectory = static_cast<NTSTATUS>(0xC00000BA);
// Codes older headers lack.
constexpr DWORD kOplockBreakError = 742;  // ERROR_OPLOCK_BREAK_IN_PROGRESS
constexpr DWORD kIsAFolderError = 336;    // ERROR_DIRECTORY_NOT_SUPPORTED

// The options of every open in a folder another user controls: no link
// followed, and no wait for an oplock's holder. An open that would break
// an oplock waits, without a time limit, until the holder acknowledges the
// break; asked to complete if oplocked, it returns at once, and one that
// did so is no open for this run (the file counts as held by another).
ULONG ConfinedOptions(bool confined) { return confined ? FILE_OPEN_REPARSE_POINT | FILE_COMPLETE_IF_OPLOCKED : 0; }

// A name inside a folder, opened through the folder's handle: a link put in
// place of the folder, or of any folder above it, cannot redirect it. With
// FILE_OPEN_REPARSE_POINT a link in place of the name itself is opened as
// the link, not followed.
HANDLE OpenRelative(HANDLE folder, const std::u16string& name, ACCESS_MASK access, ULONG share, ULONG disposition,
                    ULONG options, ULONG attributes = 0, PSECURITY_DESCRIPTOR security = nullptr) {
    if (name.empty() || name.size() > 0x7FFF || name.find_first_of(u"\\/") != std::u16string::npos) {
        SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    UNICODE_STRING text;
    text.Buffer = const_cast<PWSTR>(W(name));
    text.Length = text.MaximumLength = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES object;
    InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder, security);
    IO_STATUS_BLOCK io = {};
    HANDLE h = nullptr;
    const NTSTATUS status = NtCreateFile(&h, access | SYNCHRONIZE, &object, &io, nullptr, attributes, share, disposition,
                                         options | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
    if (status == kOplockBreakInProgress) {
        CloseHandle(h);
        SetLastError(kOplockBreakError);
        return INVALID_HANDLE_VALUE;
    }
    if (status < 0) {
        // A folder where a file should be is told from a file denied.
        SetLastError(status == kFileIsADirectory ? kIsAFolderError : RtlNtStatusToDosError(status));
        return INVALID_HANDLE_VALUE;
    }
    return h;
}

// Where the file system says the handle's file is, every link resolved.
std::u16string FinalPath(HANDLE h) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n = GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()), FILE_NAME_NORMALIZED);
        if (n == 0) return {};
        if (n < buffer.size()) return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), n);
        buffer.resize(n + 1);
    }
}

bool SamePath(const std::u16string& a, const std::u16string& b) {
    return !a.empty() && CompareStringOrdinal(W(a), static_cast<int>(a.size()), W(b), static_cast<int>(b.size()), TRUE) ==
                             CSTR_EQUAL;
}

std::u16string Below(const std::u16string& folder, const std::u16string& name) {
    return !folder.empty() && folder.back() == u'\\' ? folder + name : folder + u'\\' + name;
}

// True when the handle's file is the name it was opened by in the folder,
// and nothing else: not a link (which Wine follows even when asked not to,
// so the final path must say it too), not a second name of a file that
// lives elsewhere.
bool IsPlainEntry(HANDLE h, const std::u16string& folderWhere, const std::u16string& name, bool file) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) return false;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return false;
    if (file && info.nNumberOfLinks != 1) return false;
    return SamePath(FinalPath(h), Below(folderWhere, name));
}

// Turns a privilege on for one call and back to what it was right after:
// a run as LocalSystem holds the restore privilege, which lets it set any
// owner on any file, and must not hold it switched on for longer.
class PrivilegeOn {
public:
    explicit PrivilegeOn(const wchar_t* name) {
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token_)) return;
        TOKEN_PRIVILEGES wanted = {};
        wanted.PrivilegeCount = 1;
        wanted.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        DWORD size = sizeof before_;
        adjusted_ = LookupPrivilegeValueW(nullptr, name, &wanted.Privileges[0].Luid) &&
                    AdjustTokenPrivileges(token_, FALSE, &wanted, sizeof before_, &before_, &size) &&
                    GetLastError() == ERROR_SUCCESS;
    }
    ~PrivilegeOn() {
        if (adjusted_) AdjustTokenPrivileges(token_, FALSE, &before_, 0, nullptr, nullptr);
        if (token_) CloseHandle(token_);
    }
    PrivilegeOn(const PrivilegeOn&) = delete;
    PrivilegeOn& operator=(const PrivilegeOn&) = delete;

private:
    HANDLE token_ = nullptr;
    TOKEN_PRIVILEGES before_ = {};
    bool adjusted_ = false;
};

// The owner and permissions of the file being replaced, read through its
// handle.
class FileSecurity {
public:
    // False, with the reason as the last error, when they cannot be read.
    bool ReadFrom(HANDLE h) {
        const DWORD r = GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                        &owner_, nullptr, &dacl_, nullptr, &descriptor_);
        if (r != ERROR_SUCCESS) {
            SetLastError(r);
            return false;
        }
        SECURITY_DESCRIPTOR_CONTROL control = 0;
        DWORD revision = 0;
        if (!GetSecurityDescriptorControl(descriptor_, &control, &revision)) return false;
        // The permissions as they are on the old file, given to the new one
        // at its creation: a file created with permissions of its own
        // inherits nothing from a folder whoever the file belongs to can
        // change.
        return InitializeSecurityDescriptor(&given_, SECURITY_DESCRIPTOR_REVISION) &&
               SetSecurityDescriptorDacl(&given_, dacl_ != nullptr, dacl_, FALSE) &&
               SetSecurityDescriptorControl(&given_, SE_DACL_PROTECTED, control & SE_DACL_PROTECTED);
    }
    ~FileSecurity() { LocalFree(descriptor_), LocalFree(givenOwner_); }
    FileSecurity() = default;
    FileSecurity(const FileSecurity&) = delete;
    FileSecurity& operator=(const FileSecurity&) = delete;

    PSECURITY_DESCRIPTOR Given() { return descriptor_ ? &given_ : nullptr; }

    // The owner the new file gets instead of the old one's: the user whose
    // file it is, never taken from a file that user can change.
    bool OwnerFrom(const std::u16string& sid) {
        PSID given = nullptr;
        if (!ConvertStringSidToSidW(W(sid), &given)) return false;
        LocalFree(givenOwner_);
        givenOwner_ = owner_ = given;
        return true;
    }

    // The old file's owner on the new one, which otherwise belongs to the
    // account that runs. False, with the reason, when that fails.
    bool GiveOwnerTo(HANDLE h) const {
        if (!owner_) return true;
        PSID now = nullptr;
        PSECURITY_DESCRIPTOR current = nullptr;
        DWORD r = GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &now, nullptr, nullptr, nullptr, &current);
        const bool same = r == ERROR_SUCCESS && EqualSid(now, owner_);
        LocalFree(current);
        if (r == ERROR_SUCCESS && !same) {
            const PrivilegeOn restore(SE_RESTORE_NAME);
            r = SetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner_, nullptr, nullptr, nullptr);
        }
        SetLastError(r);
        return r == ERROR_SUCCESS;
    }

private:
    PSID owner_ = nullptr;
    PSID givenOwner_ = nullptr;
    PACL dacl_ = nullptr;
    PSECURITY_DESCRIPTOR descriptor_ = nullptr;
    SECURITY_DESCRIPTOR given_ = {};
};

constexpr ACCESS_MASK kFolderAccess = FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
// Others may work in the folder, but not move or delete it while it is held.
constexpr ULONG kFolderShare = FILE_SHARE_READ | FILE_SHARE_WRITE;

}  // namespace

FolderHandle FolderHandle::OpenFor(const std::u16string& path, const Confinement& confinement) {
    FolderHandle folder;
    folder.path_ = path;
    folder.confinement_ = confinement;
    const bool confined = folder.Confined();
    const size_t cut = path.find_last_of(u"\\/");
    if (cut == std::u16string::npos) {
        folder.error_ = ERROR_INVALID_NAME;
        return folder;
    }
    folder.name_ = path.substr(cut + 1);
    const std::u16string parent = path.substr(0, cut);
    std::u16string start = confined ? confinement.noLinksBelow : parent;
    while (start.size() > 3 && (start.back() == u'\\' || start.back() == u'/')) start.pop_back();
    if (confined && (parent.size() < start.size() ||
                     CompareStringOrdinal(W(parent), static_cast<int>(start.size()), W(start),
                                          static_cast<int>(start.size()), TRUE) != CSTR_EQUAL ||
                     (parent.size() > start.size() && parent[start.size()] != u'\\'))) {
        folder.error_ = ERROR_INVALID_NAME;
        return folder;
    }
    // Confined, the walk starts at the folder above the confining one, which
    // its user does not control, so that the confining folder is checked
    // as every step below it is. That folder is opened for its attributes
    // only, which no oplock's holder can stall.
    std::u16string top = start;
    size_t from = parent.size() + 1;  // where the steps below `top` start in `parent`
    if (confined) {
        const size_t up = start.find_last_of(u'\\');
        if (up != std::u16string::npos && up >= 2) {
            top = start.substr(0, up);
            if (top.size() == 2 && top[1] == u':') top += u'\\';
        }
        from = top == start ? start.size() + 1 : up + 1;
    }
    HANDLE h = CreateFileW(W(top), confined ? FILE_READ_ATTRIBUTES : kFolderAccess, kFolderShare, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        folder.error_ = GetLastError();
        return folder;
    }
    folder.where_ = FinalPath(h);
    if (folder.where_.empty()) {
        CloseHandle(h);
        folder.error_ = kErrorLinkInPath;
        return folder;
    }
    // Down one step at a time, each checked before the next is opened
    // through it.
    while (from < parent.size() + 1) {
        size_t to = parent.find(u'\\', from);
        if (to == std::u16string::npos) to = parent.size();
        const std::u16string step = parent.substr(from, to - from);
        from = to + 1;
        if (step.empty()) continue;
        const HANDLE next = OpenRelative(h, step, kFolderAccess, kFolderShare, FILE_OPEN,
                                         FILE_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | ConfinedOptions(confined));
        CloseHandle(h);
        if (next == INVALID_HANDLE_VALUE) {
            folder.error_ = GetLastError();
            return folder;
        }
        h = next;
        if (!IsPlainEntry(h, folder.where_, step, false)) {
            CloseHandle(h);
            folder.error_ = kErrorLinkInPath;
            return folder;
        }
        folder.where_ = FinalPath(h);
    }
    folder.handle_ = N(h);
    return folder;
}

void FolderHandle::Close() {
    if (IsOpen()) CloseHandle(H(std::exchange(handle_, kInvalid)));
}

bool FolderHandle::StillInPlace() const { return IsOpen() && SamePath(FinalPath(H(handle_)), where_); }

bool FolderHandle::Subfolders(std::vector<Subfolder>* folders) const {
    if (!IsOpen()) return false;
    std::vector<unsigned char> buffer(64 * 1024);
    // From the start, whoever listed the handle before.
    FILE_INFO_BY_HANDLE_CLASS next = FileIdBothDirectoryRestartInfo;
    for (;;) {
        if (!GetFileInformationByHandleEx(H(handle_), next, buffer.data(), static_cast<DWORD>(buffer.size())))
            return GetLastError() == ERROR_NO_MORE_FILES;
        next = FileIdBothDirectoryInfo;
        for (size_t at = 0;;) {
            const auto* e = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer.data() + at);
            const std::u16string name(reinterpret_cast<const char16_t*>(e->FileName), e->FileNameLength / sizeof(wchar_t));
            const bool link = (e->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            if ((e->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != u"." && name != u"..")
                folders->push_back({name, link});
            if (e->NextEntryOffset == 0) break;
            at += e->NextEntryOffset;
        }
    }
}

bool FolderHandle::HasFile() const {
    if (!IsOpen()) return false;
    const HANDLE h = OpenRelative(H(handle_), name_, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  FILE_OPEN, FILE_NON_DIRECTORY_FILE | ConfinedOptions(Confined()));
    const CloseOnExit close{h};
    return h != INVALID_HANDLE_VALUE && (!Confined() || IsPlainEntry(h, where_, name_, true));
}

FileHandle FileHandle::OpenIn(const FolderHandle& folder) {
    if (!folder.IsOpen()) {
        SetLastError(folder.Error());
        return FileHandle();
    }
    // Nobody writes it while it is held; the swap replaces it, which needs
    // it shared for deletion (and so lets others rename it: the swap then
    // finds its name leading elsewhere).
    HANDLE h = OpenRelative(H(folder.handle_), folder.Name(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                            FILE_OPEN, FILE_NON_DIRECTORY_FILE | ConfinedOptions(folder.Confined()));
    if (h != INVALID_HANDLE_VALUE && folder.Confined() && !IsPlainEntry(h, folder.where_, folder.Name(), true)) {
        CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
        SetLastError(kErrorLinkInPath);
    }
    return FileHandle(N(h));
}

FileHandle FileHandle::Open(const std::u16string& path, Access access) {
    const FolderHandle folder = FolderHandle::OpenFor(path);
    if (!folder.IsOpen()) {
        SetLastError(folder.Error());
        return FileHandle();
    }
    // A log that tells of every user is for those who may read everything.
    PSECURITY_DESCRIPTOR security = nullptr;
    if (access == Access::AppendAlwaysPrivate &&
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:P(A;;FA;;;SY)(A;;FA;;;BA)", SDDL_REVISION_1,
                                                              &security, nullptr))
        return FileHandle();
    // Writing data too, which a lock asks for: every write lands at the
    // end all the same, as LockAppends moves there under the lock.
    // Several copies of the program may log at once: they share writing.
    // One that holds the file without sharing it usually lets go within
    // moments, so a refusal for sharing is retried a few times. Opened when
    // it is there, else created, never both at once: a link of the name
    // that leads nowhere is not followed to create its target.
    constexpr ACCESS_MASK kAppend = FILE_APPEND_DATA | FILE_WRITE_DATA | FILE_READ_ATTRIBUTES;
    constexpr ULONG kShare = FILE_SHARE_READ | FILE_SHARE_WRITE, kFile = FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT;
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 10; ++attempt) {
        h = OpenRelative(H(folder.handle_), folder.Name(), kAppend, kShare, FILE_OPEN, kFile);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_NOT_FOUND)
            h = OpenRelative(H(folder.handle_), folder.Name(), kAppend, kShare, FILE_CREATE, kFile, 0, security);
        if (h != INVALID_HANDLE_VALUE || GetLastError() != ERROR_SHARING_VIOLATION) break;
        Sleep(10);
    }
    const DWORD why = GetLastError();
    LocalFree(security);
    SetLastError(why);
    // Whoever may write beside the program could point the log of a run as
    // LocalSystem at any file through a link.
    if (h != INVALID_HANDLE_VALUE && !IsPlainEntry(h, folder.where_, folder.Name(), true)) {
        CloseHandle(h);
        h = INVALID_HANDLE_VALUE;
        SetLastError(kErrorLinkInPath);
    }
    return FileHandle(N(h));
}

bool FileHandle::Size(uint64_t* size) const {
    LARGE_INTEGER li;
    if (!IsOpen() || !GetFileSizeEx(H(handle_), &li)) return false;
    *size = static_cast<uint64_t>(li.QuadPart);
    return true;
}

bool FileHandle::Sparse() const {
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    if (!IsOpen() || !GetFileInformationByHandleEx(H(handle_), FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(H(handle_), FileStandardInfo, &standard, sizeof standard))
        return false;
    // Marked sparse, or (not compressed, where that is no waste) holding
    // far fewer bytes on the disk than its size: a hole a file system made
    // without the mark. A small file kept in its folder's record may show
    // none.
    return (basic.FileAttributes & FILE_ATTRIBUTE_SPARSE_FILE) ||
           (!(basic.FileAttributes & FILE_ATTRIBUTE_COMPRESSED) &&
            standard.AllocationSize.QuadPart + 65536 < standard.EndOfFile.QuadPart);
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

namespace {
constexpr DWORD kAppendLockHigh = 0x40000000;  // byte 2^62
}  // namespace

bool FileHandle::LockAppends() {
    for (int attempt = 0; IsOpen() && attempt < 50; ++attempt) {
        OVERLAPPED at = {};
        at.OffsetHigh = kAppendLockHigh;
        if (LockFileEx(H(handle_), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
            const LARGE_INTEGER none = {};
            return SetFilePointerEx(H(handle_), none, nullptr, FILE_END) != 0;
        }
        if (GetLastError() != ERROR_LOCK_VIOLATION) return false;
        Sleep(10);
    }
    return false;
}

void FileHandle::UnlockAppends() {
    if (IsOpen()) UnlockFile(H(handle_), 0, kAppendLockHigh, 1, 0);
}

void FileHandle::Close() {
    if (IsOpen()) CloseHandle(H(std::exchange(handle_, kInvalid)));
}

uint32_t LastFileError() { return GetLastError(); }

bool NamesNoFile(uint32_t error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND || error == kIsAFolderError;
}

bool HeldByAnother(uint32_t error) {
    return error == ERROR_SHARING_VIOLATION || error == kOplockBreakError;
}

// Large pages need a privilege users do not have.
void AdviseWholeFileBuffer(void*, size_t) {}

namespace {

bool FileId(HANDLE h, uint64_t* volume, uint64_t* index) {
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(h, &info)) return false;
    *volume = info.dwVolumeSerialNumber;
    *index = (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

using SetInformationFile = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);

SetInformationFile NtSetInformation() {
    return reinterpret_cast<SetInformationFile>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtSetInformationFile")));
}

}  // namespace

bool ReplacementFile::CreateTemporary() {
    const HANDLE folder = H(folder_.handle_);
    FileSecurity security;
    DWORD attributes = 0;
    if (targetExists_) {
        // All of it from the handle the file was read through, which
        // nobody could write meanwhile.
        const HANDLE held = H(folder_.File().handle_);
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(held, &info) || !FileId(held, &heldDevice_, &heldIndex_)) return false;
        if (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
            SetLastError(ERROR_ACCESS_DENIED);
            return false;
        }
        if (!security.ReadFrom(held)) return false;
        attributes = info.dwFileAttributes &
                     (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
    }
    if (!folder_.OwnerSid().empty() && !security.OwnerFrom(folder_.OwnerSid())) return false;
    // Beside the target, so that the swap is a rename within one folder;
    // created, never opened: a name planted beforehand makes it fail.
    HANDLE h = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 8 && h == INVALID_HANDLE_VALUE; ++attempt) {
        tempName_ = folder_.Name() + u".~" + fileio_platform::UniqueTag() + u".tmp";
        h = OpenRelative(folder, tempName_, GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_OWNER, 0, FILE_CREATE,
                         FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | ConfinedOptions(folder_.Confined()), attributes,
                         security.Given());
        if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
            break;
    }
    if (h == INVALID_HANDLE_VALUE) {
        tempName_.clear();
        return false;
    }
    file_ = FileHandle(N(h));
    return security.GiveOwnerTo(h);
}

bool ReplacementFile::NameLeadsToHeld() const {
    if (!targetExists_) return true;
    // Asking for attributes only, which breaks no oplock and meets no
    // sharing mode.
    const HANDLE h = OpenRelative(H(folder_.handle_), folder_.Name(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN,
                                  FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | ConfinedOptions(folder_.Confined()));
    if (h == INVALID_HANDLE_VALUE) return false;
    const CloseOnExit close{h};
    uint64_t volume = 0, index = 0;
    if (!FileId(h, &volume, &index)) return false;
    if (volume == heldDevice_ && index == heldIndex_) return true;
    SetLastError(kErrorFileReplaced);
    return false;
}

bool ReplacementFile::SwapIn() {
    if (!NameLeadsToHeld()) return false;
    // The temporary file's own handle renamed over the target, within the
    // held folder: no path is looked up again. The target is held open, so
    // the rename replaces it as POSIX does, which leaves open handles
    // valid; a system or file system without that (before Windows 10
    // 1809, FAT) gets the held file let go first, and the name checked
    // again.
    struct RenameInformation {
        ULONG Flags;  // ReplaceIfExists, a BOOLEAN, in the first byte of the older form
        HANDLE RootDirectory;
        ULONG FileNameLength;
        WCHAR FileName[1];
    };
    constexpr ULONG kFileRenameInformation = 10, kFileRenameInformationEx = 65;
    constexpr ULONG kReplaceIfExists = 1, kPosixSemantics = 2;
    const SetInformationFile set = NtSetInformation();
    if (!set) return false;
    const size_t nameBytes = folder_.Name().size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(offsetof(RenameInformation, FileName) + nameBytes + sizeof(wchar_t));
    RenameInformation* rename = reinterpret_cast<RenameInformation*>(buffer.data());
    rename->Flags = targetExists_ ? kReplaceIfExists | kPosixSemantics : 0;
    rename->RootDirectory = H(folder_.handle_);
    rename->FileNameLength = static_cast<ULONG>(nameBytes);
    std::memcpy(rename->FileName, folder_.Name().c_str(), nameBytes);
    IO_STATUS_BLOCK io = {};
    NTSTATUS status =
        set(H(file_.handle_), &io, rename, static_cast<ULONG>(buffer.size()), kFileRenameInformationEx);
    if (status == static_cast<NTSTATUS>(0xC0000003) || status == static_cast<NTSTATUS>(0xC0000002) ||
        status == static_cast<NTSTATUS>(0xC000000D) || status == static_cast<NTSTATUS>(0xC00000BB)) {
        // STATUS_INVALID_INFO_CLASS, _NOT_IMPLEMENTED, _INVALID_PARAMETER, _NOT_SUPPORTED
        folder_.File().Close();
        if (!NameLeadsToHeld()) return false;
        rename->Flags = targetExists_ ? TRUE : FALSE;
        status = set(H(file_.handle_), &io, rename, static_cast<ULONG>(buffer.size()), kFileRenameInformation);
    }
    if (status < 0) SetLastError(RtlNtStatusToDosError(status));
    return status >= 0;
}

void ReplacementFile::RemoveTemporary() {
    // Through its own handle, never by name: the name may lead elsewhere by now.
    FILE_DISPOSITION_INFO remove = {TRUE};
    if (file_.IsOpen()) SetFileInformationByHandle(H(file_.handle_), FileDispositionInfo, &remove, sizeof remove);
}

namespace fileio_platform {

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
