#include <algorithm>

#include "localstate/regex.h"

namespace regex {
namespace {

// A replacement read once: literal units, or a group (-1 for none) to copy.
struct Piece {
    std::u16string_view text;
    int group;
};

// $1..$9 name groups (a pattern has no more than nine); a $ before
// anything else stays as it is.
bool ParseReplacement(std::u16string_view r, int groupCount, std::vector<Piece>* out) {
    size_t lit = 0;
    for (size_t i = 0; i < r.size(); ++i) {
        if (r[i] >= 0x80) return false;
        if (r[i] != u'$' || i + 1 >= r.size()) continue;
        const char16_t n = r[i + 1];
        if (n == u'$' || n == u'&' || n == u'`' || n == u'\'') return false;
        if (n < u'1' || n > u'0' + groupCount) continue;
        out->push_back({r.substr(lit, i - lit), -1});
        out->push_back({{}, n - u'0'});
        lit = ++i + 1;
    }
    out->push_back({r.substr(lit), -1});
    return true;
}

}  // namespace

template <class Unit>
void EditText<Unit>::Apply(const std::vector<Edit>& edits, const std::vector<Unit>& inserted) {
    // Where the text after each edit goes, relative to where it is: in place
    // when every part moves the same way, else through a new buffer.
    bool right = true, left = true;
    size_t grown = size_;
    for (const Edit& e : edits) {
        grown = grown - (e.end - e.start) + e.length;
        right = right && grown >= size_;
        left = left && grown <= size_;
    }
    const Unit* in = inserted.data();
    if ((!right && !left) || offset_ + grown > capacity_) {
        // Reserved once, with room for the rules still to come.
        const size_t capacity = offset_ + grown + grown / 64 + 4096;
        std::unique_ptr<char16_t[]> bigger(new char16_t[(capacity * sizeof(Unit) + 1) / 2]);
        std::memcpy(bigger.get(), storage_.get(), offset_ * sizeof(Unit));
        Unit* d = reinterpret_cast<Unit*>(bigger.get()) + offset_;
        size_t from = 0;
        for (const Edit& e : edits) {
            d = std::copy(Data() + from, Data() + e.start, d);
            d = std::copy(in + e.from, in + e.from + e.length, d);
            from = e.end;
        }
        std::copy(Data() + from, Data() + size_, d);
        storage_ = std::move(bigger);
        capacity_ = capacity;
    } else if (left) {
        Unit* d = Mutable();
        size_t to = 0, from = 0;
        for (const Edit& e : edits) {
            std::memmove(d + to, d + from, (e.start - from) * sizeof(Unit));
            to += e.start - from;
            std::copy(in + e.from, in + e.from + e.length, d + to);
            to += e.length;
            from = e.end;
        }
        std::memmove(d + to, d + from, (size_ - from) * sizeof(Unit));
    } else {
        Unit* d = Mutable();
        size_t to = grown, tail = size_;
        for (size_t k = edits.size(); k > 0; --k) {
            const Edit& e = edits[k - 1];
            to -= tail - e.end;
            std::memmove(d + to, d + e.end, (tail - e.end) * sizeof(Unit));
            to -= e.length;
            std::copy(in + e.from, in + e.from + e.length, d + to);
            tail = e.start;
        }
    }
    size_ = grown;
}

template <class Unit>
bool ReplaceAll(EditText<Unit>& text, std::u16string_view pattern, std::u16string_view replacement) {
    const std::optional<Program> p = Compile(pattern);
    std::vector<Piece> pieces;
    if (!p || !ParseReplacement(replacement, p->groupCount, &pieces)) return false;
    const Units<Unit> t = text.View();
    Searcher<Unit> searcher(*p, t);
    std::vector<typename EditText<Unit>::Edit> edits;
    std::vector<Unit> inserted;
    bool changed = false;
    Groups g;
    for (size_t from = 0; from <= t.size && searcher.Search(from, &g);) {
        const size_t made = inserted.size();
        for (const Piece& piece : pieces) {
            if (piece.group < 0) {
                inserted.insert(inserted.end(), piece.text.begin(), piece.text.end());
            } else {
                const size_t s = g[2 * static_cast<size_t>(piece.group)], e = g[2 * static_cast<size_t>(piece.group) + 1];
                if (s != kNoPart && e != kNoPart) inserted.insert(inserted.end(), t.data + s, t.data + e);
            }
        }
        const size_t length = inserted.size() - made;
        changed = changed || length != g[1] - g[0] ||
                  !std::equal(inserted.begin() + static_cast<std::ptrdiff_t>(made), inserted.end(), t.data + g[0]);
        edits.push_back({g[0], g[1], made, length});
        // After an empty match the search moves on by one unit.
        from = g[1] > g[0] ? g[1] : g[1] + 1;
    }
    if (changed) text.Apply(edits, inserted);
    return changed;
}

template class EditText<uint8_t>;
template class EditText<char16_t>;
template bool ReplaceAll(EditText<uint8_t>&, std::u16string_view, std::u16string_view);
template bool ReplaceAll(EditText<char16_t>&, std::u16string_view, std::u16string_view);

}  // namespace regex
