#include "log/log.h"

#include <gtest/gtest.h>

#include "../support/testfs.h"
#include "fileio/fileio.h"

#ifdef _WIN32
#include "../support/testwin.h"
#endif

namespace {

TEST(FormatDateStamp, EveryLayoutPaddedButTheYear) {
    const DateTime t{987, 2, 3, 4, 5, 6};
    const char16_t* expected[] = {u"", u"987-02-03 04:05:06", u"987-02-03", u"04:05:06", u"9870203", u"9870203040506", u""};
    for (int16_t layout = 0; layout <= 6; ++layout) {
        EXPECT_EQ(FormatDateStamp(t, layout), expected[layout]);
        EXPECT_EQ(FormatDateStamp(std::nullopt, layout), u"");
    }
    EXPECT_EQ(FormatDateStamp(DateTime{2026, 12, 31, 23, 59, 59}, 5), u"20261231235959");
    EXPECT_EQ(LogFilePath(u"d", DateTime{2026, 3, 7, 23, 59, 59}), u"d" + std::u16string(1, kPathSeparator) + u"zaridedev.log.20260307.txt");
}

TEST(AppendLogEntry, EntriesSeparatedByCrLfWithNoneAtTheEnd) {
    testfs::TempDir dir;
    const testfs::fs::path file = dir / "log.txt";
    const std::u16string path = testfs::U16(file);
    const DateTime t{2026, 1, 2, 3, 4, 5};
    EXPECT_FALSE(AppendLogEntry(testfs::U16(dir / "missing" / "x.txt"), t, u"lost"));
    EXPECT_FALSE(AppendLogEntry(testfs::U16(dir.path()), t, u"lost"));  // a folder
    ASSERT_TRUE(AppendLogEntry(path, t, u"a"));
    ASSERT_TRUE(AppendLogEntry(path, t, u"b\r\nc"));
    EXPECT_EQ(testfs::ReadBytes(file), "2026-01-02 03:04:05  a\r\n2026-01-02 03:04:05  b\r\nc");
    // Whoever can write beside the program cannot point its log elsewhere, by a link or by a second name.
    const testfs::fs::path elsewhere = dir / "elsewhere.txt", planted = dir / "planted.txt";
    testfs::WriteBytes(elsewhere, "x");
#ifdef _WIN32
    // Wine can hang opening a Unix link for appending; the other way in is tried there.
    for (bool hardLink : {true}) {
#else
    for (bool hardLink : {true, false}) {
#endif
        testfs::fs::remove(planted);
        if (hardLink) testfs::fs::create_hard_link(elsewhere, planted);
        else ASSERT_TRUE(testfs::MakeSymlink(elsewhere, planted));
        EXPECT_FALSE(AppendLogEntry(testfs::U16(planted), t, u"lost")) << hardLink;
        EXPECT_EQ(testfs::ReadBytes(elsewhere), "x");
    }
    // A link that leads nowhere (any more): its target is not created.
    testfs::fs::remove(planted);
    testfs::WriteBytes(dir / "nowhere.txt", "");
    ASSERT_TRUE(testfs::MakeSymlink(dir / "nowhere.txt", planted));
    testfs::fs::remove(dir / "nowhere.txt");
    EXPECT_FALSE(AppendLogEntry(testfs::U16(planted), t, u"lost"));
    EXPECT_FALSE(testfs::fs::exists(dir / "nowhere.txt"));
#ifdef _WIN32
    // Another program holds it, sharing writes or not, letting go after a moment or only once the entry was given up.
    struct Hold { DWORD share, ms; bool lands; } holds[] = {
        {FILE_SHARE_WRITE, 500, true}, {FILE_SHARE_READ, 20, true}, {FILE_SHARE_READ, 500, false}};
    for (const Hold& hold : holds) {
        SCOPED_TRACE(&hold - holds);
        testfs::WriteBytes(file, "x");
        {
            const testwin::HeldFile held(file, hold.share, hold.ms);
            ASSERT_TRUE(held.Held());
            EXPECT_EQ(AppendLogEntry(path, t, u"y"), hold.lands);
        }
        EXPECT_EQ(testfs::ReadBytes(file), hold.lands ? "x\r\n2026-01-02 03:04:05  y" : "x");
    }
#endif
    LogEnabled = false;  // off: no file at all
    const std::u16string today = LogFilePath(ApplicationFolder(), LocalNow());
    const bool existed = testfs::fs::exists(testfs::fs::path(today));
    WriteLog(u"nothing");
    EXPECT_EQ(testfs::fs::exists(testfs::fs::path(today)), existed);
}

#ifdef _WIN32
// The log of a run for every profile goes to the fallback folder alone. A reader who holds the lock beside the program
// costs one wait: the rest of the run goes to the fallback, even once the lock is let go.
TEST(WriteLog, ARunForEveryoneAndAHeldLockLogInTheFallbackOnly) {
    const testfs::fs::path beside(LogFilePath(ApplicationFolder(), LocalNow())), fallback(LogFilePath(FallbackLogFolder(), LocalNow()));
    testfs::fs::remove(fallback);
    LogEnabled = LogForAdministratorsOnly = true;
    WriteLog(u"everyone's");
    LogForAdministratorsOnly = false;
    testfs::WriteBytes(beside, "x");  // none before: the run for everyone made none
    const HANDLE reader = CreateFileW(beside.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    OVERLAPPED lockByte = {};
    lockByte.OffsetHigh = 0x40000000;
    ASSERT_TRUE(LockFileEx(reader, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockByte));
    WriteLog(u"held");
    CloseHandle(reader);
    WriteLog(u"let go");
    LogEnabled = false;
    EXPECT_EQ(testfs::ReadBytes(beside), "x");
    std::string text = testfs::ReadBytes(fallback);
    for (size_t at = 0; (at = text.find("20")) != text.npos;) text.erase(at, 21);  // the time stamps
    EXPECT_EQ(text, "everyone's\r\nheld\r\nlet go");
    testfs::fs::remove(beside), testfs::fs::remove(fallback);
}
#endif

}  // namespace
