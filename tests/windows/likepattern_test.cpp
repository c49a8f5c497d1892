#include "windows/likepattern.h"

#include <gtest/gtest.h>

#include <random>

namespace {

TEST(MatchesLike, WholeTextOnly) {
    EXPECT_TRUE(MatchesLike(u"Chrome_WidgetWin_1", u"Chrome_WidgetWin_1"));
    EXPECT_FALSE(MatchesLike(u"chrome_widgetwin_1", u"Chrome_WidgetWin_1"));  // by character code
    EXPECT_FALSE(MatchesLike(u"Chrome_WidgetWin_10", u"Chrome_WidgetWin_1"));
    EXPECT_FALSE(MatchesLike(u"xChrome_WidgetWin_1", u"Chrome_WidgetWin_1"));
    EXPECT_TRUE(MatchesLike(u"", u""));
    EXPECT_FALSE(MatchesLike(u"a", u""));
    EXPECT_FALSE(MatchesLike(u"", u"a"));
}

TEST(MatchesLike, Wildcards) {
    EXPECT_TRUE(MatchesLike(u"", u"*"));
    EXPECT_TRUE(MatchesLike(u"any title at all", u"*"));
    EXPECT_TRUE(MatchesLike(u"abc", u"a?c"));
    EXPECT_FALSE(MatchesLike(u"ac", u"a?c"));
    EXPECT_TRUE(MatchesLike(u"v12", u"v##"));
    EXPECT_FALSE(MatchesLike(u"v1x", u"v##"));
    EXPECT_TRUE(MatchesLike(u"abcbcd", u"a*bcd"));
    EXPECT_TRUE(MatchesLike(u"Google Chrome - New Tab", u"*Chrome*"));
    EXPECT_FALSE(MatchesLike(u"Google Chromium", u"*Chrome*"));
    EXPECT_TRUE(MatchesLike(u"\u6587\u4ef6", u"?\u4ef6"));  // a character is a character, not a byte
}

TEST(MatchesLike, Brackets) {
    EXPECT_TRUE(MatchesLike(u"b", u"[abc]"));
    EXPECT_FALSE(MatchesLike(u"d", u"[abc]"));
    EXPECT_TRUE(MatchesLike(u"d", u"[!abc]"));
    EXPECT_FALSE(MatchesLike(u"a", u"[!abc]"));
    EXPECT_TRUE(MatchesLike(u"m", u"[a-z]"));
    EXPECT_FALSE(MatchesLike(u"M", u"[a-z]"));
    EXPECT_TRUE(MatchesLike(u"7x", u"[0-9a-f][!0-9]"));
    for (const char16_t* special : {u"?", u"*", u"#", u"["}) {
        std::u16string pattern = u"[" + std::u16string(special) + u"]";
        EXPECT_TRUE(MatchesLike(special, pattern));
        EXPECT_FALSE(MatchesLike(u"x", pattern));
    }
    EXPECT_TRUE(MatchesLike(u"a-", u"a[-]"));
    EXPECT_TRUE(MatchesLike(u"ab", u"a[]b"));
}

TEST(MatchesLike, MalformedPatternsMatchNothing) {
    EXPECT_FALSE(MatchesLike(u"[", u"["));
    EXPECT_FALSE(MatchesLike(u"a[bc", u"a[bc"));
    EXPECT_FALSE(MatchesLike(u"m", u"[z-a]"));
}

TEST(MatchesLike, ManyStarsStayFast) {
    std::u16string text(5000, u'a');
    std::u16string pattern;
    for (int i = 0; i < 200; ++i) pattern += u"*a";
    pattern += u"b";
    EXPECT_FALSE(MatchesLike(text, pattern));  // exponential backtracking would never return
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
    const char16_t textAlphabet[] = u"ab1";
    const char16_t patternAlphabet[] = u"ab1?*#";
    for (int n = 0; n < 20000; ++n) {
        std::u16string t, p;
        for (int i = static_cast<int>(rng() % 7); i > 0; --i) t += textAlphabet[rng() % 3];
        for (int i = static_cast<int>(rng() % 6); i > 0; --i) p += patternAlphabet[rng() % 6];
        ASSERT_EQ(MatchesLike(t, p), Reference(t, 0, p, 0))
            << std::string(t.begin(), t.end()) << " ~ " << std::string(p.begin(), p.end());
    }
}

}  // namespace
