#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "localstate/localstate.h"
#include "regex/regexp.h"

namespace {

using Lines = std::vector<std::u16string>;
const std::u16string E = u"\"block-insecure-private-network-requests@2\"",
                     Old = u"\"block-insecure-private-network-requests@1\"";
const std::u16string kChanged = u"Loal Stage: changed and saved", kSame = u"Loal Stage: no change";
const std::u16string kSchemeOn = u"excluded_schemes: true", kSchemeOff = u"excluded_schemes: false";
const std::u16string kAdd = u"browser: add block-insecure-private-network-requests@2",
                     kReplace = u"browser: replace block-insecure-private-network-requests@2",
                     kAdd2 = u"browser: add2 block-insecure-private-network-requests@2",
                     kNewList = u"browser: add enabled_labs_experiments";
const std::u16string L = u"\"enabled_labs_experiments\":[", Ls = u"\"enabled_labs_experiments\" : [";

int g_pumped = 0;

TEST(Repair, EveryBranchOfBothRules) {
    struct Case {
        std::u16string in, out;
        Lines log;
    } cases[] = {
        // Only the first entry: a greedy reading would take the last.
        {u"\"protocol_handler\" : { \"excluded_schemes\" : { \"afp\":true, \"vezoverove\" : true, \"z\":true,"
         u" \"VEZOVEROVE\":true }}",
         u"\"protocol_handler\" : { \"excluded_schemes\" : { \"afp\":true, \"vezoverove\" : false, \"z\":true,"
         u" \"VEZOVEROVE\":true }}",
         {kSchemeOn, kNewList, kChanged}},
        {u"\"Protocol_Handler\" : {\n \"EXCLUDED_SCHEMES\" :\t{ \"VezoveRove\" : \"TRUE\" }}",
         u"\"Protocol_Handler\" : {\n \"EXCLUDED_SCHEMES\" :\t{ \"VezoveRove\" : \"false\" }}",
         {kSchemeOn, kNewList, kChanged}},
        {u"\"protocol_handler\":{\"a\":1,\"excluded_schemes\":{\"vezoverove\":true}}", u"", {kSchemeOff, kNewList, kSame}},
        {u"\"protocol_handler\":{\"excluded_schemes\":{\"x\":{},\"vezoverove\":true}}", u"", {kSchemeOff, kNewList, kSame}},
        {u"\"protocol_handler\":{\"excluded_schemes\":{\"vezoverove\":false}}", u"", {kSchemeOff, kNewList, kSame}},
        // An empty list takes the entry even when an old choice stands elsewhere.
        {u"\"browser\" : { " + Ls + u" \n ]},\"x\":" + Old, u"\"browser\" : { " + Ls + E + u" \n ]},\"x\":" + Old,
         {kSchemeOff, kAdd, kChanged}},
        {u"\"browser\":{" + L + u"\"a@1\",\"block-insecure-private-network-requests@1\"]},\"x\":\"BLOCK-insecure-private-network-requests@7\"",
         u"\"browser\":{" + L + u"\"a@1\"," + E + u"]},\"x\":" + E, {kSchemeOff, kReplace, kChanged}},
        {u"\"browser\":{" + L + E + u"]}", u"", {kSchemeOff, kReplace, kSame}},
        {u"\"browser\" : { " + Ls + u" \"a@1\" ], " + Ls + u"\"b\"]}",  // the first list, not the last
         u"\"browser\" : { " + Ls + E + u", \"a@1\" ], " + Ls + u"\"b\"]}", {kSchemeOff, kAdd2, kChanged}},
        // Without a list an old choice elsewhere stays as it is.
        {u"\"browser\" : { \"x\":1 },\"y\":" + Old, u"\"browser\" : {" + L + E + u"], \"x\":1 },\"y\":" + Old,
         {kSchemeOff, kNewList, kChanged}},
        {u"\"browser\":{\"a\":{}," + L + u"]}", u"\"browser\":{" + L + E + u"],\"a\":{}," + L + u"]}",
         {kSchemeOff, kNewList, kChanged}},
        {u"\"browser\":{ }", u"\"browser\":{" + L + E + u"] }", {kSchemeOff, kNewList, kChanged}},
        {u"\"browser\":{" + L + u"]},\"browser\":{" + L + u"\"a\"]}",
         u"\"browser\":{" + L + E + u"]},\"browser\":{" + L + u"\"a\"]}", {kSchemeOff, kAdd, kChanged}},
        {u"{\"profile\":{}}", u"", {kSchemeOff, kNewList, kSame}},
        {u"", u"", {kSchemeOff, kNewList, kSame}},
    };
    // Each case again as a file saved with CR LF wherever it has a space.
    auto crLf = [](std::u16string s) {
        for (size_t at = 0; (at = s.find(u' ', at)) != s.npos; at += 2) s.replace(at, 1, u"\r\n");
        return s;
    };
    SetPendingMessagesHook([] { ++g_pumped; });
    for (const Case& c : cases) {
        for (bool saved : {false, true}) {
            Lines log;
            g_pumped = 0;
            const std::u16string in = saved ? crLf(c.in) : c.in, out = c.out.empty() ? in : saved ? crLf(c.out) : c.out;
            EXPECT_EQ(RepairLocalStateText(in, &log), out);
            EXPECT_EQ(log, c.log);
            // Every replacement lets the dialog handle its input first.
            EXPECT_EQ(g_pumped, log[1] == kNewList ? 3 : 2);
        }
    }
    SetPendingMessagesHook(nullptr);
}

// Syntax the rules do not use is refused, never misread: nothing changes.
TEST(Repair, PatternsOutsideTheRulesSyntaxChangeNothing) {
    for (const char16_t* p : {u"a|b", u"(a)*", u"[]a]", u"a{2}", u"\\d", u"(?:a)", u".", u"^a", u"((((((((((a))))))))))", u"\u00E9", u"(a", u"a)"}) {
        EXPECT_FALSE(RegexTest(p, u"a*a]a{2}\u00E9"));
        EXPECT_EQ(RegexReplace(u"a*a]a{2}\u00E9", p, u"x"), u"a*a]a{2}\u00E9");
    }
    EXPECT_EQ(RegexReplace(u"a", u"a", u"$$"), u"a");
}

}  // namespace
