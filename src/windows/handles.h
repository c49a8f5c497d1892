#pragma once
// Owning wrappers for Win32 handles in the shape of wil's unique_any: the
// type knows its close function and its invalid value, and the wrapper
// closes on scope exit, moves but never copies.
#include <windows.h>

#include <utility>

template <typename T, auto Close, T Invalid = T()>
class unique_any {
public:
    unique_any() = default;
    explicit unique_any(T value) : value_(value) {}
    ~unique_any() { reset(); }
    unique_any(unique_any&& other) noexcept : value_(std::exchange(other.value_, Invalid)) {}
    unique_any& operator=(unique_any&& other) noexcept {
        if (this != &other) reset(std::exchange(other.value_, Invalid));
        return *this;
    }
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;

    explicit operator bool() const { return value_ != Invalid; }
    T get() const { return value_; }
    T release() { return std::exchange(value_, Invalid); }
    void reset(T value = Invalid) {
        T old = std::exchange(value_, value);
        if (old != Invalid) Close(old);
    }

private:
    T value_ = Invalid;
};

// Process, thread and event handles use nullptr for "none".
using unique_handle = unique_any<HANDLE, &CloseHandle>;
