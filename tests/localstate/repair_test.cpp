#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "localstate/localstate.h"
#include "regex/regexp.h"
#include "../support/edittext.h"

namespace {

using Lines = std::vector<std::u16string>;
const std::u16string E = u"\"block-insecure-private-network-requests@2\"",
                     Old = u"\"block-insecure-private-network-requests@1\"";
const std::u16string kSchemeOn = u"excluded_schemes: true", kSchemeOff = u"excluded_schemes: false";
const std::u16string kEntry = u" block-insecure-private-network-requests@2", kAdd = u"browser: add" + kEntry,
                     kReplace = u"browser: replace" + kEntry, kAdd2 = u"browser: add2" + kEntry,
                     kNewList = u"browser: add enabled_labs_experiments";
const std::u16string L = u"\"enabled_labs_experiments\":[", Ls = u"\"enabled_labs_experiments\" : [";

int g_pumped = 0;

TEST(Repair, EveryBranchOfBothRules) {
    struct Case { std::u16string in, out; Lines log; } cases[] = {
        // Only the first entry: a greedy reading would take the last.
        {u"\"protocol_handler\" : { \"excluded_schemes\" : { \"afp\":true, \"vezoverove\" : true, \"z\":true,"
         u" \"VEZOVEROVE\":true }}",
         u"\"protocol_handler\" : { \"excluded_schemes\" : { \"afp\":true, \"vezoverove\" : false, \"z\":true,"
         u" \"VEZOVEROVE\":true }}",
         {kSchemeOn, kNewList}},
        {u"\"Protocol_Handler\" : {\n \"EXCLUDED_SCHEMES\" :\t{ \"VezoveRove\" : \"TRUE\" }}",
         u"\"Protocol_Handler\" : {\n \"EXCLUDED_SCHEMES\" :\t{ \"VezoveRove\" : \"false\" }}",
         {kSchemeOn, kNewList}},
        {u"\"protocol_handler\":{\"a\":1,\"excluded_schemes\":{\"vezoverove\":true}}", u"", {kSchemeOff, kNewList}},
        {u"\"protocol_handler\":{\"excluded_schemes\":{\"x\":{},\"vezoverove\":true}}", u"", {kSchemeOff, kNewList}},
        {u"\"protocol_handler\":{\"excluded_schemes\":{\"vezoverove\":false}}", u"", {kSchemeOff, kNewList}},
        // An empty list takes the entry even when an old choice stands elsewhere.
        {u"\"browser\" : { " + Ls + u" \n ]},\"x\":" + Old, u"\"browser\" : { " + Ls + E + u" \n ]},\"x\":" + Old,
         {kSchemeOff, kAdd}},
        {u"\"browser\":{" + L + u"\"a@1\",\"block-insecure-private-network-requests@1\"]},\"x\":\"BLOCK-insecure-private-network-requests@7\"",
         u"\"browser\":{" + L + u"\"a@1\"," + E + u"]},\"x\":" + E, {kSchemeOff, kReplace}},
        {u"\"browser\":{" + L + E + u"]}", u"", {kSchemeOff, kReplace}},
        {u"\"browser\" : { " + Ls + u" \"a@1\" ], " + Ls + u"\"b\"]}",  // the first list, not the last
         u"\"browser\" : { " + Ls + E + u", \"a@1\" ], " + Ls + u"\"b\"]}", {kSchemeOff, kAdd2}},
        // Without a list an old choice elsewhere stays as it is.
        {u"\"browser\" : { \"x\":1 },\"y\":" + Old, u"\"browser\" : {" + L + E + u"], \"x\":1 },\"y\":" + Old,
         {kSchemeOff, kNewList}},
        {u"\"browser\":{\"a\":{}," + L + u"]}", u"\"browser\":{" + L + E + u"],\"a\":{}," + L + u"]}",
         {kSchemeOff, kNewList}},
        {u"\"browser\":{ }", u"\"browser\":{" + L + E + u"] }", {kSchemeOff, kNewList}},
        {u"\"browser\":{" + L + u"]},\"browser\":{" + L + u"\"a\"]}",
         u"\"browser\":{" + L + E + u"]},\"browser\":{" + L + u"\"a\"]}", {kSchemeOff, kAdd}},
        {u"{\"profile\":{}}", u"", {kSchemeOff, kNewList}},
        {u"", u"", {kSchemeOff, kNewList}},
    };
    // Each case again as a file saved with CR LF wherever it has a space.
    auto crLf = [](std::u16string s) {
        for (size_t at = 0; (at = s.find(u' ', at)) != s.npos; at += 2) s.replace(at, 1, u"\r\n");
        return s;
    };
    SetPendingMessagesHook([] { ++g_pumped; });
    for (const Case& c : cases)
        for (bool saved : {false, true}) {
            const std::u16string in = saved ? crLf(c.in) : c.in, out = c.out.empty() ? in : saved ? crLf(c.out) : c.out;
            // In both widths, in a buffer with room to spare and in one the first growing replacement outgrows.
            auto check = [&](auto edited) {
                Lines log;
                g_pumped = 0;
                EXPECT_EQ(ApplyLocalStateRules(edited, &log), !c.out.empty());
                EXPECT_EQ(TextOf(edited), out);
                EXPECT_EQ(log, c.log);
                // Every replacement lets the dialog handle its input first.
                EXPECT_EQ(g_pumped, c.log[1] == kNewList ? 3 : 2);
            };
            for (size_t capacity : {in.size() + 4096, in.size()})
                check(EditOf<uint8_t>(in, capacity)), check(EditOf<char16_t>(in, capacity));
        }
    SetPendingMessagesHook(nullptr);
}

// Syntax the rules do not use is refused, never misread: nothing changes.
TEST(Repair, PatternsOutsideTheRulesSyntaxChangeNothing) {
    const std::u16string text = u"a*a]a{2}\u00E9";
    for (const char16_t* p : {u"a|b", u"(a)*", u"[]a]", u"a{2}", u"\\d", u"(?:a)", u".", u"^a", u"((((((((((a))))))))))", u"\u00E9", u"(a", u"a)"}) {
        regex::EditText<char16_t> edited = regex::EditCopy(text);
        EXPECT_FALSE(RegexTest(p, edited));
        EXPECT_FALSE(RegexReplace(edited, p, u"x"));
        EXPECT_EQ(TextOf(edited), text);
    }
    regex::EditText<char16_t> edited = regex::EditCopy(u"a");
    EXPECT_FALSE(RegexReplace(edited, u"a", u"$$"));
    EXPECT_EQ(TextOf(edited), u"a");
}

}  // namespace
