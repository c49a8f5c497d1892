#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "localstate/localstate.h"
#include "regex/regexp.h"

namespace {

using Lines = std::vector<std::u16string>;
const std::u16string E = u"\"block-insecure-private-network-requests@2\"";
const std::u16string kChanged = u"Loal Stage: changed and saved", kSame = u"Loal Stage: no change";
const std::u16string kSchemeOn = u"excluded_schemes: true", kSchemeOff = u"excluded_schemes: false";
const std::u16string kAdd = u"browser: add block-insecure-private-network-requests@2",
                     kReplace = u"browser: replace block-insecure-private-network-requests@2",
                     kAdd2 = u"browser: add2 block-insecure-private-network-requests@2",
                     kNewList = u"browser: add enabled_labs_experiments";
const std::u16string L = u"\"enabled_labs_experiments\":[";

int g_pumped = 0;

TEST(Repair, EveryBranchOfBothRules) {
    struct Case {
        std::u16string in, out;
        Lines log;
    } cases[] = {
        {u"\"protocol_handler\":{\"excluded_schemes\":{\"afp\":true,\"vezoverove\":true,\"z\":true}}",
         u"\"protocol_handler\":{\"excluded_schemes\":{\"afp\":true,\"vezoverove\":false,\"z\":true}}",
         {kSchemeOn, kNewList, kChanged}},
        {u"\"Protocol_Handler\" : {\n \"EXCLUDED_SCHEMES\" :\t{ \"VezoveRove\" : \"TRUE\" }}",
         u"\"Protocol_Handler\" : {\n \"EXCLUDED_SCHEMES\" :\t{ \"VezoveRove\" : \"false\" }}",
         {kSchemeOn, kNewList, kChanged}},
        {u"\"protocol_handler\":{\"a\":1,\"excluded_schemes\":{\"vezoverove\":true}}", u"", {kSchemeOff, kNewList, kSame}},
        {u"\"protocol_handler\":{\"excluded_schemes\":{\"x\":{},\"vezoverove\":true}}", u"", {kSchemeOff, kNewList, kSame}},
        {u"\"protocol_handler\":{\"excluded_schemes\":{\"vezoverove\":false}}", u"", {kSchemeOff, kNewList, kSame}},
        {u"\"browser\":{" + L + u" \n ]}", u"\"browser\":{" + L + E + u" \n ]}", {kSchemeOff, kAdd, kChanged}},
        {u"\"browser\":{" + L + u"\"a@1\",\"block-insecure-private-network-requests@1\"]},\"x\":\"BLOCK-insecure-private-network-requests@7\"",
         u"\"browser\":{" + L + u"\"a@1\"," + E + u"]},\"x\":" + E, {kSchemeOff, kReplace, kChanged}},
        {u"\"browser\":{" + L + E + u"]}", u"", {kSchemeOff, kReplace, kSame}},
        {u"\"browser\":{" + L + u"\"a@1\"]}", u"\"browser\":{" + L + E + u",\"a@1\"]}", {kSchemeOff, kAdd2, kChanged}},
        {u"\"browser\" : {\"x\":1}", u"\"browser\" : {" + L + E + u"],\"x\":1}", {kSchemeOff, kNewList, kChanged}},
        {u"\"browser\":{\"a\":{}," + L + u"]}", u"\"browser\":{" + L + E + u"],\"a\":{}," + L + u"]}",
         {kSchemeOff, kNewList, kChanged}},
        {u"\"browser\":{ }", u"\"browser\":{" + L + E + u"] }", {kSchemeOff, kNewList, kChanged}},
        {u"\"browser\":{" + L + u"]},\"browser\":{" + L + u"\"a\"]}",
         u"\"browser\":{" + L + E + u"]},\"browser\":{" + L + u"\"a\"]}", {kSchemeOff, kAdd, kChanged}},
        {u"{\"profile\":{}}", u"", {kSchemeOff, kNewList, kSame}},
        {u"", u"", {kSchemeOff, kNewList, kSame}},
    };
    SetPendingMessagesHook([] { ++g_pumped; });
    for (const Case& c : cases) {
        Lines log;
        g_pumped = 0;
        EXPECT_EQ(RepairLocalStateText(c.in, &log), c.out.empty() ? c.in : c.out);
        EXPECT_EQ(log, c.log);
        // Every replacement lets the dialog handle its input first.
        EXPECT_EQ(g_pumped, log[1] == kNewList ? 3 : 2);
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
