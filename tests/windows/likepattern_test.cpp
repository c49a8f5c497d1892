#include "windows/likepattern.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(MatchesLike, BracketsAndWholeTexts) {
    struct Case {
        const char16_t *text, *pattern;
        bool matches;
    };
    const Case cases[] = {
        {u"chrome_widgetwin_1", u"Chrome_WidgetWin_1", false}, {u"Chrome_WidgetWin_10", u"Chrome_WidgetWin_1", false},
        {u"\u6587\u4ef6", u"?\u4ef6", true},  // a character, not a byte
        {u"b", u"[abc]", true}, {u"d", u"[abc]", false}, {u"d", u"[!abc]", true}, {u"a", u"[!abc]", false},
        {u"m", u"[a-z]", true}, {u"M", u"[a-z]", false}, {u"7x", u"[0-9a-f][!0-9]", true},
        {u"*", u"[*]", true}, {u"x", u"[*]", false}, {u"#", u"[#]", true}, {u"[", u"[[]", true},
        {u"a-", u"a[-]", true}, {u"ab", u"a[]b", true},
        {u"09", u"##", true}, {u"/", u"#", false}, {u":", u"#", false},
        {u"[", u"[", false}, {u"a[bc", u"a[bc", false}, {u"m", u"[z-a]", false},  // malformed: nothing
    };
    for (const Case& c : cases) EXPECT_EQ(MatchesLike(c.text, c.pattern), c.matches) << c.pattern[0];
    std::u16string stars;
    for (int i = 0; i < 200; ++i) stars += u"*a";
    EXPECT_FALSE(MatchesLike(std::u16string(5000, u'a'), stars + u"b"));  // no exponential backtracking
}

// A plainly recursive matcher over the same alphabet, without brackets.
bool Reference(const std::u16string& t, size_t i, const std::u16string& p, size_t j) {
    if (j == p.size()) return i == t.size();
    if (p[j] == u'*') return Reference(t, i, p, j + 1) || (i < t.size() && Reference(t, i + 1, p, j));
    if (i == t.size()) return false;
    bool one = p[j] == u'?' || (p[j] == u'#' ? (t[i] >= u'0' && t[i] <= u'9') : p[j] == t[i]);
    return one && Reference(t, i + 1, p, j + 1);
}

TEST(MatchesLike, AgreesWithAPlainRecursiveMatcher) {
    std::mt19937 rng(7);
    for (int n = 0; n < 20000; ++n) {
        std::u16string t, p;
        for (int i = static_cast<int>(rng() % 7); i > 0; --i) t += u"ab1"[rng() % 3];
        for (int i = static_cast<int>(rng() % 6); i > 0; --i) p += u"ab1?*#"[rng() % 6];
        ASSERT_EQ(MatchesLike(t, p), Reference(t, 0, p, 0))
            << std::string(t.begin(), t.end()) << " ~ " << std::string(p.begin(), p.end());
    }
}

}  // namespace
