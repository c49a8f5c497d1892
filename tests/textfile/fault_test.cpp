// Writes that cannot be completed: the file keeps its content, the writer
// says false, and nothing is left behind in the folder.
#include <gtest/gtest.h>

#include <set>

#include "../support/testfs.h"
#include "textfile/fileio.h"
#include "textfile/textfile.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace {

namespace fs = testfs::fs;

const std::string kOriginal = "\xEF\xBB\xBF{\"original\":true}";

class WriteFault : public ::testing::Test {
protected:
    testfs::TempDir dir;
    fs::path file = dir / "Local State";
    std::u16string path = testfs::U16(file);

    void SetUp() override { testfs::WriteBytes(file, kOriginal); }
    void TearDown() override { FailFileWriteForTesting(0); }

    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename().u8string());
        return names;
    }
    // Every way of writing fails and changes nothing.
    void ExpectEveryWriteRefused() {
        TextEncoding e = encUtf8Bom;
        EXPECT_FALSE(WriteTextFile(path, u"{\"new\":1}", false, e, encAnsi));
        e = encUtf8Bom;
        EXPECT_FALSE(WriteTextFile(path, u"{\"new\":1}", true, e, encAnsi));
        e = encAuto;
        EXPECT_FALSE(WriteTextFile(path, u"{\"new\":1}", true, e, encAuto));
    }
    void ExpectUntouched() {
        EXPECT_EQ(testfs::ReadBytes(file), kOriginal);
        EXPECT_EQ(Names(), std::set<std::string>{"Local State"});
    }
};

std::u16string BigText() {
    std::u16string text;
    while (text.size() < 200000) text += u"{\"profile\":\"\u4E2D\u6587\",\"n\":12345},\r\n";
    return text;
}

TEST_F(WriteFault, AWriteFailingMidwayLeavesTheOriginal) {
    for (TextEncoding enc : {encAnsi, encUtf8Bom, encUtf8, encUtf16LE, encUtf16BE}) {
        SCOPED_TRACE(enc);
        FailFileWriteForTesting(1);
        TextEncoding e = enc;
        EXPECT_FALSE(WriteTextFile(path, BigText(), false, e, encAnsi));
        ExpectUntouched();
    }
    // The hook fired exactly once: the next write goes through.
    TextEncoding e = encUtf8;
    EXPECT_TRUE(WriteTextFile(path, u"ok", false, e, encAnsi));
    EXPECT_EQ(testfs::ReadBytes(file), "ok");
}

TEST_F(WriteFault, AnAppendFailingMidwayIsTakenBack) {
    FailFileWriteForTesting(1);
    TextEncoding e = encUtf8;
    EXPECT_FALSE(WriteTextFile(path, BigText(), true, e, encAnsi));
    ExpectUntouched();
    // Into an empty file, with its mark.
    testfs::WriteBytes(file, "");
    FailFileWriteForTesting(1);
    e = encUtf16LE;
    EXPECT_FALSE(WriteTextFile(path, BigText(), true, e, encAnsi));
    EXPECT_EQ(testfs::ReadBytes(file), "");
}

TEST_F(WriteFault, ANewFileFailingMidwayIsNotCreated) {
    const fs::path fresh = dir / "fresh.json";
    FailFileWriteForTesting(1);
    TextEncoding e = encUtf16BE;
    EXPECT_FALSE(WriteTextFile(testfs::U16(fresh), BigText(), false, e, encAnsi));
    EXPECT_FALSE(fs::exists(fresh));
    ExpectUntouched();
}

TEST_F(WriteFault, ReplacingKeepsTheFilesAttributes) {
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str()), FILE_ATTRIBUTE_HIDDEN));
#else
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
#endif
    TextEncoding e = encUtf8;
    ASSERT_TRUE(WriteTextFile(path, u"new", false, e, encAnsi));
    EXPECT_EQ(testfs::ReadBytes(file), "new");
    EXPECT_EQ(Names(), std::set<std::string>{"Local State"});
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str()));
    EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN));
#else
    struct stat st;
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
#endif
}

TEST_F(WriteFault, AReadOnlyTargetIsNotWritten) {
#ifdef _WIN32
    ASSERT_TRUE(SetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str()), FILE_ATTRIBUTE_READONLY));
#else
    ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
