#include "app/cmdline.h"

#include <gtest/gtest.h>

namespace {

std::u16string Query(const std::u16string& q, const std::u16string& key, const std::u16string& def = u"-") {
    return GetQueryValue(q, key, def, u"&", u"=");
}

TEST(GetQueryValue, FirstMatchingPairWins) {
    EXPECT_EQ(Query(u"a=1&log=yes", u"log"), u"yes");
    EXPECT_EQ(Query(u"log=first&log=second", u"log"), u"first");
    EXPECT_EQ(Query(u"LOG=x", u"log"), u"x");
    EXPECT_EQ(Query(u"  log  =  yes  ", u"log"), u"yes");
}

TEST(GetQueryValue, UnusablePiecesAreSkipped) {
    EXPECT_EQ(Query(u"log=yes=1", u"log"), u"-");
    EXPECT_EQ(Query(u"log=yes=1&log=no", u"log"), u"no");
    EXPECT_EQ(Query(u"log", u"log"), u"-");
    EXPECT_EQ(Query(u"", u"log"), u"-");
    EXPECT_EQ(Query(u"&&log=&", u"log"), u"");
    EXPECT_EQ(Query(u"b:log=yes", u"log"), u"-");
    EXPECT_EQ(Query(u"\tlog=yes", u"log"), u"-");  // only spaces are trimmed
}

TEST(GetQueryValue, MultiCharacterSeparators) {
    EXPECT_EQ(GetQueryValue(u"a::1;;b::2", u"b", u"", u";;", u"::"), u"2");
}

TEST(CleanCommandLine, LinkForms) {
    EXPECT_EQ(CleanCommandLine(u"vezoverove://log=yes/"), u"log=yes");
    EXPECT_EQ(CleanCommandLine(u"\"vezoverove://log=yes/\""), u"log=yes");
    EXPECT_EQ(CleanCommandLine(u"vezoverove:?log=yes"), u"");
    EXPECT_EQ(CleanCommandLine(u"a:b:log=yes"), u"b:log=yes");
    EXPECT_EQ(CleanCommandLine(u"log=yes"), u"log=yes");
    EXPECT_EQ(CleanCommandLine(u"x://a=1&log=yes/?log=no"), u"a=1&log=yes");
    EXPECT_EQ(CleanCommandLine(u""), u"");
}

TEST(CommandSwitchesLogOn, Cases) {
    for (const char16_t* on : {u"vezoverove://log=yes/", u"\"vezoverove://log=yes/\"", u"x:log=YES",
                               u"x:a=1&log=yes", u"x: log = yes ", u"x:LoG=YeS&log=no"})
        EXPECT_TRUE(CommandSwitchesLogOn(CleanCommandLine(on))) << std::string(on, on + std::char_traits<char16_t>::length(on));
    for (const char16_t* off : {u"", u"vezoverove:?log=yes", u"a:b:log=yes", u"x:log=yes=1", u"x:log=no&log=yes",
                                u"x:log=yess", u"x:logs=yes"})
        EXPECT_FALSE(CommandSwitchesLogOn(CleanCommandLine(off))) << std::string(off, off + std::char_traits<char16_t>::length(off));
}

TEST(RunModeOf, CheckWinsOverSilentAndBothFollowTheLogRules) {
    const std::pair<const char16_t*, RunMode> cases[] = {
        {u"vezoverove://log=yes/", RunMode::Dialog},       {u"x:silent=yes", RunMode::Silent},
        {u"x:log=yes&silent=YES", RunMode::Silent},       {u"x: check = yes ", RunMode::Check},
        {u"x:check=yes&silent=yes", RunMode::Check},      {u"x:silent=yes&check=yes", RunMode::Check},
        {u"x:silent=no&silent=yes", RunMode::Dialog},     {u"x:check=yes=1&silent=1", RunMode::Dialog},
        {u"x:?silent=yes", RunMode::Dialog},
    };
    for (const auto& c : cases) EXPECT_EQ(RunModeOf(CleanCommandLine(c.first)), c.second);
}

TEST(ArgumentsAfterProgramName, QuotedAndPlainNames) {
    EXPECT_EQ(ArgumentsAfterProgramName(u"\"C:\\A B\\x.exe\" vezoverove://log=yes/"), u"vezoverove://log=yes/");
    EXPECT_EQ(ArgumentsAfterProgramName(u"x.exe   \"q://log=yes/\""), u"\"q://log=yes/\"");
    EXPECT_EQ(ArgumentsAfterProgramName(u"x.exe"), u"");
    EXPECT_EQ(ArgumentsAfterProgramName(u"\"x.exe\""), u"");
    EXPECT_EQ(ArgumentsAfterProgramName(u""), u"");
}

}  // namespace
