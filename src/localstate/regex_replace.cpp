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

namespace {

// Units written from a pointer on, as Emit writes to a string or vector.
template <class Unit>
struct Sink {
    Unit* d;
    Unit* end() const { return d; }
    template <class It>
    void insert(Unit*, It first, It last) {
        d = std::copy(first, last, d);
    }
};

// Every match of a replace-all, found on the text as it is: per match its
// start and end, then where each group the replacement names lies.
template <class Unit>
struct Matches {
    std::vector<Piece> pieces;
    std::vector<size_t> spans;
    size_t stride = 2, outSize = 0, insertedSize = 0;
    bool changed = false;

    const size_t* Span(size_t k) const { return &spans[k * stride]; }
    size_t Count() const { return spans.size() / stride; }

    // Appends the match's replacement to `out`, a string or vector of
    // units, a run at a time.
    template <class Out>
    void Emit(const size_t* span, const Unit* t, Out* out) const {
        const size_t* g = span + 2;
        for (const Piece& piece : pieces) {
            if (piece.group < 0) {
                out->insert(out->end(), piece.text.begin(), piece.text.end());
            } else {
                if (g[0] != kNoPart && g[1] != kNoPart) out->insert(out->end(), t + g[0], t + g[1]);
                g += 2;
            }
        }
    }

    // False for a pattern that does not compile or a replacement refused.
    bool Find(std::u16string_view pattern, std::u16string_view replacement, Units<Unit> t) {
        const std::shared_ptr<const Program> p = CompileCached(pattern);
        if (!p || !ParseReplacement(replacement, p->groupCount, &pieces)) return false;
        for (const Piece& piece : pieces) stride += piece.group < 0 ? 0 : 2;
        Searcher<Unit> searcher(*p, t);
        Groups g;
        for (size_t from = 0; from <= t.size && searcher.Search(from, &g);) {
            const size_t at = spans.size();
            spans.push_back(g[0]);
            spans.push_back(g[1]);
            size_t length = 0;
            bool same = true;
            size_t cursor = g[0];
            auto compare = [&](const auto* b, size_t n) {
                length += n;
                if (!same || cursor + n > g[1]) {
                    same = false;
                    return;
                }
                for (size_t i = 0; i < n && same; ++i) same = static_cast<uint32_t>(b[i]) == t[cursor + i];
                cursor += n;
            };
            for (const Piece& piece : pieces) {
                if (piece.group < 0) {
                    compare(piece.text.data(), piece.text.size());
                    continue;
                }
                size_t gs = g[2 * static_cast<size_t>(piece.group)], ge = g[2 * static_cast<size_t>(piece.group) + 1];
                if (gs == kNoPart || ge == kNoPart) gs = ge = kNoPart;
                spans.push_back(gs);
                spans.push_back(ge);
                if (gs != kNoPart) compare(t.data + gs, ge - gs);
            }
            changed = changed || !same || cursor != g[1];
            outSize += length - (spans[at + 1] - spans[at]);
            insertedSize += length;
            // After an empty match the search moves on by one unit.
            from = g[1] > g[0] ? g[1] : g[1] + 1;
        }
        outSize += t.size;
        return true;
    }
};

}  // namespace

template <class Unit>
bool ReplaceAll(EditText<Unit>& text, std::u16string_view pattern, std::u16string_view replacement) {
    const Units<Unit> t = text.View();
    Matches<Unit> m;
    if (!m.Find(pattern, replacement, t) || !m.changed) return false;
    if (!text.Fits(m.outSize)) {
        // Growing past the buffer: one pass straight into the new one.
        text.Rebuild(m.outSize, [&](Unit* d) {
            Sink<Unit> out{d};
            size_t from = 0;
            for (size_t k = 0; k < m.Count(); ++k) {
                const size_t* span = m.Span(k);
                out.insert(out.end(), t.data + from, t.data + span[0]);
                m.Emit(span, t.data, &out);
                from = span[1];
            }
            out.insert(out.end(), t.data + from, t.data + t.size);
        });
        return true;
    }
    std::vector<typename EditText<Unit>::Edit> edits;
    std::vector<Unit> inserted;
    edits.reserve(m.Count());
    inserted.reserve(m.insertedSize);
    for (size_t k = 0; k < m.Count(); ++k) {
        const size_t* span = m.Span(k);
        const size_t made = inserted.size();
        m.Emit(span, t.data, &inserted);
        edits.push_back({span[0], span[1], made, inserted.size() - made});
    }
    text.Apply(edits, inserted);
    return true;
}

bool ReplaceAll(std::u16string_view text, std::u16string_view pattern, std::u16string_view replacement,
                std::u16string* out) {
    const Units<char16_t> t{text.data(), text.size()};
    Matches<char16_t> m;
    if (!m.Find(pattern, replacement, t) || !m.changed) return false;
    out->clear();
    out->reserve(m.outSize);
    size_t from = 0;
    for (size_t k = 0; k < m.Count(); ++k) {
        const size_t* span = m.Span(k);
        out->append(text.data() + from, span[0] - from);
        m.Emit(span, t.data, out);
        from = span[1];
    }
    out->append(text.data() + from, text.size() - from);
    return true;
}

template class EditText<uint8_t>;
template class EditText<char16_t>;
template bool ReplaceAll(EditText<uint8_t>&, std::u16string_view, std::u16string_view);
template bool ReplaceAll(EditText<char16_t>&, std::u16string_view, std::u16string_view);

}  // namespace regex
