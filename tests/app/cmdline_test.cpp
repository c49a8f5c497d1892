#include "app/cmdline.h"
#include "app/launch.h"

#include <gtest/gtest.h>

namespace {

TEST(GetQueryValue, FirstUsablePairWithTheKeyWins) {
    const struct { const char16_t *query, *key, *want; } cases[] = {
        {u"a=1&log=yes", u"log", u"yes"},       {u"log=first&log=second", u"log", u"first"},
        {u"LOG=x", u"log", u"x"},               {u"  log  =  yes  ", u"log", u"yes"},
        {u"log=yes=1&log=no", u"log", u"no"},  {u"log", u"log", u"-"},
        {u"&&log=&", u"log", u""},              {u"\tlog=yes", u"log", u"-"},  // only spaces are trimmed
    };
    for (const auto& c : cases) EXPECT_EQ(GetQueryValue(c.query, c.key, u"-", u"&", u"="), c.want);
    EXPECT_EQ(GetQueryValue(u"a::1;;b::2", u"b", u"", u";;", u"::"), u"2");
}

// Whole command lines, from what the platform hands over to what start-up
// decides: the cleaned text, the log switch and the run mode.
TEST(CommandLine, CleanedTextLogSwitchAndMode) {
    const struct { const char16_t *full, *cleaned; bool log; RunMode mode; bool allProfiles; } cases[] = {
        {u"x.exe vezoverove://log=yes/", u"log=yes", true, RunMode::Dialog, false},
        {u"\"C:\\A B\\x.exe\"  \"vezoverove://log=yes/\"", u"log=yes", true, RunMode::Dialog, false},
        {u"x.exe", u"", false, RunMode::Dialog, false},
        {u"\"x.exe\"", u"", false, RunMode::Dialog, false},
        {u"x.exe vezoverove:?log=yes", u"", false, RunMode::Dialog, false},
        {u"x.exe a:b:log=yes", u"b:log=yes", false, RunMode::Dialog, false},
        {u"x.exe x://a=1&LoG=YeS/?log=no", u"a=1&LoG=YeS", true, RunMode::Dialog, false},
        {u"x.exe x: log = yes ", u" log = yes ", true, RunMode::Dialog, false},
        {u"x.exe x:log=yes=1", u"log=yes=1", false, RunMode::Dialog, false},
        {u"x.exe x:log=no&log=yes", u"log=no&log=yes", false, RunMode::Dialog, false},
        {u"x.exe x:logs=yes&log=yess", u"logs=yes&log=yess", false, RunMode::Dialog, false},
        {u"x.exe x:silent=yes", u"silent=yes", false, RunMode::Silent, false},
        {u"x.exe x:log=yes&silent=YES", u"log=yes&silent=YES", true, RunMode::Silent, false},
        {u"x.exe x: check = yes ", u" check = yes ", false, RunMode::Check, false},
        {u"x.exe x:silent=yes&check=yes", u"silent=yes&check=yes", false, RunMode::Check, false},
        {u"x.exe x:silent=no&silent=yes", u"silent=no&silent=yes", false, RunMode::Dialog, false},
        {u"x.exe x:check=yes=1&silent=1", u"check=yes=1&silent=1", false, RunMode::Dialog, false},
        {u"x.exe x://check=yes&allusers=YES/", u"check=yes&allusers=YES", false, RunMode::Check, true},
        {u"x.exe x:silent=yes& allusers = yes", u"silent=yes& allusers = yes", false, RunMode::Silent, true},
        {u"x.exe x:allusers=no&allusers=yes&log=yes", u"allusers=no&allusers=yes&log=yes", true, RunMode::Dialog, false},
    };
    for (const auto& c : cases) {
        const std::u16string cleaned = CleanCommandLine(ArgumentsAfterProgramName(c.full));
        EXPECT_EQ(cleaned, c.cleaned);
        EXPECT_EQ(CommandSwitchesLogOn(cleaned), c.log) << testing::PrintToString(cleaned);
        EXPECT_EQ(RunModeOf(cleaned), c.mode) << testing::PrintToString(cleaned);
        EXPECT_EQ(CommandAsksAllProfiles(cleaned), c.allProfiles) << testing::PrintToString(cleaned);
    }
}

// What start-up runs, by who started the program and where: a page's link (a browser the parent) gets the dialog or
// nothing; anyone else the mode asked for, silent where nobody could answer a dialog.
TEST(PlanStart, APagesLinkGetsTheDialogOrNothing) {
    enum Said { None, Ignored, Refused };
    const std::u16string said[] = {u"", u"Started by a web browser: silent, check and allusers ignored, the dialog asks first",
                                   u"Started by a web browser where no dialog can be shown: nothing done"};
    using M = RunMode;
    const RunScope me = RunScope::CurrentUser, all = RunScope::AllProfiles;
    const struct { const char16_t* cleaned; Launch launch; M mode; RunScope scope; Said said; } cases[] = {
        {u"silent=yes", {true, false, true}, M::Dialog, me, Ignored},
        {u"log=yes&check=yes", {true, false, true}, M::Dialog, me, Ignored},
        {u"allusers=yes", {true, false, true}, M::Dialog, me, Ignored},
        {u"log=yes&silent=no", {true, false, true}, M::Dialog, me, None},
        {u"log=yes", {true, false, false}, M::Dialog, me, Refused},
        {u"silent=yes", {true, true, true}, M::Dialog, me, Refused},
        {u"silent=yes", {false, false, true}, M::Silent, me, None},
        {u"check=yes&allusers=yes", {false, false, true}, M::Check, all, None},
        {u"allusers=yes", {false, false, true}, M::Dialog, all, None},
        {u"log=yes", {false, false, false}, M::Silent, me, None},
        {u"", {false, true, true}, M::Silent, all, None},
        {u"check=yes", {false, true, false}, M::Check, all, None},
        {u"", {false, false, true}, M::Dialog, me, None},
    };
    for (const auto& c : cases) {
        const StartPlan plan = PlanStart(c.cleaned, c.launch);
        SCOPED_TRACE(&c - cases);
        EXPECT_EQ(plan.mode, c.mode);
        EXPECT_EQ(plan.scope, c.scope);
        EXPECT_EQ(plan.refused, c.said == Refused);
        EXPECT_EQ(plan.why, said[c.said]);
    }
}

}  // namespace
