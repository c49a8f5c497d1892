#include "textfile/fileio.h"

#include <windows.h>

#include <utility>

namespace {
const wchar_t* W(const std::u16string& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
HANDLE H(intptr_t h) { return reinterpret_cast<HANDLE>(h); }
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
    HANDLE h = INVALID_HANDLE_VALUE;
    switch (access) {
    case Access::ReadExisting:
        h = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
        break;
    case Access::AppendAlways:
        // FILE_APPEND_DATA alone makes every write land at the current end,
        // so nothing already in the file can be overwritten.
        h = CreateFileW(W(path), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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

bool FileHandle::SeekTo(uint64_t offset) {
    LARGE_INTEGER li;
    li.QuadPart = static_cast<LONGLONG>(offset);
    return IsOpen() && SetFilePointerEx(H(handle_), li, nullptr, FILE_BEGIN);
}

size_t FileHandle::Read(void* buffer, size_t count) {
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
    size_t total = 0;
    while (IsOpen() && total < count) {
        DWORD chunk = static_cast<DWORD>(count - total > 0x40000000 ? 0x40000000 : count - total);
        DWORD put = 0;
        if (!WriteFile(H(handle_), static_cast<const char*>(data) + total, chunk, &put, nullptr) || put == 0)
            return false;
        total += put;
    }
    return IsOpen();
}

bool FileHandle::Flush() { return IsOpen() && FlushFileBuffers(H(handle_)); }

void FileHandle::Close() {
    if (IsOpen()) CloseHandle(H(std::exchange(handle_, kInvalid)));
}
