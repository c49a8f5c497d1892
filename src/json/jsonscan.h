#pragma once
// JSON text (RFC 8259) checked and walked where it lies: where each value and
// member starts and ends, in bytes, so that edits can be spliced into a
// file's own bytes and everything else stays as it was. Nothing is built:
// the check keeps one byte per level of nesting on the stack, and a walk
// skips what it does not look into.
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace json {

// The browsers' reader refuses text nested deeper than this (200 objects or
// arrays inside one another pass, 201 do not); so does this one.
inline constexpr int kMaxDepth = 200;

enum class Kind : unsigned char { Object, Array, String, Number, True, False, Null };

// A value's bytes in the text: [begin, end).
struct Value {
    Kind kind = Kind::Null;
    size_t begin = 0, end = 0;
};

// Where the large objects and arrays of a text end, as Scan found them: a
// walk passes over each at once instead of byte by byte, so that walking
// down a path costs its members' keys, not the bytes below them again.
class Ends {
public:
    // Large: `largeFrom` bytes or more.
    explicit Ends(size_t largeFrom = 1 << 16) : largeFrom_(largeFrom) {}
    // The end of the object or array that begins at `begin`, 0 when it is
    // not a large one.
    size_t Of(size_t begin) const;

private:
    friend bool Scan(std::string_view text, struct Value* top, Ends* ends);
    size_t largeFrom_;
    std::vector<std::pair<size_t, size_t>> spans_;  // by where they begin
};

// True when `text` is one JSON value with nothing but whitespace around it,
// as strictly as the browsers read their settings files: UTF-8 (a mark is
// the caller's to remove), no comments, no trailing commas, no lone
// surrogate escape, no number a double cannot hold (1e400); *top is that
// value. Time linear in the text. With `ends`, where its large objects and
// arrays end, for walks over it.
bool Scan(std::string_view text, Value* top, Ends* ends = nullptr);

// One member of an object: the key with its quotes, and the value.
struct Member {
    size_t keyBegin = 0, keyEnd = 0;
    Value value;
};

// The members of an object of a text Scan accepted, in the order they stand.
class Members {
public:
    Members(std::string_view text, const Value& object, const Ends* ends = nullptr);
    bool Next(Member* member);

private:
    std::string_view text_;
    size_t at_;
    const Ends* ends_;
};

// True when the key, its escapes decoded, is `key` (UTF-8).
bool KeyIs(std::string_view text, const Member& member, std::string_view key);

// The value of the object's member `key` (escapes decoded). Of two members
// with the same key the last one counts, as the browsers read it. False
// when there is none.
bool Find(std::string_view text, const Value& object, std::string_view key, Value* value, const Ends* ends = nullptr);

// True when the object has no member.
bool IsEmptyObject(std::string_view text, const Value& object);

}  // namespace json
