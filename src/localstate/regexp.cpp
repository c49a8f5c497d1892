#include "localstate/regexp.h"

#include <algorithm>
#include <utility>

#include "localstate/pattern.h"

namespace {
PendingMessagesHook g_pendingMessages = nullptr;
}

void SetPendingMessagesHook(PendingMessagesHook hook) { g_pendingMessages = hook; }

std::u16string RegexReplace(const std::u16string& source, const std::u16string& pattern,
                            const std::u16string& replacement) {
    if (g_pendingMessages) g_pendingMessages();
    std::optional<Pattern> p = Pattern::Compile(pattern, true);
    if (!p) return source;
    return p->ReplaceAll(source, replacement);
}

bool RegexTest(const std::u16string& pattern, const std::u16string& text) {
    std::optional<Pattern> p = Pattern::Compile(pattern, true);
    return p && p->Test(text);
}

TracedText::TracedText(std::u16string original) : text(std::move(original)) {
    if (!text.empty()) runs.push_back({text.size(), 0});
}

namespace {

// A new traced text made of parts of an old one and inserted text.
class TraceBuilder {
public:
    explicit TraceBuilder(const TracedText& in) : in_(in), out_(std::u16string()) {
        starts_.reserve(in.runs.size());
        size_t at = 0;
        for (const TracedText::Run& run : in.runs) {
            starts_.push_back(at);
            at += run.length;
        }
        // Matches are few: room for the text and some growth, reserved once.
        out_.text.reserve(in.text.size() + in.text.size() / 64 + 256);
    }

    void Copy(size_t from, size_t to) {
        if (from >= to) return;
        out_.text.append(in_.text, from, to - from);
        size_t r = static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end(), from) - starts_.begin()) - 1;
        for (size_t at = from; at < to; ++r) {
            const TracedText::Run& run = in_.runs[r];
            const size_t take = std::min(to, starts_[r] + run.length) - at;
            Add(take, run.source == TracedText::kInserted ? run.source : run.source + (at - starts_[r]));
            at += take;
        }
    }

    void Insert(std::u16string_view s) {
        out_.text.append(s);
        Add(s.size(), TracedText::kInserted);
    }

    const std::u16string& Text() const { return out_.text; }
    TracedText Take() { return std::move(out_); }

private:
    void Add(size_t length, size_t source) {
        if (length == 0) return;
        if (!out_.runs.empty()) {
            TracedText::Run& last = out_.runs.back();
            const bool joins = source == TracedText::kInserted
                                   ? last.source == TracedText::kInserted
                                   : last.source != TracedText::kInserted && last.source + last.length == source;
            if (joins) {
                last.length += length;
                return;
            }
        }
        out_.runs.push_back({length, source});
    }

    const TracedText& in_;
    std::vector<size_t> starts_;
    TracedText out_;
};

}  // namespace

bool RegexReplace(TracedText& text, const std::u16string& pattern, const std::u16string& replacement) {
    if (g_pendingMessages) g_pendingMessages();
    std::optional<Pattern> p = Pattern::Compile(pattern, true);
    if (!p) return false;
    const std::vector<Pattern::Piece> pieces = p->ParseReplacement(replacement);
    const std::u16string& t = text.text;
    std::optional<TraceBuilder> out;
    size_t copied = 0;
    bool changed = false;
    p->ForEachMatch(t, [&](const Pattern::Groups& g) {
        if (!out) out.emplace(text);
        const size_t start = g[0], end = g[1];
        out->Copy(copied, start);
        const size_t made = out->Text().size();
        for (const Pattern::Piece& piece : pieces) {
            switch (piece.kind) {
            case Pattern::Piece::Text: out->Insert(piece.text); break;
            case Pattern::Piece::Group: {
                const size_t s = g[2 * static_cast<size_t>(piece.group)], e = g[2 * static_cast<size_t>(piece.group) + 1];
                if (s != Pattern::kNoPart && e != Pattern::kNoPart) out->Copy(s, e);
                break;
            }
            case Pattern::Piece::Before: out->Copy(0, start); break;
            case Pattern::Piece::After: out->Copy(end, t.size()); break;
            }
        }
        changed = changed || out->Text().compare(made, std::u16string::npos, t, start, end - start) != 0;
        copied = end;
    });
    if (!out) return false;
    out->Copy(copied, t.size());
    text = out->Take();
    return changed;
}
