#pragma once
// The file access the text-file layer and the log stand on: a small handle
// class with one Win32 and one POSIX implementation. Paths are UTF-16 and go
// to the platform's Unicode API, so every user folder name works.
#include <cstddef>
#include <cstdint>
#include <string>
#ifndef _WIN32
#include <cerrno>
#endif

class FileHandle {
public:
    enum class Access {
        ReadExisting,   // read; others may read and write meanwhile
        AppendAlways,   // append at the end; created when missing
        CreateNew,      // write a file that must not exist yet; nobody else may open it meanwhile
    };

    FileHandle() = default;
    ~FileHandle();
    FileHandle(FileHandle&& other) noexcept;
    FileHandle& operator=(FileHandle&& other) noexcept;
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    static FileHandle Open(const std::u16string& path, Access access);

    bool IsOpen() const { return handle_ != kInvalid; }
    // False when the size cannot be had.
    bool Size(uint64_t* size) const;
    // Bytes actually read; 0 at the end or on failure. LastFileError() is 0
    // afterwards unless a read failed.
    size_t Read(void* buffer, size_t count);
    // True only when every byte was written.
    bool Write(const void* data, size_t count);
    // True when everything written is on the disk.
    bool Flush();
    void Close();

private:
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

// New content for an existing or missing file, written to a temporary file
// in the same folder and swapped in whole once complete, so the file never
// holds half of the new content: it has either its old content or all of
// the new. The file keeps its attributes and security settings.
class ReplacementFile {
public:
    // Not open when the target cannot be replaced: a folder, a read-only
    // file, a file another program holds without sharing writes or deletion,
    // a missing folder.
    explicit ReplacementFile(const std::u16string& target);
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
    void Discard();

    std::u16string target_;
    std::u16string temp_;
    FileHandle file_;
    bool targetExists_ = false;
    bool failed_ = false;
    uint32_t error_ = 0;
};

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
#else
inline constexpr uint32_t kErrorNoMemory = ENOMEM;
inline constexpr uint32_t kErrorWriteFault = EIO;
inline constexpr uint32_t kErrorReadFault = EIO;
inline constexpr uint32_t kErrorTooLarge = EFBIG;
inline constexpr uint32_t kErrorNoTranslation = EILSEQ;
#endif

// Test hook for the failure of a write midway: the nth FileHandle::Write
// from now (1 for the next) writes half of its bytes and reports failure.
// 0 switches it off.
void FailFileWriteForTesting(int nth);

// The separator between a folder and a name on this platform.
#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif
