#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/testfs.h"
#include "app/unattended.h"
#include "fixrun/browserfiles.h"
#include "fixrun/outcome.h"
#include "fixrun/profiles.h"

namespace {

// A check's exit code: a file that cannot be read makes any answer a guess (1), wherever it comes; one that needs
// repair is 10; missing or repaired files say nothing.
TEST(CheckExitCode, AnUnreadableFileWinsOverOneThatNeedsRepair) {
    using C = CheckOutcome;
    const std::pair<std::vector<C>, int> cases[] = {
        {{}, 0}, {{C::NotFound, C::UpToDate}, 0}, {{C::UpToDate, C::NeedsRepair, C::NotFound}, 10},
        {{C::NeedsRepair, C::CannotRead, C::NeedsRepair}, 1}, {{C::CannotRead, C::NeedsRepair}, 1},
    };
    for (const auto& [files, code] : cases) EXPECT_EQ(CheckExitCode(CombineChecks(files)), code) << files.size();
}

TEST(BrowserLocalStateFiles, StableChannelsFirstThenTheOthersIfPresent) {
    const std::vector<BrowserFile> files = BrowserLocalStateFiles(u"C:\\U\\L");
    const std::u16string browsers[] = {u"Google\\Chrome",      u"Microsoft\\Edge",     u"Google\\Chrome Beta",
                                       u"Google\\Chrome Dev",  u"Google\\Chrome SxS",  u"Chromium",
                                       u"Microsoft\\Edge Beta", u"Microsoft\\Edge Dev", u"Microsoft\\Edge SxS"};
    ASSERT_EQ(files.size(), std::size(browsers));
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(files[i].path, u"C:\\U\\L\\" + browsers[i] + u"\\User Data\\Local State");
        EXPECT_EQ(files[i].onlyIfPresent, i >= 2) << i;
    }
}

#ifdef _WIN32
// Which other channels a run looks at is what the walk reaches: confined, a link anywhere on the way is no file,
// wherever it leads and whatever is there, so neither the log nor the exit code can tell.
TEST(BrowserFilesToLookAt, OtherChannelsOnlyWhereTheWalkReachesAFile) {
    namespace fs = std::filesystem;
    testfs::TempDir dir;
    const fs::path local = dir / "Local", outside = dir / "outside";
    const auto file = [&](const char* channel) { return local / channel / "User Data" / "Local State"; };
    for (const char* channel : {"Google\\Chrome Beta", "Google\\Chrome SxS\\User Data\\Local State", "Microsoft\\Edge Beta",
                                "Microsoft\\Edge Dev", "..\\outside\\Dev"})  // SxS: a folder by the file's name
        fs::create_directories(file(channel).parent_path());
    for (const fs::path& f : {file("Google\\Chrome Beta"), file("Microsoft\\Edge Dev"), outside / "Local State"})
        testfs::WriteBytes(f, "{}");
    ASSERT_TRUE(testfs::MakeSymlink(outside / "Dev", local / "Google" / "Chrome Dev"));
    ASSERT_TRUE(testfs::MakeSymlink(outside / "Local State", file("Microsoft\\Edge Beta")));
    fs::create_hard_link(file("Microsoft\\Edge Dev"), outside / "Edge Dev");
    std::vector<std::u16string> confined, own;
    for (const char* channel : {"Google\\Chrome", "Microsoft\\Edge", "Google\\Chrome Beta"})
        confined.push_back(testfs::U16(file(channel)));
    own = confined;
    for (const char* channel : {"Google\\Chrome Dev", "Microsoft\\Edge Beta", "Microsoft\\Edge Dev"})
        own.push_back(testfs::U16(file(channel)));
    for (bool linksLeadToFiles : {false, true}) {
        SCOPED_TRACE(linksLeadToFiles);
        EXPECT_EQ(BrowserFilesToLookAt(testfs::U16(local), Confinement(testfs::U16(dir.path()))), confined);
        testfs::WriteBytes(outside / "Dev" / "User Data" / "Local State", "{}");
    }
    EXPECT_EQ(BrowserFilesToLookAt(testfs::U16(local), {}), own);
    testfs::RemoveSymlink(local / "Google" / "Chrome Dev");
}
#endif

TEST(Profiles, PeoplesAccountsOnly) {
    const struct { const char16_t* sid; bool person; } cases[] = {
        {u"S-1-5-21-1004336348-1177238915-682003330-1001", true}, {u"S-1-5-21-0-0-0-1000", true},
        {u"S-1-12-1-1234567890-1234567890-1234567890-1234567890", true},
        {u"S-1-5-18", false}, {u"S-1-5-19", false}, {u"S-1-5-20", false},  // LocalSystem, LocalService, NetworkService
        {u"S-1-5-80-956008885-3418522649", false},  // a service's own
        {u"S-1-5-82-3006700770-424185619", false},  // an application pool
        {u"S-1-5-21", false}, {u"S-1-5-21-", false}, {u"S-1-5-21-1-2-", false}, {u"S-1-5-210-1-2", false},
        {u"S-1-12-10-1", false}, {u"S-1-5-21-1--2", false}, {u"s-1-5-21-1-2", false}, {u"", false},
        {u"S-1-5-21-1-2.bak", false},  // a profile Windows set aside
    };
    for (const auto& c : cases) EXPECT_EQ(IsPersonSid(c.sid), c.person) << testing::PrintToString(std::u16string(c.sid));
    EXPECT_EQ(ProfileLocalAppData(u"C:\\Users\\ann"), u"C:\\Users\\ann\\AppData\\Local");
    EXPECT_EQ(ProfileLocalAppData(u"C:\\Users\\ann\\"), u"C:\\Users\\ann\\AppData\\Local");
}

}  // namespace
