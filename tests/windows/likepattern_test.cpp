#include "windows/likepattern.h"

#include <gtest/gtest.h>

namespace {

TEST(MatchesLike, BracketsAndWholeTexts) {
    const struct { const char16_t *text, *pattern; bool matches; } cases[] = {
        {u"chrome_widgetwin_1", u"Chrome_WidgetWin_1", false}, {u"Chrome_WidgetWin_10", u"Chrome_WidgetWin_1", false},
        {u"\u6587\u4ef6", u"?\u4ef6", true},  // a character, not a byte
        {u"b", u"[abc]", true}, {u"d", u"[abc]", false}, {u"d", u"[!abc]", true}, {u"a", u"[!abc]", false},
        {u"m", u"[a-z]", true}, {u"M", u"[a-z]", false}, {u"7x", u"[0-9a-f][!0-9]", true},
        {u"*", u"[*]", true}, {u"x", u"[*]", false}, {u"#", u"[#]", true}, {u"[", u"[[]", true},
        {u"a-", u"a[-]", true}, {u"ab", u"a[]b", true},
        {u"09", u"##", true}, {u"/", u"#", false}, {u":", u"#", false},
        {u"abcb", u"a*b", true}, {u"ab", u"a*?b", false}, {u"a1b1", u"*#*#", true}, {u"", u"*", true},
        {u"[", u"[", false}, {u"a[bc", u"a[bc", false}, {u"m", u"[z-a]", false},  // malformed: nothing
    };
    for (const auto& c : cases) EXPECT_EQ(MatchesLike(c.text, c.pattern), c.matches) << c.pattern[0];
    std::u16string stars;
    for (int i = 0; i < 200; ++i) stars += u"*a";
    EXPECT_FALSE(MatchesLike(std::u16string(5000, u'a'), stars + u"b"));  // no exponential backtracking
}

}  // namespace
