#pragma once
// Owns one handle of an operating-system resource and releases it through
// the function given as template argument, once, when it goes out of scope
// or is reset. Movable, not copyable. Works for any handle type that is a
// pointer or an integer: UniqueAny<HFONT, DeleteObject>, UniqueAny<HICON,
// DestroyIcon>, UniqueAny<HANDLE, CloseHandle, INVALID_HANDLE_VALUE>... (the
// last needs a constant; pass a small function returning it when the value
// is not a constant expression).
#include <type_traits>
#include <utility>

template <typename T, auto Close, auto Invalid = T{}>
class UniqueAny {
public:
    UniqueAny() noexcept : value_(InvalidValue()) {}
    explicit UniqueAny(T value) noexcept : value_(value) {}
    ~UniqueAny() { reset(); }

    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    T get() const noexcept { return value_; }
    explicit operator bool() const noexcept { return value_ != InvalidValue(); }

    // Gives up ownership without closing.
    T release() noexcept {
        T value = value_;
        value_ = InvalidValue();
        return value;
    }

    // Closes what is held (if anything) and takes `value` instead.
    void reset(T value = InvalidValue()) noexcept {
        T old = value_;
        value_ = value;
        if (old != InvalidValue()) Close(old);
    }

private:
    static T InvalidValue() noexcept {
        if constexpr (std::is_invocable_r_v<T, decltype(Invalid)>)
            return Invalid();
        else
            return static_cast<T>(Invalid);
    }

    T value_;
};
