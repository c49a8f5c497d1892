#include <algorithm>

#include "regex/regex.h"

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
    // The text between edits moves by what the edits before it added or
    // took away: a part moving left goes before the parts after it, a run
    // of parts moving right goes back to front, each part once. A part's
    // new place ends where the next edit's text goes, so it never reaches
    // a part not yet moved. The edits' own texts come from elsewhere and go
    // in last, into the gaps the moves left.
    Unit* d = Mutable();
    const size_t parts = edits.size() + 1;
    auto partStart = [&](size_t k) { return k == 0 ? 0 : edits[k - 1].end; };
    auto partEnd = [&](size_t k) { return k == edits.size() ? size_ : edits[k].start; };
    auto move = [&](size_t k, size_t to) {
        std::memmove(d + to, d + partStart(k), (partEnd(k) - partStart(k)) * sizeof(Unit));
    };
    std::vector<size_t> to(parts);  // each part's new start
    to[0] = 0;
    for (size_t k = 1; k < parts; ++k) to[k] = to[k - 1] + (partEnd(k - 1) - partStart(k - 1)) + edits[k - 1].length;
    for (size_t k = 0; k < parts;) {
        if (to[k] <= partStart(k)) {
            move(k, to[k]);
            ++k;
            continue;
        }
        size_t run = k + 1;
        while (run < parts && to[run] > partStart(run)) ++run;
        for (size_t j = run; j > k; --j) move(j - 1, to[j - 1]);
        k = run;
    }
    const Unit* in = inserted.data();
    for (size_t k = 0; k < edits.size(); ++k) {
        const Edit& e = edits[k];
        std::copy(in + e.from, in + e.from + e.length, d + to[k + 1] - e.length);
    }
    size_ = to[parts - 1] + (partEnd(parts - 1) - partStart(parts - 1));
}

namespace {

// Units written from a pointer on.
template <class Unit>
struct Sink {
    Unit* d;
};

// Appends [first, last) to a vector or a sink.
template <class Unit, class It>
void Put(std::vector<Unit>* out, It first, It last) {
    out->insert(out->end(), first, last);
}
template <class Unit, class It>
void Put(Sink<Unit>* out, It first, It last) {
    out->d = std::copy(first, last, out->d);
}

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

    // Appends the match's replacement to `out`, a run at a time.
    template <class Out>
    void Emit(const size_t* span, const Unit* t, Out* out) const {
        const size_t* g = span + 2;
        for (const Piece& piece : pieces) {
            if (piece.group < 0) {
                Put(out, piece.text.data(), piece.text.data() + piece.text.size());
            } else {
                if (g[0] != kNoPart && g[1] != kNoPart) Put(out, t + g[0], t + g[1]);
                g += 2;
            }
        }
    }

    // The whole new text appended to `out`.
    template <class Out>
    void Write(Units<Unit> t, Out* out) const {
        size_t from = 0;
        for (size_t k = 0; k < Count(); ++k) {
            const size_t* span = Span(k);
            Put(out, t.data + from, t.data + span[0]);
            Emit(span, t.data, out);
            from = span[1];
        }
        Put(out, t.data + from, t.data + t.size);
    }

    // Calls each(span, same, length) for every match in order, with its
    // span as `spans` keeps it, whether its replacement is what it matched,
    // and how long that replacement is. False for a pattern that does not
    // compile or a replacement refused.
    template <class Each>
    bool ForEach(std::u16string_view pattern, std::u16string_view replacement, Units<Unit> t, Each each) {
        const std::shared_ptr<const Program> p = CompileCached(pattern);
        if (!p || !ParseReplacement(replacement, p->groupCount, &pieces)) return false;
        for (const Piece& piece : pieces) stride += piece.group < 0 ? 0 : 2;
        std::vector<size_t> span(stride);
        Searcher<Unit> searcher(*p, t);
        Groups g;
        for (size_t from = 0; from <= t.size && searcher.Search(from, &g);) {
            span[0] = g[0];
            span[1] = g[1];
            size_t length = 0, at = 2;
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
                span[at++] = gs;
                span[at++] = ge;
                if (gs == cursor && same && ge <= g[1]) {
                    length += ge - gs;  // a group copied onto itself, as $1 at a match's start is
                    cursor = ge;
                } else if (gs != kNoPart) {
                    compare(t.data + gs, ge - gs);
                }
            }
            each(span.data(), same && cursor == g[1], length);
            // After an empty match the search moves on by one unit.
            from = g[1] > g[0] ? g[1] : g[1] + 1;
        }
        return true;
    }

    // Every match kept in `spans`, with the size of the text it makes.
    bool Find(std::u16string_view pattern, std::u16string_view replacement, Units<Unit> t) {
        if (!ForEach(pattern, replacement, t, [&](const size_t* span, bool same, size_t length) {
                spans.insert(spans.end(), span, span + stride);
                changed = changed || !same;
                outSize += length - (span[1] - span[0]);
                insertedSize += length;
            }))
            return false;
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
        // One pass straight into a new buffer.
        text.Rebuild(m.outSize, [&](Unit* d) {
            Sink<Unit> out{d};
            m.Write(t, &out);
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

template class EditText<uint8_t>;
template class EditText<char16_t>;
template bool ReplaceAll(EditText<uint8_t>&, std::u16string_view, std::u16string_view);
template bool ReplaceAll(EditText<char16_t>&, std::u16string_view, std::u16string_view);

}  // namespace regex
