#include "textfile/textfile.h"

#include <gtest/gtest.h>

#include "../support/testfs.h"

namespace {

namespace fs = testfs::fs;
using B = std::string;

struct TextFile : ::testing::Test {
    testfs::TempDir dir;
    fs::path file = dir / "Local State";
    std::u16string path = testfs::U16(file);
};

// What the reader makes of a file, and the bytes the writer makes of that
// text again in the encoding found (the file's own bytes where it can).
TEST_F(TextFile, ReadDetectsAndWriteGivesTheBytesBack) {
    struct Case {
        B bytes;
        TextEncoding encoding;
        std::u16string text;
        B written;  // when the writer cannot give the file back
    } cases[] = {
        {"", encAnsi, u"", ""},
        {"{\"x\":true}", encAnsi, u"{\"x\":true}", ""},
        {"\xC3\xA9", encUtf8, u"\u00E9", ""},
        {"\xEF\xBB\xBF\xC3\xA9", encUtf8Bom, u"\u00E9", ""},
        {"\xB0\xA1", encAnsi, u"\u554A", ""},  // code page 936
        {B("\xFF\xFE\x41\x00\x42\x00", 6), encUtf16LE, u"AB", ""},
        {"\xFF\xFE\x41", encUtf16LE, u"A", B("\xFF\xFE\x41\x00", 4)},
        {B("\xFE\xFF\x00\x41\x00\x42", 6), encUtf16BE, u"AB", ""},
        {"\xFF\xFE", encUtf32LE, u"", ""},
        {B("\xFF\xFE\0\0A\0\0\0", 8), encUtf32LE, u"", ""},
        {B("\0\0\xFE\xFF", 4), encUtf32BE, u"", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        testfs::WriteBytes(file, c.bytes);
        EXPECT_EQ(GetFileEncoding(path), c.encoding);
        TextEncoding e = encAuto;
        EXPECT_EQ(ReadTextFile(path, e), c.text);
        EXPECT_EQ(e, c.encoding);
        if (c.encoding >= encUtf32LE) {
            EXPECT_FALSE(WriteTextFile(path, u"x", false, e, encAnsi));
            continue;
        }
        EXPECT_TRUE(WriteTextFile(path, c.text, false, e, encAnsi));
        EXPECT_EQ(testfs::ReadBytes(file), c.written.empty() ? c.bytes : c.written);
    }
    for (const char* notUtf8 : {"\xC3\xA9x\xC3", "\xEF\xBB" "A"}) {  // a sequence cut off by the end; a mark cut short
        testfs::WriteBytes(file, notUtf8);
        EXPECT_EQ(GetFileEncoding(path), encAnsi) << notUtf8;
    }
    // A named encoding other than the detected one keeps the mark as text.
    testfs::WriteBytes(file, "\xEF\xBB\xBFx");
    TextEncoding e = encUtf8;
    EXPECT_EQ(ReadTextFile(path, e), u"\uFEFFx");
    for (TextEncoding bad : {-2, 7}) {
        EXPECT_EQ(ReadTextFile(path, bad), u"");
        EXPECT_FALSE(WriteTextFile(path, u"y", false, bad, encAnsi));
    }
    e = encAuto;
    EXPECT_FALSE(WriteTextFile(path, u"y", false, e, encAnsi));
    EXPECT_EQ(testfs::ReadBytes(file), "\xEF\xBB\xBFx");
}

TEST_F(TextFile, AppendKeepsWhatIsThere) {
    struct Case {
        B before;
        TextEncoding encoding, fallback, chosen;
        B after;
    } cases[] = {
        {B("\xFF\xFE\x41\x00", 4), encAuto, encAuto, encUtf16LE, B("\xFF\xFE\x41\x00\xE9\x00", 6)},
        {"x", encUtf16LE, encAnsi, encUtf16LE, B("x\xE9\x00", 3)},
        {"", encUtf8Bom, encAnsi, encUtf8Bom, "\xEF\xBB\xBF\xC3\xA9"},
        {"x", encAuto, encUtf8, encUtf8, "x\xC3\xA9"},
    };
    for (const Case& c : cases) {
        testfs::WriteBytes(file, c.before);
        TextEncoding e = c.encoding;
        EXPECT_TRUE(WriteTextFile(path, u"\u00E9", true, e, c.fallback));
        EXPECT_EQ(e, c.chosen);
        EXPECT_EQ(testfs::ReadBytes(file), c.after);
    }
}

}  // namespace
