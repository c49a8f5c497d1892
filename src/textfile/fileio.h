#pragma once
// The file access the text-file layer and the log stand on: a small handle
// class with one Win32 and one POSIX implementation. Paths are UTF-16 and go
// to the platform's Unicode API, so every user folder name works.
#include <cstddef>
#include <cstdint>
#include <string>

class FileHandle {
public:
    enum class Access {
        ReadExisting,   // read; others may read and write meanwhile
        AppendAlways,   // append at the end; created when missing
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
    bool SeekTo(uint64_t offset);
    // Bytes actually read; 0 at the end or on failure.
    size_t Read(void* buffer, size_t count);
    // True only when every byte was written.
    bool Write(const void* data, size_t count);
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

// The separator between a folder and a name on this platform.
#ifdef _WIN32
inline constexpr char16_t kPathSeparator = u'\\';
#else
inline constexpr char16_t kPathSeparator = u'/';
#endif
