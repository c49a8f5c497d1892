#pragma once
// The file access the text-file layer and the log stand on: a small handle
// class with one Win32 and one POSIX implementation. Paths are UTF-16 and go
// to the platform's Unicode API, so every user folder name works.
#include <cstddef>
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>
#include <utility>
#ifndef _WIN32
#include <cerrno>
#endif

class FolderHandle;

class FileHandle {
public:
    enum class Access {
        AppendAlways,   // append at the end; created when missing
        // The same, created readable by SYSTEM and Administrators alone (a
        // protected DACL of its own), whatever the folder would give it.
        AppendAlwaysPrivate,
    };

    FileHandle() = default;
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    // A file that is a link, or has another name beside this one (a hard
    // link), is refused with kErrorLinkInPath: whoever can write the folder
    // could otherwise point the writes at any file of the machine.
    static FileHandle Open(const std::u16string& path, Access access);

    bool IsOpen() const { return handle_ != kInvalid; }
    // False when the size cannot be had.
    bool Size(uint64_t* size) const;
    // True when the file takes much less room on the disk than its size
    // says (a sparse file, or a hole the platform made): read whole, it
    // would cost far more than it cost its maker.
    bool Sparse() const;
    // Bytes actually read; 0 at the end or on failure. LastFileError() is 0
    // afterwards unless a read failed.
    size_t Read(void* buffer, size_t count);
    // True only when every byte was written.
    bool Write(const void* data, size_t count);
    // True when everything written is on the disk.
    bool Flush();
    // Taken by every appending copy of the program from reading the size to
    // the end of its write, so that two logging at once cannot both find the
    // file empty and run their entries together. The lock is on a byte far
    // past the end, so readers are not held up. Waits a moment (half a
    // second) for another holder; false when it is not let go by then.
    bool LockAppends();
    void UnlockAppends();
    void Close();

private:
    friend class FolderHandle;
    friend class ReplacementFile;
    // The folder's file, for reading: see FolderHandle::File.
    static FileHandle OpenIn(const FolderHandle& folder);
#ifdef _WIN32
    using Native = intptr_t;  // a HANDLE; INVALID_HANDLE_VALUE is -1
    static constexpr Native kInvalid = -1;
#else
    using Native = int;
    static constexpr Native kInvalid = -1;
#endif
    explicit FileHandle(Native h) : handle_(h) {}
    Native handle_ = kInvalid;
};

// How far a run trusts the folders it goes through. A user's own run
// trusts them all; a run for other users (SYSTEM, every profile) goes
// through folders those users control.
struct Confinement {
    // A folder the path lies below (another user's profile folder): from
    // it down no step may be a link (junction, mount point or symbolic
    // link), and every open there asks not to wait for an oplock's
    // holder. Empty follows links, as a user's own run does (a User Data
    // moved to another drive).
    std::u16string noLinksBelow;
    // The SID, as text, of the user whose files these are: the owner every
    // file written there gets. Empty keeps the old file's owner.
    std::u16string ownerSid;

    Confinement() = default;
    // A folder alone, as the text it always was: no owner given.
    Confinement(std::u16string below, std::u16string owner = {})
        : noLinksBelow(std::move(below)), ownerSid(std::move(owner)) {}
};

// The folder that holds a file, open for as long as the file is read and
// replaced: both go through this handle, and the folder is held without
// sharing deletion, so it cannot be renamed or swapped for another
// meanwhile. Confined to a folder above it, the folder is reached from
// the one above that folder, one step at a time, each opened without
// following a link and checked to be where its name says.
class FolderHandle {
public:
    // The folder of `path`'s last component.
    static FolderHandle OpenFor(const std::u16string& path, const Confinement& confinement = {});

    FolderHandle() = default;
    ~FolderHandle();
    FolderHandle(FolderHandle&& other) noexcept;
    FolderHandle& operator=(FolderHandle&& other) noexcept;
    FolderHandle(const FolderHandle&) = delete;
    FolderHandle& operator=(const FolderHandle&) = delete;

    bool IsOpen() const { return handle_ != kInvalid; }
    // Why it is not open: kErrorLinkInPath for a link on the way.
    uint32_t Error() const { return error_; }
    bool Confined() const { return !confinement_.noLinksBelow.empty(); }
    const std::u16string& OwnerSid() const { return confinement_.ownerSid; }
    // The file's name in the folder, and its whole path.
    const std::u16string& Name() const { return name_; }
    const std::u16string& Path() const { return path_; }
    // False when the folder was moved since it was opened: its path then
    // leads somewhere else, and nothing may be written for it.
    bool StillInPlace() const;
    // True when the name leads to a file (not a folder) as the walk would
    // reach it: never through a link where none may be. Looks, opens
    // nothing for reading.
    bool HasFile() const;

    // The folder's file, opened for reading at the first call and held
    // until the folder is closed, sharing reading and, on Windows, the
    // deletion the swap needs, never writing: a replacement takes owner,
    // permissions and attributes from this handle and swaps in only while
    // the name still leads to its file. In a confined folder it is opened
    // without following a link and refused, with kErrorLinkInPath, when it
    // is one, has more than one name, or is not where the folder says.
    // Not open when it cannot be: FileError() says why.
    FileHandle& File() const;
    uint32_t FileError() const { return fileError_; }

    // The folders in this folder, listed through its handle, in no set
    // order. A link (junction, mount point, symbolic link) is listed as one
    // and, in a confined folder, whatever it leads to, without being
    // followed. False when the folder cannot be listed.
    struct Subfolder {
        std::u16string name;
        bool link = false;
    };
    bool Subfolders(std::vector<Subfolder>* folders) const;

private:
    friend class FileHandle;
    friend class ReplacementFile;
    void Close();
#ifdef _WIN32
    using Native = intptr_t;
#else
    using Native = int;
#endif
    static constexpr Native kInvalid = -1;
    Native handle_ = kInvalid;
    uint32_t error_ = 0;
    Confinement confinement_;
    std::u16string name_, path_;
    std::u16string where_;  // where the platform says the folder is, as opened
    // The file as first opened: opening it is part of looking at the
    // folder, which a const folder allows.
    mutable FileHandle file_;
    mutable uint32_t fileError_ = 0;
    mutable bool fileTried_ = false;
};

// New content for the folder's file, written to a temporary file in the
// same folder and swapped in whole once complete, so the file never holds
// half of the new content: it has either its old content or all of the
// new. The file is the one the folder holds (FolderHandle::File): the new
// one takes its attributes, permissions and owner (in a confined folder
// given an owner, that one), and it is swapped in only while the name
// still leads to that file. A folder that holds no file because there is
// none gets one; a file that went away after it was held is not made
// again.
class ReplacementFile {
public:
    // Not open when the target cannot be replaced: a folder, a read-only
    // file, a file another program holds without sharing writes, a missing
    // folder, a link where none may be.
    explicit ReplacementFile(const FolderHandle& folder);
    // Discards the temporary file unless the content was committed.
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    bool IsOpen() const { return file_.IsOpen(); }
    bool Write(const void* data, size_t count);
    // The platform's code for the first step that failed (opening included),
    // 0 while none has.
    uint32_t Error() const { return error_; }
    // Flushes and swaps the new content in. False, the target as it was and
    // the temporary file gone when any step, earlier writes included, failed.
    bool Commit();

private:
    // Each platform's: the temporary file made beside the target, with the
    // target's attributes, owner and permissions; swapped in once the name
    // is found to lead to the held file still; removed.
    bool CreateTemporary();
    // False, with the reason as the last error, unless the target's name
    // leads to the file the folder holds (or, where there was none, to
    // nothing).
    bool NameLeadsToHeld() const;
    bool SwapIn();
    void RemoveTemporary();
    void Discard();

    const FolderHandle& folder_;
    FileHandle file_;
    std::u16string tempName_;
    bool targetExists_ = false;
    uint64_t heldDevice_ = 0, heldIndex_ = 0;  // the held file's identity
    bool failed_ = false;
    uint32_t error_ = 0;
};

// Work that may be given up on while it runs (a profile's, in a run over
// every profile) runs on a thread whose replacements pass this gate just
// before their swap: once it is closed, none goes ahead (kErrorCancelled).
class SwapGate {
public:
    // False when a swap was already under way, which may still land.
    bool Close();

private:
    friend class ReplacementFile;
    std::atomic<int> state_{0};
};

// The gate the calling thread's replacements pass; nullptr for none.
void PassSwapsThrough(SwapGate* gate);

// Why the last file call on this thread failed: the Win32 error code, errno
// natively. Read it straight after the failed call; later calls change it.
uint32_t LastFileError();

// A hint that a buffer holds a whole large file: where the platform pages
// memory in large pages on request, a read into it takes a fault per
// large page instead of one per small page. Nothing else changes.
void AdviseWholeFileBuffer(void* data, size_t size);

// Codes for failures the platform has no call to report.
#ifdef _WIN32
inline constexpr uint32_t kErrorNoMemory = 8;        // ERROR_NOT_ENOUGH_MEMORY
inline constexpr uint32_t kErrorWriteFault = 29;     // ERROR_WRITE_FAULT
inline constexpr uint32_t kErrorReadFault = 30;      // ERROR_READ_FAULT
inline constexpr uint32_t kErrorTooLarge = 223;      // ERROR_FILE_TOO_LARGE
inline constexpr uint32_t kErrorNoTranslation = 1113;  // ERROR_NO_UNICODE_TRANSLATION
inline constexpr uint32_t kErrorLinkInPath = 681;      // ERROR_STOPPED_ON_SYMLINK
inline constexpr uint32_t kErrorCancelled = 1223;      // ERROR_CANCELLED
inline constexpr uint32_t kErrorFileReplaced = 1006;   // ERROR_FILE_INVALID
#else
inline constexpr uint32_t kErrorNoMemory = ENOMEM;
inline constexpr uint32_t kErrorWriteFault = EIO;
inline constexpr uint32_t kErrorReadFault = EIO;
inline constexpr uint32_t kErrorTooLarge = EFBIG;
inline constexpr uint32_t kErrorNoTranslation = EILSEQ;
inline constexpr uint32_t kErrorLinkInPath = ELOOP;
inline constexpr uint32_t kErrorCancelled = ECANCELED;
inline constexpr uint32_t kErrorFileReplaced = ESTALE;
#endif
// kErrorFileReplaced: the name no longer leads to the file that was read.

// True for the codes of a name that leads to no file: nothing there, a
// folder on the way missing, or a folder where the file should be.
bool NamesNoFile(uint32_t error);
// True for the codes of a file or folder another program holds: opened
// without sharing what is asked, or under an oplock whose break is under
// way. It may be let go by the next run.
bool HeldByAnother(uint32_t error);

// Test hook for the failure of a write midway: the nth FileHandle::Write
// from now (1 for the next) writes half of its bytes and reports failure.
// 0 switches it off.
void FailFileWriteForTesting(int nth);

// Test hook for whatever another program may do between a replacement's
// last write and its swap (rename the folder away, put a link in its
// place); nullptr for nothing.
void BeforeSwapForTesting(void (*hook)());

// The separator between a folder and a name on this platform.
#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif
