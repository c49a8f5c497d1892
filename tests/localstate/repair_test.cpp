#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "../support/testfs.h"
#include "localstate/localstate.h"
#include "localstate_docs.h"

namespace {

using Lines = std::vector<std::u16string>;

struct Result {
    std::u16string text;
    Lines log;
};

Result Repair(const std::u16string& text) {
    Result r;
    r.text = RepairLocalStateText(text, &r.log);
    return r;
}

const std::u16string kEntry = u"\"block-insecure-private-network-requests@2\"";

TEST(RepairScheme, OnlyTheSchemeEntryTurnsFalse) {
    Result r = Repair(
        u"{\"protocol_handler\":{\"excluded_schemes\":{\"afp\":true,\"vezoverove\":true,\"zzz\":true}},"
        u"\"browser\":{\"enabled_labs_experiments\":[" + kEntry + u"]}}");
    EXPECT_EQ(r.text,
              u"{\"protocol_handler\":{\"excluded_schemes\":{\"afp\":true,\"vezoverove\":false,\"zzz\":true}},"
              u"\"browser\":{\"enabled_labs_experiments\":[" + kEntry + u"]}}");
    EXPECT_EQ(r.log, (Lines{u"excluded_schemes: true", u"browser: replace block-insecure-private-network-requests@2",
                            u"Loal Stage: changed and saved"}));
}

TEST(RepairScheme, CapitalsSpacesAndQuotedValues) {
    EXPECT_EQ(Repair(u"\"Protocol_Handler\" : {\n \"EXCLUDED_SCHEMES\" :\t{ \"VezoveRove\" : TRUE }}").text,
              u"\"Protocol_Handler\" : {\n \"EXCLUDED_SCHEMES\" :\t{ \"VezoveRove\" : false }}");
    EXPECT_EQ(Repair(u"\"protocol_handler\":{\"excluded_schemes\":{\"vezoverove\":\"true\"}}").text,
              u"\"protocol_handler\":{\"excluded_schemes\":{\"vezoverove\":\"false\"}}");
}

TEST(RepairScheme, EntriesTheRuleDoesNotReach) {
    for (const std::u16string text : {
             u"\"protocol_handler\":{\"excluded_schemes\":{\"vezoverove\":false}}",
             // excluded_schemes is not the first member
             u"\"protocol_handler\":{\"a\":1,\"excluded_schemes\":{\"vezoverove\":true}}",
             // a closing brace between the opening and the entry
             u"\"protocol_handler\":{\"excluded_schemes\":{\"x\":{},\"vezoverove\":true}}",
             // another scheme whose name only starts alike
             u"\"protocol_handler\":{\"excluded_schemes\":{\"vezoverove2\":true}}",
         }) {
        Result r = Repair(text);
        EXPECT_EQ(r.text, text);
        EXPECT_EQ(r.log.front(), u"excluded_schemes: false");
        EXPECT_EQ(r.log.back(), u"Loal Stage: no change");
    }
}

TEST(RepairExperiment, EmptyListGetsTheEntryAndKeepsItsWhitespace) {
    Result r = Repair(u"{\"browser\":{\"enabled_labs_experiments\": [ \n ],\"x\":1}}");
    EXPECT_EQ(r.text, u"{\"browser\":{\"enabled_labs_experiments\": [" + kEntry + u" \n ],\"x\":1}}");
    EXPECT_EQ(r.log, (Lines{u"excluded_schemes: false", u"browser: add block-insecure-private-network-requests@2",
                            u"Loal Stage: changed and saved"}));
}

TEST(RepairExperiment, OtherChoiceBecomesTwoEverywhere) {
    Result r = Repair(u"{\"browser\":{\"enabled_labs_experiments\":[\"a\",\"Block-Insecure-Private-Network-Requests@1\"]},"
                      u"\"elsewhere\":\"block-insecure-private-network-requests@7x\"}");
    EXPECT_EQ(r.text, u"{\"browser\":{\"enabled_labs_experiments\":[\"a\"," + kEntry + u"]},"
                      u"\"elsewhere\":\"block-insecure-private-network-requests@2x\"}");
    EXPECT_EQ(r.log[1], u"browser: replace block-insecure-private-network-requests@2");
}

TEST(RepairExperiment, ChoiceTwoAlreadyThereChangesNothing) {
    const std::u16string text = u"{\"browser\":{\"enabled_labs_experiments\":[\"z\"," + kEntry + u"]}}";
    Result r = Repair(text);
    EXPECT_EQ(r.text, text);
    EXPECT_EQ(r.log, (Lines{u"excluded_schemes: false", u"browser: replace block-insecure-private-network-requests@2",
                            u"Loal Stage: no change"}));
}

TEST(RepairExperiment, NonEmptyListGetsTheEntryFirst) {
    Result r = Repair(u"{\"browser\":{\"a\":1,\"enabled_labs_experiments\":[\"x@1\", \"y\"]}}");
    EXPECT_EQ(r.text, u"{\"browser\":{\"a\":1,\"enabled_labs_experiments\":[" + kEntry + u",\"x@1\", \"y\"]}}");
    EXPECT_EQ(r.log[1], u"browser: add2 block-insecure-private-network-requests@2");
}

TEST(RepairExperiment, MissingListGoesInFront) {
    Result r = Repair(u"{\"browser\" : {\"last_redirect_origin\":\"\"}}");
    EXPECT_EQ(r.text, u"{\"browser\" : {\"enabled_labs_experiments\":[" + kEntry + u"],\"last_redirect_origin\":\"\"}}");
    EXPECT_EQ(r.log[1], u"browser: add enabled_labs_experiments");
    // A nested object before the list hides it: a second list goes in front.
    r = Repair(u"{\"browser\":{\"w\":{},\"enabled_labs_experiments\":[]}}");
    EXPECT_EQ(r.text, u"{\"browser\":{\"enabled_labs_experiments\":[" + kEntry +
                          u"],\"w\":{},\"enabled_labs_experiments\":[]}}");
    EXPECT_EQ(r.log[1], u"browser: add enabled_labs_experiments");
}

TEST(RepairExperiment, NoBrowserObjectAndEmptyText) {
    const Lines nothing{u"excluded_schemes: false", u"browser: add enabled_labs_experiments", u"Loal Stage: no change"};
    for (const std::u16string text : {u"", u"{\"profile\":{}}", u"not json at all"}) {
        Result r = Repair(text);
        EXPECT_EQ(r.text, text);
        EXPECT_EQ(r.log, nothing);
    }
}

TEST(RepairExperiment, BothRulesInOneRun) {
    Result r = Repair(u"{\"protocol_handler\":{\"excluded_schemes\":{\"vezoverove\":true}},\"browser\":{\"x\":0}}");
    EXPECT_EQ(r.text, u"{\"protocol_handler\":{\"excluded_schemes\":{\"vezoverove\":false}},"
                      u"\"browser\":{\"enabled_labs_experiments\":[" + kEntry + u"],\"x\":0}}");
    EXPECT_EQ(r.log, (Lines{u"excluded_schemes: true", u"browser: add enabled_labs_experiments",
                            u"Loal Stage: changed and saved"}));
}

// Where the plain rules would write invalid JSON.
TEST(RepairMended, EmptyBrowserObjectGetsTheListWithoutComma) {
    EXPECT_EQ(Repair(u"{\"browser\":{}}").text, u"{\"browser\":{\"enabled_labs_experiments\":[" + kEntry + u"]}}");
    EXPECT_EQ(Repair(u"{\"browser\" : { \n }}").text,
              u"{\"browser\" : {\"enabled_labs_experiments\":[" + kEntry + u"] \n }}");
    // Several browser objects, empty and not, each get what fits.
    EXPECT_EQ(Repair(u"[{\"browser\":{}},{\"BROWSER\":{\"a\":1}}]").text,
              u"[{\"browser\":{\"enabled_labs_experiments\":[" + kEntry + u"]}},{\"BROWSER\":{\"enabled_labs_experiments\":[" +
                  kEntry + u"],\"a\":1}}]");
}

TEST(RepairMended, EmptyListBesideANonEmptyOne) {
    Result r = Repair(u"[{\"browser\":{\"enabled_labs_experiments\":[]}},{\"browser\":{\"enabled_labs_experiments\":[\"q\"]}}]");
    EXPECT_EQ(r.text, u"[{\"browser\":{\"enabled_labs_experiments\":[" + kEntry +
                          u"]}},{\"browser\":{\"enabled_labs_experiments\":[\"q\"]}}]");
    EXPECT_EQ(r.log[1], u"browser: add block-insecure-private-network-requests@2");
}

TEST(RepairProperty, ValidJsonStaysValidAndPlainDocumentsGetBothSettings) {
    localstate_docs::Generator gen(424242);
    int plain = 0;
    for (int i = 0; i < 3000; ++i) {
        localstate_docs::Doc d = gen.Next();
        ASSERT_TRUE(nlohmann::json::accept(d.json)) << d.json;
        Lines log;
        const std::string out = localstate_docs::ToUtf8(RepairLocalStateText(localstate_docs::ToText(d.json), &log));
        ASSERT_TRUE(nlohmann::json::accept(out)) << "in:\n" << d.json << "\nout:\n" << out;
        ASSERT_EQ(log.size(), 3u);
        EXPECT_EQ(log.back(), out == d.json ? u"Loal Stage: no change" : u"Loal Stage: changed and saved");
        if (d.plain) {
            ++plain;
            EXPECT_EQ(nlohmann::json::parse(out), d.expected) << "in:\n" << d.json << "\nout:\n" << out;
        }
    }
    EXPECT_GT(plain, 1000);
}

TEST(FileExists, FilesFoldersAndNothing) {
    testfs::TempDir dir;
    testfs::WriteBytes(dir / "Local State", "{}");
    testfs::WriteBytes(dir / "empty", "");
    EXPECT_TRUE(FileExists(testfs::U16(dir / "Local State")));
    EXPECT_TRUE(FileExists(testfs::U16(dir / "empty")));
    EXPECT_FALSE(FileExists(testfs::U16(dir.path())));
    EXPECT_FALSE(FileExists(testfs::U16(dir / "missing")));
    EXPECT_FALSE(FileExists(testfs::U16(dir / "missing" / "deeper")));
    EXPECT_FALSE(FileExists(u""));
    EXPECT_FALSE(FileExists(testfs::U16(dir / "Local State") + std::u16string(1, u'\0') + u"x"));
    testfs::fs::create_directory(dir / "\u00e9\u4e2d");
    testfs::WriteBytes(dir / "\u00e9\u4e2d" / "f", "x");
    EXPECT_TRUE(FileExists(testfs::U16(dir / "\u00e9\u4e2d" / "f")));
}

}  // namespace
