#pragma once
// Random patterns and texts from the syntax the pattern service shares with
// the engines it is compared against, over a small alphabet so that matches
// are frequent. Unbounded repetition of something that can match empty is
// left out: engines disagree on it by design, not by fault.
#include <cstdint>
#include <random>
#include <string>

namespace pattern_gen {

// Where the choices come from: a fuzzer's bytes or a seeded generator.
class Choices {
public:
    virtual ~Choices() = default;
    virtual uint32_t Next() = 0;
    uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
    bool OneIn(uint32_t n) { return Below(n) == 0; }
};

// Repeatable choices from a seed.
class SeededChoices : public Choices {
public:
    explicit SeededChoices(uint64_t seed) : rng_(seed) {}
    uint32_t Next() override { return static_cast<uint32_t>(rng_()); }

private:
    std::mt19937 rng_;
};

struct Options {
    bool asciiOnly = false;     // texts and literals from ASCII only
    bool allowNewline = true;   // \n in texts and literals
    int maxDepth = 3;
    bool quantifyNullable = true;  // bounded repetition of what can match empty
};

class Generator {
public:
    Generator(Choices& c, Options o) : c_(c), o_(o) {}

    std::u16string Alphabet() const {
        std::u16string a = u"abcAB_-1 \"{}:[]";
        if (o_.allowNewline) a += u'\n';
        if (!o_.asciiOnly) a += u"\u00e9\u00c9\u4e2d";
        return a;
    }

    std::u16string Text(size_t maxLength) {
        const std::u16string a = Alphabet();
        std::u16string t;
        const size_t n = c_.Below(static_cast<uint32_t>(maxLength + 1));
        for (size_t i = 0; i < n; ++i) t += a[c_.Below(static_cast<uint32_t>(a.size()))];
        return t;
    }

    // A pattern; *nullable tells whether it can match the empty text.
    std::u16string Pattern(bool* nullable) { return Alt(0, nullable); }

private:
    std::u16string Alt(int depth, bool* nullable) {
        std::u16string p = Concat(depth, nullable);
        for (int alternatives = 1; alternatives < 4 && c_.OneIn(4); ++alternatives) {
            bool n = false;
            p += u"|" + Concat(depth, &n);
            *nullable = *nullable || n;
        }
        return p;
    }

    std::u16string Concat(int depth, bool* nullable) {
        std::u16string p;
        *nullable = true;
        const uint32_t items = c_.Below(4);
        for (uint32_t i = 0; i < items; ++i) {
            bool n = false;
            p += Item(depth, &n);
            *nullable = *nullable && n;
        }
        return p;
    }

    std::u16string Item(int depth, bool* nullable) {
        bool quantifiable = true;
        std::u16string atom = Atom(depth, nullable, &quantifiable);
        if (!quantifiable || !c_.OneIn(3) || (*nullable && !o_.quantifyNullable)) return atom;
        static const char16_t* const kBounded[] = {u"?", u"{0,1}", u"{2}", u"{1,2}", u"{0,2}", u"{3}"};
        static const char16_t* const kUnbounded[] = {u"*", u"+", u"{1,}", u"{2,}", u"{0,}"};
        std::u16string q;
        if (*nullable || c_.OneIn(2)) {
            q = kBounded[c_.Below(6)];
        } else {
            q = kUnbounded[c_.Below(5)];
        }
        if (c_.OneIn(3)) q += u"?";
        if (q[0] == u'?' || q[0] == u'*' || q.compare(0, 3, u"{0,") == 0 || q.compare(0, 3, u"{0}") == 0)
            *nullable = true;
        return atom + q;
    }

    std::u16string Literal() {
        const std::u16string a = Alphabet();
        char16_t ch = a[c_.Below(static_cast<uint32_t>(a.size()))];
        if (ch == u'\n') return u"\\n";
        if (std::u16string(u"\\^$.|?*+()[]{}").find(ch) != std::u16string::npos) return std::u16string(u"\\") + ch;
        return std::u16string(1, ch);
    }

    std::u16string ClassBody() {
        std::u16string body;
        const uint32_t items = 1 + c_.Below(3);
        for (uint32_t i = 0; i < items; ++i) {
            switch (c_.Below(5)) {
            case 0: body += u"a-c"; break;
            case 1: body += u"A-Z"; break;
            case 2: body += std::u16string(u"\\") + u"dswDSW"[c_.Below(6)]; break;
            case 3: body += u"\\]\\-"; break;
            default: {
                std::u16string l = Literal();
                // [: and [. open POSIX classes in other engines.
                if (l == u"^" || l == u"-" || l == u":" || l == u".") l = u"\\" + l;
                body += l;
            }
            }
        }
        return body;
    }

    std::u16string Atom(int depth, bool* nullable, bool* quantifiable) {
        *nullable = false;
        switch (c_.Below(depth < o_.maxDepth ? 10 : 8)) {
        case 0:
        case 1:
        case 2: return Literal();
        case 3: return u".";
        case 4: return (c_.OneIn(3) ? u"[^" : u"[") + ClassBody() + u"]";
        case 5: return std::u16string(u"\\") + u"dswDSW"[c_.Below(6)];
        case 6:
        case 7:
            if (c_.OneIn(2)) return Literal();
            *nullable = true;
            *quantifiable = false;
            return std::u16string(c_.OneIn(2) ? u"\\b" : (c_.OneIn(2) ? u"\\B" : (c_.OneIn(2) ? u"^" : u"$")));
        default: {
            std::u16string inner = Alt(depth + 1, nullable);
            return (c_.OneIn(3) ? u"(?:" : u"(") + inner + u")";
        }
        }
    }

    Choices& c_;
    Options o_;
};

}  // namespace pattern_gen
