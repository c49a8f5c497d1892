// One browser's User Data: the Local State by the rules of the browser's version, then each profile's Preferences.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "../support/testfs.h"
#include "fixrun/browserfolder.h"

namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::u16string>;

const std::string kNoList = "{\"browser\":{\"x\":1}";
const std::string kList = "{\"browser\":{\"enabled_labs_experiments\":[\"block-insecure-private-network-requests@2\"],\"x\":1}";
const std::u16string kSkipped =
    u"browser: block-insecure-private-network-requests not set: version 137 and later remove it at start";

// The version from Last Version, or where that gives none from the Local State; from 137 on the experiment rule is
// left out. The Local State's lines and bytes tell which rule ran.
TEST(FixBrowserFolder, TheBrowsersVersionDecidesTheExperimentRule) {
    struct Row { std::optional<std::string> lastVersion; std::string stats; const char16_t* versionLine; bool experiment; } rows[] = {
        {"136.0.7103.93", "", u"136.0.7103.93", true}, {"137.0.7151.55", "156.0.8078.129-64", u"137.0.7151.55", false},
        {"156.0.8078.129\r\n", "", u"156.0.8078.129", false}, {std::nullopt, "136.0.1.2-64", u"136.0.1.2-64", true},
        {std::nullopt, "156.0.8078.129-64-devel", u"156.0.8078.129-64-devel", false}, {std::nullopt, "", nullptr, true},
        {"13x.0", "", nullptr, true}, {"garbage", "156.0.8078.129-64", u"156.0.8078.129-64", false},
        {"137.0.7151.55" + std::string(52, ' '), "", nullptr, true},  // 65 bytes: not the browser's
        {"", "1560000.0", nullptr, true},
    };
    testfs::TempDir dir;
    const fs::path userData = dir / "User Data", file = userData / "Local State";
    fs::create_directories(userData);
    const std::u16string path = testfs::U16(file);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.stats + "|" + row.lastVersion.value_or("(none)"));
        fs::remove(userData / "Last Version");
        if (row.lastVersion) testfs::WriteBytes(userData / "Last Version", *row.lastVersion);
        const std::string stats = row.stats.empty() ? "" : ",\"user_experience_metrics\":{\"stability\":{\"stats_version\":\"" +
                                                                    row.stats + "\"}}";
        testfs::WriteBytes(file, kNoList + stats + "}");
        Lines log;
        EXPECT_TRUE(FixBrowserFolder(path, [&](const std::u16string& line) { log.push_back(line); }, {}));
        Lines expected = {u"文件存在：" + path};
        if (row.versionLine) expected.push_back(u"Browser version: " + std::u16string(row.versionLine));
        expected.insert(expected.end(), {u"excluded_schemes: false",
                                         row.experiment ? u"browser: add enabled_labs_experiments" : kSkipped,
                                         row.experiment ? u"Loal Stage: changed and saved" : u"Loal Stage: no change"});
        EXPECT_EQ(log, expected);
        EXPECT_EQ(testfs::ReadBytes(file), (row.experiment ? kList : kNoList) + stats + "}");
    }
}

// Default, then Profile N by number; other folders are no profiles, and a profile folder without Preferences is
// passed over. In a run for another user a profile folder that is a link is not followed: that file counts as not
// read, and nothing past the link changes.
TEST(FixBrowserFolder, EachProfileInOrderNoLinkFollowedForAnotherUser) {
    testfs::TempDir dir;
    const fs::path profile = dir / "profile", userData = profile / "User Data", outside = dir / "outside";
    fs::create_directories(outside);
    testfs::WriteBytes(outside / "Preferences", "{}");
    for (const char* name : {"Profile 10", "Default", "Profile 2", "System Profile", "Profile 02", "Guest Profile", "Profile 3"}) {
        fs::create_directories(userData / name);
        if (std::string(name) == "Profile 3") continue;
        testfs::WriteBytes(userData / name / "Preferences", "{}");
    }
    testfs::WriteBytes(userData / "Local State", "{}");
    const std::u16string localState = testfs::U16(userData / "Local State");
    const auto found = [](const Lines& log) {
        Lines files;
        for (const std::u16string& line : log)
            if (line.rfind(u"文件存在：", 0) == 0 || line.rfind(u"Link in path", 0) == 0) files.push_back(line);
        return files;
    };
    const auto at = [&](const char* name) { return testfs::U16(userData / name / "Preferences"); };
    Lines log;
    const auto keep = [&](const std::u16string& line) { log.push_back(line); };
    EXPECT_TRUE(FixBrowserFolder(localState, keep, testfs::U16(profile)));
    EXPECT_EQ(found(log), (Lines{u"文件存在：" + localState, u"文件存在：" + at("Default"), u"文件存在：" + at("Profile 2"),
                                 u"文件存在：" + at("Profile 10")}));
    std::vector<std::pair<std::u16string, CheckOutcome>> checked = CheckBrowserFolder(localState, testfs::U16(profile));
    EXPECT_EQ(checked, (decltype(checked){{localState, CheckOutcome::UpToDate}, {at("Default"), CheckOutcome::UpToDate},
                                          {at("Profile 2"), CheckOutcome::UpToDate}, {at("Profile 10"), CheckOutcome::UpToDate}}));

    fs::remove_all(userData / "Default");
    ASSERT_TRUE(testfs::MakeSymlink(outside, userData / "Default"));
    for (const bool confined : {true, false}) {
        SCOPED_TRACE(confined);
        log.clear();
        const std::u16string below = confined ? testfs::U16(profile) : u"";
        const CheckOutcome check = CheckBrowserFolder(localState, below)[1].second;
        EXPECT_EQ(FixBrowserFolder(localState, keep, below), !confined);
        EXPECT_EQ(found(log)[1], (confined ? u"Link in path, not followed: " : u"文件存在：") + at("Default"));
        EXPECT_EQ(check, confined ? CheckOutcome::CannotRead : CheckOutcome::NeedsRepair);
        EXPECT_EQ(testfs::ReadBytes(outside / "Preferences") == "{}", confined);
    }
}

}  // namespace