#endif
    ExpectEveryWriteRefused();
    ExpectUntouched();
    // Reading it is fine.
    TextEncoding e = encAuto;
    EXPECT_EQ(ReadTextFile(path, e), u"{\"original\":true}");
#ifdef _WIN32
    SetFileAttributesW(reinterpret_cast<const wchar_t*>(path.c_str()), FILE_ATTRIBUTE_NORMAL);
#endif
}

#ifdef _WIN32
TEST_F(WriteFault, ATargetLockedByAnotherHandleIsNeitherReadNorWritten) {
    HANDLE lock = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    ExpectEveryWriteRefused();
    TextEncoding e = encAuto;
    EXPECT_EQ(ReadTextFile(path, e), u"");
    EXPECT_EQ(e, encAuto);
    EXPECT_EQ(GetFileEncoding(path), encAuto);
    CloseHandle(lock);
    ExpectUntouched();
}

TEST_F(WriteFault, AHolderThatForbidsDeletionBlocksOnlyTheReplacement) {
    // The swap needs the right to delete the old file; without it the
    // replacement fails whole, while reading and appending still work.
    HANDLE holder = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    TextEncoding e = encUtf8Bom;
    EXPECT_FALSE(WriteTextFile(path, u"{\"new\":1}", false, e, encAnsi));
    ExpectUntouched();
    e = encAuto;
    EXPECT_EQ(ReadTextFile(path, e), u"{\"original\":true}");
    EXPECT_TRUE(WriteTextFile(path, u"+", true, e, encAuto));
    CloseHandle(holder);
    EXPECT_EQ(testfs::ReadBytes(file), kOriginal + "+");
}

TEST_F(WriteFault, AReaderSharingTheFileDoesNotBlockAReplacement) {
    // A program that reads with full sharing, as editors do, does not stop the swap.
    HANDLE reader = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    TextEncoding e = encUtf8;
    EXPECT_TRUE(WriteTextFile(path, u"new", false, e, encAnsi));
    CloseHandle(reader);
    EXPECT_EQ(testfs::ReadBytes(file), "new");
    EXPECT_EQ(Names(), std::set<std::string>{"Local State"});
}
#endif

TEST_F(WriteFault, ADirectoryIsNotAFile) {
    const fs::path folder = dir / "folder";
    fs::create_directory(folder);
    fs::path inside = folder / "keep.txt";
    testfs::WriteBytes(inside, "x");
    const std::u16string p = testfs::U16(folder);
    TextEncoding e = encUtf8;
    EXPECT_FALSE(WriteTextFile(p, u"text", false, e, encAnsi));
    EXPECT_FALSE(WriteTextFile(p, u"text", true, e, encAnsi));
    e = encAuto;
    EXPECT_EQ(ReadTextFile(p, e), u"");
    EXPECT_EQ(e, encAuto);
    EXPECT_EQ(GetFileEncoding(p), encAuto);
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(testfs::ReadBytes(inside), "x");
    EXPECT_EQ(Names(), (std::set<std::string>{"Local State", "folder"}));
}

TEST_F(WriteFault, AMissingFolderIsNotCreated) {
    const fs::path missing = dir / "no such folder" / "Local State";
    const std::u16string p = testfs::U16(missing);
    TextEncoding e = encUtf8;
    EXPECT_FALSE(WriteTextFile(p, u"text", false, e, encAnsi));
    EXPECT_FALSE(WriteTextFile(p, u"text", true, e, encAnsi));
    e = encAuto;
    EXPECT_EQ(ReadTextFile(p, e), u"");
    EXPECT_EQ(e, encAuto);
    EXPECT_EQ(GetFileEncoding(p), encAuto);
    EXPECT_FALSE(fs::exists(dir / "no such folder"));
    ExpectUntouched();
}

TEST(ReplacementFile, UncommittedContentIsDiscarded) {
    testfs::TempDir dir;
    const fs::path file = dir / "a.txt";
    testfs::WriteBytes(file, "old");
    {
        ReplacementFile r(testfs::U16(file));
        ASSERT_TRUE(r.IsOpen());
        ASSERT_TRUE(r.Write("new", 3));
        EXPECT_TRUE(fs::exists(fs::path(r.TemporaryPath())));
        EXPECT_EQ(fs::path(r.TemporaryPath()).parent_path(), file.parent_path());
        EXPECT_EQ(testfs::ReadBytes(file), "old");
    }
    EXPECT_EQ(testfs::ReadBytes(file), "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

}  // namespace
