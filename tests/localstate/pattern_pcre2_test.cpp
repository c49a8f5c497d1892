// The engine against PCRE2 on the same patterns and texts: every match that
// replace-all takes, with every group's offsets.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "localstate/localstate.h"
#include "localstate/pattern.h"
#include "pattern_gen.h"
#include "pcre2_oracle.h"

namespace {

std::string Show(const std::u16string& s) {
    std::string out;
    for (char16_t c : s) {
        if (c >= 0x20 && c < 0x7f) out += static_cast<char>(c);
        else out += "\\u{" + std::to_string(static_cast<unsigned>(c)) + "}";
    }
    return out;
}

std::vector<Pattern::Groups> OurMatches(const Pattern& p, const std::u16string& text) {
    std::vector<Pattern::Groups> out;
    Pattern::Groups g;
    size_t from = 0;
    while (from <= text.size() && p.Search(text, from, &g)) {
        out.push_back(g);
        from = g[1] > g[0] ? g[1] : g[1] + 1;
    }
    return out;
}

// What replace-all makes of the matches with the replacement "<$&>".
std::u16string Bracketed(const std::u16string& text, const std::vector<Pattern::Groups>& matches) {
    std::u16string out;
    size_t copied = 0;
    for (const auto& m : matches) {
        out += text.substr(copied, m[0] - copied) + u"<" + text.substr(m[0], m[1] - m[0]) + u">";
        copied = m[1];
    }
    return out + text.substr(std::min(copied, text.size()));
}

// False (with a message) when the two engines disagree.
::testing::AssertionResult Agree(const std::u16string& pattern, const std::u16string& text) {
    auto ours = Pattern::Compile(pattern, true);
    pcre2_oracle::Regex theirs(pattern);
    if (!ours || !theirs.ok())
        return ::testing::AssertionFailure() << "compiles: ours " << ours.has_value() << " pcre2 " << theirs.ok()
                                             << " /" << Show(pattern) << "/";
    std::vector<pcre2_oracle::Groups> expected;
    if (!theirs.AllMatches(text, &expected)) return ::testing::AssertionSuccess();  // PCRE2 gave up
    std::vector<Pattern::Groups> actual = OurMatches(*ours, text);
    if (actual != expected) {
        auto dump = [](const std::vector<Pattern::Groups>& ms) {
            std::string s;
            for (const auto& m : ms) {
                s += "[";
                for (size_t v : m) s += (v == Pattern::kNoPart ? std::string("-") : std::to_string(v)) + " ";
                s += "]";
            }
            return s;
        };
        return ::testing::AssertionFailure() << "/" << Show(pattern) << "/ on \"" << Show(text) << "\": ours "
                                             << dump(actual) << " pcre2 " << dump(expected);
    }
    if (ours->Test(text) != !expected.empty())
        return ::testing::AssertionFailure() << "test /" << Show(pattern) << "/ on \"" << Show(text) << "\"";
    std::u16string replaced = ours->ReplaceAll(text, u"<$&>");
    if (replaced != Bracketed(text, expected))
        return ::testing::AssertionFailure() << "replace-all /" << Show(pattern) << "/ on \"" << Show(text)
                                             << "\" gave \"" << Show(replaced) << "\"";
    return ::testing::AssertionSuccess();
}

TEST(PatternVsPcre2, HandPickedCorpus) {
    const std::vector<std::u16string> patterns = {
        localstate_rules::kSchemePattern,
        localstate_rules::kListPattern,
        std::u16string(localstate_rules::kListPattern) + localstate_rules::kEmptyListSuffix,
        localstate_rules::kChoicePattern,
        localstate_rules::kBrowserPattern,
        u"a|ab", u"ab|a", u"(a|ab)(c|bcd)(d*)", u"(a+)(b+)?", u"(a*?)(b)", u"<.*?>", u"<.*>", u"\\bfoo\\b",
        u"\\Bo", u"^a|b$", u"x{2,3}?y", u"(?:ab){1,2}c", u"[^\"]+\"", u"\\d+(?:\\.\\d*)?", u"(\\w+)\\s*:\\s*(\\w+)",
        u"(a)|(b)|(c)", u"((a)|(b))+", u"(?:(a)|b)*c", u"[\\s\\S]{3}", u"[a-z]+", u"[A-Z]", u"\u00e9+", u"[^a-c]",
        u".", u"\\W+", u"(\\S+)\\s+\\1x",  // the last one is refused by both? no: PCRE2 takes \1
    };
    const std::vector<std::u16string> texts = {
        u"",
        u"ab abc abcd ABCD aAbB",
        u"<a><b>c<d>",
        u"foo bar foobar barfoo FOO",
        u"xx xxy xxxy XXXXY",
        u"ababc abc ABABC",
        u"3.14 42 7. .5",
        u"key: value\nKEY :VALUE",
        u"\u00e9\u00c9\u00e9 \u4e2d\u6587",
        u"{\"protocol_handler\":{\"excluded_schemes\":{\"a\":true,\"VEZOVEROVE\" : \"TRUE\"}}}",
        u"{\"browser\":{\"enabled_labs_experiments\":[ ],\"x\":1},\"Browser\" :{ \"y\":{},"
        u"\"enabled_labs_experiments\":[\"block-insecure-private-network-requests@1\"]}}",
    };
    for (const auto& p : patterns) {
        if (p.find(u"\\1") != std::u16string::npos) {
            EXPECT_FALSE(Pattern::Compile(p, true).has_value());  // back-references are not part of the syntax
            continue;
        }
        for (const auto& t : texts) EXPECT_TRUE(Agree(p, t));
    }
}

TEST(PatternVsPcre2, RandomPatternsAndTexts) {
    pattern_gen::SeededChoices choices(20261206);
    pattern_gen::Generator gen(choices, pattern_gen::Options{});
    int failures = 0;
    for (int i = 0; i < 15000 && failures < 10; ++i) {
        bool nullable = false;
        const std::u16string pattern = gen.Pattern(&nullable);
        for (int k = 0; k < 4; ++k) {
            auto r = Agree(pattern, gen.Text(14));
            if (!r) {
                ADD_FAILURE() << r.message();
                ++failures;
                break;
            }
        }
    }
}

// Long texts where the steady-state shortcut takes over for long stretches.
TEST(PatternVsPcre2, LongTextsWithLazyAndGreedyRuns) {
    pattern_gen::SeededChoices choices(7);
    pattern_gen::Generator gen(choices, pattern_gen::Options{});
    const std::vector<std::u16string> patterns = {
        u"(\"b\"\\s*?:\\s*?\\{[^}]*?\"e\"\\s*?:\\s*?\\[)", u"\"(a[^}]*)\"", u"(\"[^\"]*\")\\s*:",
        u"\\{([^}]*?)(\\d+)\\}", u"(\\w+?)\\s+", u"a.*?b|c", u"([ab]+?)(\"|$)",
    };
    for (const auto& p : patterns) {
        for (int k = 0; k < 20; ++k) {
            std::u16string text;
            for (int piece = 0; piece < 30; ++piece) {
                text += gen.Text(8);
                if (choices.OneIn(3)) text += std::u16string(choices.Below(400), u"ab x\u4e2d"[choices.Below(5)]);
                if (choices.OneIn(4)) text += u"\"b\" : {";
                if (choices.OneIn(5)) text += u"\"e\":[";
            }
            EXPECT_TRUE(Agree(p, text));
        }
    }
}

// A pattern whose sets of live instructions number in the thousands: the
// set-only test gives up and the VM answers.
TEST(PatternVsPcre2, PatternsWithManyStates) {
    std::mt19937 rng(3);
    for (int k = 0; k < 4; ++k) {
        std::u16string text;
        for (int i = 0; i < 3000; ++i) text += (rng() & 1) ? u'a' : u'b';
        if (k & 1) text += u'c';
        EXPECT_TRUE(Agree(u"[ab]*a[ab]{13}c", text));
        EXPECT_TRUE(Agree(u"(a|b)*?a(?:a|b){11}(c|$)", text));
    }
}

}  // namespace
