#include "log/log.h"

#include <gtest/gtest.h>

#include "../support/testfs.h"
#include "textfile/codepage.h"
#include "textfile/fileio.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

const DateTime kSample{2026, 1, 2, 3, 4, 5};

TEST(FormatDateStamp, EveryLayout) {
    EXPECT_EQ(FormatDateStamp(kSample, 1), u"2026-01-02 03:04:05");
    EXPECT_EQ(FormatDateStamp(kSample, 2), u"2026-01-02");
    EXPECT_EQ(FormatDateStamp(kSample, 3), u"03:04:05");
    EXPECT_EQ(FormatDateStamp(kSample, 4), u"20260102");
    EXPECT_EQ(FormatDateStamp(kSample, 5), u"20260102030405");
}

TEST(FormatDateStamp, PaddingAndUnknownLayouts) {
    DateTime t{987, 12, 31, 0, 59, 9};
    EXPECT_EQ(FormatDateStamp(t, 1), u"987-12-31 00:59:09");  // the year is never padded
    for (int16_t layout : {0, 6, -1}) EXPECT_EQ(FormatDateStamp(kSample, layout), u"") << layout;
    for (int16_t layout = -1; layout <= 6; ++layout) EXPECT_EQ(FormatDateStamp(std::nullopt, layout), u"");
}

TEST(LogFilePath, NamedByDay) {
    std::u16string sep(1, kPathSeparator);
    EXPECT_EQ(LogFilePath(u"dir", DateTime{2026, 3, 7, 23, 59, 59}), u"dir" + sep + u"zaridedev.log.20260307.txt");
    EXPECT_EQ(LogFilePath(u"dir", DateTime{2026, 3, 8, 0, 0, 0}), u"dir" + sep + u"zaridedev.log.20260308.txt");
}

class LogFile : public ::testing::Test {
protected:
    testfs::TempDir dir;
    testfs::fs::path file = dir / "zaridedev.log.20260307.txt";
    std::u16string path = testfs::U16(file);
};

TEST_F(LogFile, EntriesAreSeparatedByCrLfWithNoneAtTheEnd) {
    ASSERT_TRUE(AppendLogEntry(path, DateTime{2026, 3, 7, 9, 5, 4}, u"Loal Stage: no change"));
    EXPECT_EQ(testfs::ReadBytes(file), "2026-03-07 09:05:04  Loal Stage: no change");
    ASSERT_TRUE(AppendLogEntry(path, DateTime{2026, 3, 7, 9, 5, 5}, u"excluded_schemes: false"));
    EXPECT_EQ(testfs::ReadBytes(file),
              "2026-03-07 09:05:04  Loal Stage: no change\r\n2026-03-07 09:05:05  excluded_schemes: false");
}

TEST_F(LogFile, EmptyFileAndHandEditedFile) {
    testfs::WriteBytes(file, "");
    ASSERT_TRUE(AppendLogEntry(path, kSample, u""));
    EXPECT_EQ(testfs::ReadBytes(file), "2026-01-02 03:04:05  ");

    testfs::WriteBytes(file, "old\r\n");
    ASSERT_TRUE(AppendLogEntry(path, kSample, u"a\r\nb"));
    EXPECT_EQ(testfs::ReadBytes(file), "old\r\n\r\n2026-01-02 03:04:05  a\r\nb");
}

TEST_F(LogFile, ChineseMessagesInTheAnsiCodePage) {
    const std::u16string message = u"\u672a\u627e\u5230\u6587\u4ef6:C:\\x";  // 未找到文件:
    ASSERT_TRUE(AppendLogEntry(path, kSample, message));
    std::string expected = "2026-01-02 03:04:05  " + TextToBytes(message, kCodePageAnsi);
    EXPECT_EQ(testfs::ReadBytes(file), expected);
    if (ActiveAnsiCodePage() == 936) {
        EXPECT_EQ(BytesToText(expected, kCodePageAnsi).substr(21), message);
    }
}

TEST_F(LogFile, UnwritablePlacesLoseOnlyTheNewEntry) {
    EXPECT_FALSE(AppendLogEntry(testfs::U16(dir / "missing" / "x.txt"), kSample, u"lost"));
    EXPECT_FALSE(testfs::fs::exists(dir / "missing"));
    testfs::fs::create_directory(dir / "folder.txt");
    EXPECT_FALSE(AppendLogEntry(testfs::U16(dir / "folder.txt"), kSample, u"lost"));
    EXPECT_TRUE(testfs::fs::is_directory(dir / "folder.txt"));
}

#ifdef _WIN32
// Another program holds the day's file open.
HANDLE Hold(const std::u16string& path, DWORD access, DWORD share) {
    return CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), access, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST_F(LogFile, FileLockedAgainstWritingKeepsItsEntries) {
    testfs::WriteBytes(file, "earlier");
    HANDLE h = Hold(path, GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(AppendLogEntry(path, kSample, u"lost"));
    CloseHandle(h);
    EXPECT_EQ(testfs::ReadBytes(file), "earlier");
    EXPECT_TRUE(AppendLogEntry(path, kSample, u"next"));  // the next call starts afresh
    EXPECT_EQ(testfs::ReadBytes(file), "earlier\r\n2026-01-02 03:04:05  next");
}

TEST_F(LogFile, FileUnreadableByOthersStillGetsTheEntryAppended) {
    testfs::WriteBytes(file, "earlier");
    HANDLE h = Hold(path, GENERIC_READ, FILE_SHARE_WRITE);  // nobody else may read it
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(AppendLogEntry(path, kSample, u"new"));
    CloseHandle(h);
    EXPECT_EQ(testfs::ReadBytes(file), "earlier\r\n2026-01-02 03:04:05  new");
}

#endif

TEST(WriteLog, OffMeansNoFileAtAll) {
    LogEnabled = false;
    std::u16string path = LogFilePath(ApplicationFolder(), LocalNow());
    bool existed = testfs::fs::exists(testfs::fs::path(path));
    WriteLog(u"nothing");
    EXPECT_EQ(testfs::fs::exists(testfs::fs::path(path)), existed);
}

}  // namespace
