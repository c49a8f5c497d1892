#include "localstate/pattern.h"

#include <gtest/gtest.h>

#include <string>

#include "localstate/localstate.h"
#include "localstate/regexp.h"

namespace {

std::u16string Rep(const std::u16string& text, const std::u16string& pattern, const std::u16string& replacement) {
    return RegexReplace(text, pattern, replacement);
}

TEST(Pattern, CaseFoldingCoversAsciiLettersOnly) {
    EXPECT_EQ(Rep(u"ABC abc aBc", u"abc", u"x"), u"x x x");
    EXPECT_EQ(Rep(u"TRUE True", u"true", u"false"), u"false false");
    EXPECT_TRUE(RegexTest(u"[a-c]+", u"-BCA-"));
    EXPECT_TRUE(RegexTest(u"[A-C]", u"b"));
    // Folding never reaches beyond ASCII, in literals and in classes alike.
    EXPECT_FALSE(RegexTest(u"\u00e9", u"\u00c9"));
    EXPECT_FALSE(RegexTest(u"\u0436", u"\u0416"));
    EXPECT_FALSE(RegexTest(u"[\u00e0-\u00ff]", u"\u00c9"));
    EXPECT_FALSE(RegexTest(u"k", u"\u212a"));  // Kelvin sign
    EXPECT_FALSE(RegexTest(u"s", u"\u017f"));  // long s
    // A negated class refuses both cases of the letters it names.
    EXPECT_FALSE(RegexTest(u"[^a]", u"A"));
    EXPECT_EQ(Rep(u"aAbB", u"[^a]", u"-"), u"aA--");
    // Symbols next to the letters are not letters: @ [ ` { stay distinct.
    EXPECT_FALSE(RegexTest(u"@", u"`"));
    EXPECT_FALSE(RegexTest(u"\\[", u"{"));
}

TEST(Pattern, ClassesAndShorthands) {
    EXPECT_EQ(Rep(u"a1 b22\tc", u"\\d", u"#"), u"a# b##\tc");
    EXPECT_EQ(Rep(u"a1 b22\tc", u"\\D", u"."), u".1..22..");
    EXPECT_EQ(Rep(u"x \t\r\n\v\fy", u"\\s+", u"_"), u"x_y");
    EXPECT_EQ(Rep(u"x \u00a0y", u"\\S", u"."), u". ..");  // no-break space is not \s
    EXPECT_EQ(Rep(u"a_Z9-\u00e9", u"\\w", u"."), u"....-\u00e9");
    EXPECT_EQ(Rep(u"a_Z9-\u00e9", u"\\W", u"."), u"a_Z9..");
    EXPECT_EQ(Rep(u"a\nb", u".", u"x"), u"x\nx");
    EXPECT_EQ(Rep(u"a-b]c", u"[\\]-]", u"_"), u"a_b_c");
    EXPECT_EQ(Rep(u"a-b1c", u"[\\d-]", u"_"), u"a_b_c");  // dash after a shorthand is literal
    EXPECT_EQ(Rep(u"a-b1c", u"[-a]", u"_"), u"__b1c");
    EXPECT_EQ(Rep(u"a\bb", u"[\\b]", u"_"), u"a_b");  // backspace inside a class
    EXPECT_EQ(Rep(u"ab \n", u"[\\S\\n]", u"_"), u"__ _");
    EXPECT_EQ(Rep(u"{a}", u"[^}]", u"_"), u"__}");
    EXPECT_FALSE(RegexTest(u"[]", u"anything ]["));
    EXPECT_EQ(Rep(u"a\nb", u"[^]", u"_"), u"___");
    EXPECT_EQ(Rep(u"x\u4e2d\u6587y", u"[\u4e00-\u9fff]+", u"Z"), u"xZy");
    EXPECT_EQ(Rep(u"x\u4e2d\u6587y", u"[^\u4e00-\u9fff]", u"Z"), u"Z\u4e2d\u6587Z");
}

TEST(Pattern, EscapedMetacharactersAndLiteralBraces) {
    EXPECT_EQ(Rep(u"a.b*c", u"\\.|\\*", u"_"), u"a_b_c");
    EXPECT_EQ(Rep(u"{[()]}|^$+?\\/", u"\\{\\[\\(\\)\\]\\}\\|\\^\\$\\+\\?\\\\\\/", u"ok"), u"ok");
    EXPECT_EQ(Rep(u"x{y}", u"x{y}", u"ok"), u"ok");  // not a repetition: ordinary characters
    EXPECT_EQ(Rep(u"a{,2}", u"a{,2}", u"ok"), u"ok");
    EXPECT_EQ(Rep(u"a}]", u"}]", u"ok"), u"aok");
    EXPECT_EQ(Rep(u"\"q\":1", u"\\\"q\\\"\\:", u"k:"), u"k:1");
    EXPECT_EQ(Rep(u"a\tb", u"\\t", u" "), u"a b");
}

TEST(Pattern, LeftmostFirstPriority) {
    EXPECT_EQ(Rep(u"ab", u"a|ab", u"X"), u"Xb");
    EXPECT_EQ(Rep(u"ab", u"ab|a", u"X"), u"X");
    EXPECT_EQ(Rep(u"xabcx", u"(a|ab)(c|bc)", u"[$1,$2]"), u"x[a,bc]x");
    EXPECT_EQ(Rep(u"aaa", u"a+", u"X"), u"X");
    EXPECT_EQ(Rep(u"aaa", u"a+?", u"X"), u"XXX");
    EXPECT_EQ(Rep(u"<a><b>", u"<.*>", u"X"), u"X");
    EXPECT_EQ(Rep(u"<a><b>", u"<.*?>", u"X"), u"XX");
    EXPECT_EQ(Rep(u"aaaa", u"a??a", u"X"), u"XXXX");
    EXPECT_EQ(Rep(u"aaaa", u"(a*?)(a*)", u"[$1|$2]"), u"[|aaaa][|]");
    // The first start position wins over a longer match further on.
    EXPECT_EQ(Rep(u"xaab", u"a+b|xa", u"[$&]"), u"[xa][ab]");
}

TEST(Pattern, CountedRepetition) {
    EXPECT_EQ(Rep(u"aaaaa", u"a{2}", u"X"), u"XXa");
    EXPECT_EQ(Rep(u"aaaaa", u"a{2,}", u"X"), u"X");
    EXPECT_EQ(Rep(u"aaaaa", u"a{2,}?", u"X"), u"XXa");
    EXPECT_EQ(Rep(u"aaaaa", u"a{1,3}", u"X"), u"XX");
    EXPECT_EQ(Rep(u"aaaaa", u"a{1,3}?", u"X"), u"XXXXX");
    EXPECT_EQ(Rep(u"aaaaa", u"a{0}", u"-"), u"-a-a-a-a-a-");
    EXPECT_EQ(Rep(u"abab", u"(?:ab){2}", u"X"), u"X");
    // Backtracks into the first copy when the second cannot follow it.
    EXPECT_EQ(Rep(u"abab!", u"(a|ab){1,2}!", u"[$1]"), u"[ab]");
    EXPECT_EQ(Rep(u"aaab", u"a{2,3}b", u"X"), u"X");
}

TEST(Pattern, Anchors) {
    EXPECT_EQ(Rep(u"aaa", u"^a", u"X"), u"Xaa");
    EXPECT_EQ(Rep(u"aaa", u"a$", u"X"), u"aaX");
    EXPECT_EQ(Rep(u"a\na", u"^a|a$", u"X"), u"X\nX");  // no multiline mode
    EXPECT_EQ(Rep(u"one two", u"\\b", u"|"), u"|one| |two|");
    EXPECT_EQ(Rep(u"one two", u"\\B", u"|"), u"o|n|e t|w|o");
    EXPECT_EQ(Rep(u"", u"^$", u"E"), u"E");
    EXPECT_FALSE(RegexTest(u"a^", u"aa"));
}

TEST(Pattern, EmptyMatchesMoveOnByOne) {
    EXPECT_EQ(Rep(u"abc", u"x*", u"-"), u"-a-b-c-");
    EXPECT_EQ(Rep(u"baaac", u"a*", u"X"), u"XbXXcX");
    EXPECT_EQ(Rep(u"aa", u"a*?", u"X"), u"XaXaX");
    EXPECT_EQ(Rep(u"", u"x*", u"-"), u"-");
    EXPECT_EQ(Rep(u"\u4e2d", u"", u"|"), u"|\u4e2d|");
}

TEST(Pattern, ReplacementTokens) {
    const std::u16string text = u"<ab>";
    EXPECT_EQ(Rep(text, u"(a)(b)", u"$2$1"), u"<ba>");
    EXPECT_EQ(Rep(text, u"(a)(b)", u"[$&]"), u"<[ab]>");
    EXPECT_EQ(Rep(text, u"(a)(b)", u"[$`]"), u"<[<]>");
    EXPECT_EQ(Rep(text, u"(a)(b)", u"[$']"), u"<[>]>");
    EXPECT_EQ(Rep(text, u"(a)(b)", u"$$1"), u"<$1>");
    EXPECT_EQ(Rep(text, u"(a)(b)", u"$0|$3|$x|$"), u"<$0|$3|$x|$>");
    EXPECT_EQ(Rep(text, u"(a)(b)", u"$00"), u"<$00>");
    EXPECT_EQ(Rep(text, u"(a)(b)", u"$01$02"), u"<ab>");
    EXPECT_EQ(Rep(text, u"(a)(b)", u"$10"), u"<a0>");   // no group 10: one digit
    EXPECT_EQ(Rep(text, u"(a)(b)", u"$21"), u"<b1>");
    EXPECT_EQ(Rep(text, u"ab", u"$1"), u"<$1>");        // no groups at all
    EXPECT_EQ(Rep(text, u"(x)?ab", u"[$1]"), u"<[]>");  // took no part
    EXPECT_EQ(Rep(text, u"(?:a)(b)", u"$1"), u"<b>");
    // Two digits when that group exists.
    std::u16string twelve;
    for (int i = 0; i < 12; ++i) twelve += u"(.)";
    EXPECT_EQ(Rep(u"abcdefghijkl", twelve, u"$12$11$1"), u"lka");
    EXPECT_EQ(Rep(u"abcdefghijkl", twelve, u"$13"), u"a3");
    // The last value a repeated group took is the one that counts.
    EXPECT_EQ(Rep(u"ab", u"(a|b)*", u"$1"), u"b");
    EXPECT_EQ(Rep(u"ab", u"(?:(a)|b)*", u"[$1]"), u"[a][]");
}

TEST(Pattern, MalformedPatternsChangeNothing) {
    const std::u16string text = u"a(b)[c]*\\1";
    for (const char16_t* bad : {u"(", u")", u"a)", u"[a", u"[b-a]", u"a**", u"*a", u"+", u"?", u"a|*", u"a{2,1}",
                                u"{2}", u"x{1}{2}", u"\\1", u"(?=a)", u"(?!a)", u"(?<a>x)", u"\\", u"[\\", u"\\q",
                                u"\\x41", u"a{1001}", u"^*", u"\\b+", u"a???"}) {
        EXPECT_EQ(RegexReplace(text, bad, u"Z"), text) << std::string(bad, bad + std::char_traits<char16_t>::length(bad));
        EXPECT_FALSE(RegexTest(bad, text));
        EXPECT_FALSE(Pattern::Compile(bad, true).has_value());
    }
    std::u16string deep(300, u'(');
    deep += u"a" + std::u16string(300, u')');
    EXPECT_FALSE(Pattern::Compile(deep, true).has_value());
    // Repetitions that would multiply beyond what the engine holds.
    EXPECT_FALSE(Pattern::Compile(u"(?:(?:a{1000}){1000}){1000}", true).has_value());
    EXPECT_TRUE(Pattern::Compile(u"(((a)))a{1000}", true).has_value());
}

TEST(Pattern, TheRulesPatternsCompile) {
    using namespace localstate_rules;
    for (std::u16string p : {std::u16string(kSchemePattern), std::u16string(kListPattern),
                             std::u16string(kListPattern) + kEmptyListSuffix, std::u16string(kChoicePattern),
                             std::u16string(kBrowserPattern)})
        EXPECT_TRUE(Pattern::Compile(p, true).has_value());
}

int g_hookCalls = 0;
void CountingHook() { ++g_hookCalls; }

TEST(Pattern, ReplaceLetsTheUserInterfaceRunOncePerCall) {
    SetPendingMessagesHook(CountingHook);
    g_hookCalls = 0;
    RegexReplace(u"aaa", u"a", u"b");
    EXPECT_EQ(g_hookCalls, 1);
    RegexReplace(u"aaa", u"(", u"b");  // even when the pattern is refused
    EXPECT_EQ(g_hookCalls, 2);
    RegexTest(u"a", u"aaa");
    EXPECT_EQ(g_hookCalls, 2);
    SetPendingMessagesHook(nullptr);
    RegexReplace(u"aaa", u"a", u"b");
    EXPECT_EQ(g_hookCalls, 2);
}

TEST(Pattern, SearchFromAnOffset) {
    auto p = Pattern::Compile(u"\\bb(\\w)", true);
    ASSERT_TRUE(p);
    Pattern::Groups g;
    const std::u16string text = u"ab bc bd";
    ASSERT_TRUE(p->Search(text, 0, &g));
    EXPECT_EQ(g, (Pattern::Groups{3, 5, 4, 5}));
    ASSERT_TRUE(p->Search(text, 4, &g));
    EXPECT_EQ(g, (Pattern::Groups{6, 8, 7, 8}));
    EXPECT_FALSE(p->Search(text, 7, &g));
    EXPECT_FALSE(p->Search(text, 9, &g));
    EXPECT_EQ(p->GroupCount(), 1);
}

// Runs long enough to overflow any engine that recurses per character, and
// crosses the steady-state shortcut with every kind of interruption.
TEST(Pattern, LongInputsNeedNoRecursion) {
    const std::u16string list = localstate_rules::kListPattern;
    std::u16string open = u"{\"browser\": {";
    std::u16string filler(2000000, u'x');
    for (size_t i = 0; i < filler.size(); i += 997) filler[i] = u"\"{:]\u4e2d"[(i / 997) % 5];
    EXPECT_FALSE(RegexTest(list, open + filler));
    std::u16string tail = u"\"Enabled_Labs_Experiments\" :[1]}";
    EXPECT_TRUE(RegexTest(list, open + filler + tail));
    EXPECT_FALSE(RegexTest(list, open + filler + u"}" + tail));
    std::u16string out = RegexReplace(open + filler + tail, list, u"<$1>");
    EXPECT_EQ(out, u"{<" + open.substr(1) + filler + u"\"Enabled_Labs_Experiments\" :[>1]}");
    // Many unclosed openings one after another.
    std::u16string many;
    for (int i = 0; i < 2000; ++i) many += u"\"browser\":{" + std::u16string(100, u'a');
    EXPECT_FALSE(RegexTest(list, many));
    EXPECT_EQ(RegexReplace(many + tail, list, u"$1"), many + tail);
    EXPECT_EQ(RegexReplace(many + tail, list, u"[$&]").substr(0, 2), u"[\"");
}

}  // namespace
