#include "textfile/textfile.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "../support/testfs.h"
#include "textfile/codepage.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

namespace fs = testfs::fs;

class TextFile : public ::testing::Test {
protected:
    testfs::TempDir dir;
    fs::path file = dir / "Local State";
    std::u16string path = testfs::U16(file);

    void Put(const std::string& bytes) { testfs::WriteBytes(file, bytes); }
    std::string Bytes() const { return testfs::ReadBytes(file); }
    std::u16string Read(TextEncoding& e) const { return ReadTextFile(path, e); }
    std::set<std::string> Names() const {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename().u8string());
        return names;
    }
};

TEST_F(TextFile, Utf8WithMarkReadsAfterTheMarkAndWritesBackTheSame) {
    const std::string bytes = "\xEF\xBB\xBF{\"a\":\"\xE4\xB8\xAD\"}";
    Put(bytes);
    TextEncoding e = encAuto;
    const std::u16string text = Read(e);
    EXPECT_EQ(e, encUtf8Bom);
    EXPECT_EQ(text, u"{\"a\":\"\u4E2D\"}");
    EXPECT_EQ(GetFileEncoding(path), encUtf8Bom);
    EXPECT_TRUE(WriteTextFile(path, text, false, e, encAnsi));
    EXPECT_EQ(Bytes(), bytes);

    // Named as the other UTF-8, the mark stays in the text.
    e = encUtf8;
    EXPECT_EQ(Read(e), u"\uFEFF{\"a\":\"\u4E2D\"}");
    EXPECT_EQ(e, encUtf8);
}

TEST_F(TextFile, Utf8WithoutMarkStaysWithoutMark) {
    Put("\xC3\xA9");
    TextEncoding e = encAuto;
    EXPECT_EQ(Read(e), u"\u00E9");
    EXPECT_EQ(e, encUtf8);
    EXPECT_TRUE(WriteTextFile(path, u"\u00E9\u00E8", false, e, encAnsi));
    EXPECT_EQ(Bytes(), "\xC3\xA9\xC3\xA8");
    // Malformed bytes named as UTF-8 do not stop the conversion.
    Put("a\xFF" "b");
    e = encUtf8;
    EXPECT_EQ(Read(e), u"a\uFFFDb");
}

TEST_F(TextFile, Utf16BothOrdersAndOddLengths) {
    const std::pair<std::string, std::u16string> le[] = {
        {std::string("\xFF\xFE\x41\x00\x42\x00", 6), u"AB"},
        {std::string("\xFF\xFE\x41\x00", 4), u"A"},
        {std::string("\xFF\xFE\x41", 3), u"A"},          // the odd byte is the low byte
        {std::string("\xFF\xFE\x41\x00\x3D\xD8\x00\xDE", 8), u"A\U0001F600"},
    };
    for (const auto& c : le) {
        Put(c.first);
        TextEncoding e = encAuto;
        EXPECT_EQ(Read(e), c.second) << c.first.size();
        EXPECT_EQ(e, encUtf16LE);
    }
    const std::pair<std::string, std::u16string> be[] = {
        {std::string("\xFE\xFF\x00\x41\x00\x42", 6), u"AB"},
        {std::string("\xFE\xFF\x00\x41\x42", 5), u"AB"},  // a lone last byte too
        {std::string("\xFE\xFF\x4E\x2D", 4), u"\u4E2D"},
    };
    for (const auto& c : be) {
        Put(c.first);
        TextEncoding e = encAuto;
        EXPECT_EQ(Read(e), c.second) << c.first.size();
        EXPECT_EQ(e, encUtf16BE);
    }

    TextEncoding e = encUtf16BE;
    ASSERT_TRUE(WriteTextFile(path, u"AB", false, e, encAnsi));
    EXPECT_EQ(Bytes(), std::string("\xFE\xFF\x00\x41\x00\x42", 6));
    e = encUtf16LE;
    ASSERT_TRUE(WriteTextFile(path, u"A\U0001F600", false, e, encAnsi));
    EXPECT_EQ(Bytes(), le[3].first);
    EXPECT_EQ(GetFileEncoding(path), encUtf16LE);
}

TEST_F(TextFile, MarksAloneEmptyFilesAndUtf32) {
    const std::pair<std::string, TextEncoding> marks[] = {
        {"\xEF\xBB\xBF", encUtf8Bom}, {"\xFE\xFF", encUtf16BE}, {"\xFF\xFE", encUtf32LE},
        {std::string("\xFF\xFE\x00\x00", 4), encUtf32LE}, {std::string("\x00\x00\xFE\xFF", 4), encUtf32BE},
        {std::string("\xFF\xFE\x00\x00\x41\x00\x00\x00", 8), encUtf32LE}, {"", encAnsi},
    };
    for (const auto& c : marks) {
        Put(c.first);
        TextEncoding e = encAuto;
        EXPECT_EQ(Read(e), u"") << c.first.size();
        EXPECT_EQ(e, c.second) << c.first.size();
        EXPECT_EQ(GetFileEncoding(path), c.second) << c.first.size();
    }
    // UTF-32 is never written, and refusing leaves the file alone.
    for (TextEncoding utf32 : {encUtf32LE, encUtf32BE}) {
        Put("keep");
        TextEncoding e = utf32;
        EXPECT_FALSE(WriteTextFile(path, u"x", false, e, encAnsi));
        EXPECT_FALSE(WriteTextFile(path, u"x", true, e, encAnsi));
        EXPECT_EQ(Bytes(), "keep");
    }
    TextEncoding e = encUtf16LE;
    EXPECT_TRUE(WriteTextFile(path, u"", false, e, encAnsi));
    EXPECT_EQ(Bytes(), "\xFF\xFE");
    e = encUtf8;
    EXPECT_TRUE(WriteTextFile(path, u"", false, e, encAnsi));
    EXPECT_EQ(Bytes(), "");
}

TEST_F(TextFile, BadCodesAreRefusedWithoutTouchingTheFile) {
    Put("\xC3\xA9");
    for (TextEncoding bad : {-2, 7, INT32_MIN}) {
        TextEncoding e = bad;
        EXPECT_EQ(Read(e), u"");
        EXPECT_EQ(e, bad);
        EXPECT_FALSE(WriteTextFile(path, u"x", false, e, encAnsi));
        EXPECT_FALSE(WriteTextFile(path, u"x", true, e, encAnsi));
        EXPECT_EQ(e, bad);
        // Nor is a bad default taken up.
        e = encAuto;
        EXPECT_FALSE(WriteTextFile(path, u"x", true, e, bad));
        EXPECT_EQ(e, encAuto);
    }
    TextEncoding e = encAuto;
    EXPECT_FALSE(WriteTextFile(path, u"x", false, e, encUtf8));
    EXPECT_EQ(e, encAuto);
    EXPECT_EQ(Bytes(), "\xC3\xA9");
    e = encAuto;
    EXPECT_FALSE(WriteTextFile(testfs::U16(dir / "other"), u"x", false, e, encUtf8));
    EXPECT_FALSE(fs::exists(dir / "other"));
}

TEST_F(TextFile, AppendsToEachKindOfFile) {
    // A named encoding adds no mark to a non-empty file, whatever it holds.
    Put("abc");
    TextEncoding e = encUtf16LE;
    ASSERT_TRUE(WriteTextFile(path, u"d", true, e, encAnsi));
    EXPECT_EQ(Bytes(), std::string("abcd\x00", 5));
    Put("\xEF\xBB\xBF" "a");
    e = encUtf16BE;
    ASSERT_TRUE(WriteTextFile(path, u"b", true, e, encAnsi));
    EXPECT_EQ(Bytes(), std::string("\xEF\xBB\xBF" "a\x00" "b", 6));

    // Encoding and default both automatic: the file's own encoding.
    Put(std::string("\xFF\xFE\x41\x00", 4));
    e = encAuto;
    ASSERT_TRUE(WriteTextFile(path, u"B", true, e, encAuto));
    EXPECT_EQ(e, encUtf16LE);
    EXPECT_EQ(Bytes(), std::string("\xFF\xFE\x41\x00\x42\x00", 6));
    Put("\xC3\xA9");
    e = encAuto;
    ASSERT_TRUE(WriteTextFile(path, u"\u00E8", true, e, encAuto));
    EXPECT_EQ(e, encUtf8);
    EXPECT_EQ(Bytes(), "\xC3\xA9\xC3\xA8");
    Put(std::string("\xFE\xFF\x00\x41", 4));
    e = encAuto;
    ASSERT_TRUE(WriteTextFile(path, u"B", true, e, encAuto));
    EXPECT_EQ(e, encUtf16BE);
    EXPECT_EQ(Bytes(), std::string("\xFE\xFF\x00\x41\x00\x42", 6));

    // Automatic with a default: the default, even against the file's mark.
    Put(std::string("\xFF\xFE\x41\x00", 4));
    e = encAuto;
    ASSERT_TRUE(WriteTextFile(path, u"\u00E9", true, e, encUtf8));
    EXPECT_EQ(e, encUtf8);
    EXPECT_EQ(Bytes(), std::string("\xFF\xFE\x41\x00\xC3\xA9", 6));

    // An empty or missing file is written from its start, with a mark.
    for (bool missing : {false, true}) {
        if (missing) fs::remove(file); else Put("");
        e = encUtf8Bom;
        ASSERT_TRUE(WriteTextFile(path, u"x", true, e, encAnsi)) << missing;
        EXPECT_EQ(Bytes(), "\xEF\xBB\xBF" "x") << missing;
        if (missing) fs::remove(file); else Put("");
        e = encAuto;
        ASSERT_TRUE(WriteTextFile(path, u"x", true, e, encUtf16BE)) << missing;
        EXPECT_EQ(e, encUtf16BE);
        EXPECT_EQ(Bytes(), std::string("\xFE\xFF\x00x", 4)) << missing;
    }

    // Nothing to choose an encoding from: empty text succeeds, text fails.
    Put("");
    e = encAuto;
    EXPECT_TRUE(WriteTextFile(path, u"", true, e, encAuto));
    EXPECT_FALSE(WriteTextFile(path, u"x", true, e, encAuto));
    EXPECT_EQ(e, encAuto);
    EXPECT_EQ(Bytes(), "");
}

TEST_F(TextFile, UnicodeFolderAndFileNames) {
    // A user folder the ANSI code page cannot name.
    const fs::path folder = dir.path() / fs::u8path("\xE7\x94\xA8\xE6\x88\xB7 \xD0\x98\xD0\xB2\xD0\xB0\xD0\xBD \xC3\xA9");
    fs::create_directory(folder);
    const std::u16string p = testfs::U16(folder / fs::u8path("\xE6\x96\x87\xE4\xBB\xB6.json"));
    TextEncoding e = encUtf8;
    ASSERT_TRUE(WriteTextFile(p, u"{\"k\":1}", false, e, encAnsi));
    EXPECT_EQ(GetFileEncoding(p), encAnsi);
    e = encAuto;
    EXPECT_EQ(ReadTextFile(p, e), u"{\"k\":1}");
    EXPECT_EQ(e, encAnsi);
    e = encUtf16LE;
    ASSERT_TRUE(WriteTextFile(p, u"\u4E2D", true, e, encAnsi));
    EXPECT_EQ(testfs::ReadBytes(folder / fs::u8path("\xE6\x96\x87\xE4\xBB\xB6.json")), std::string("{\"k\":1}\x2D\x4E", 9));
}

TEST_F(TextFile, LargeFilesRoundTripAndTheTwoGigabyteLimit) {
    std::string big;
    for (int i = 0; big.size() < 3 * 1024 * 1024; ++i)
        big += "line " + std::to_string(i) + (i % 7 ? " ascii\r\n" : " \xE4\xB8\xAD\xE6\x96\x87\r\n");
    Put("\xEF\xBB\xBF" + big);
    TextEncoding e = encAuto;
    const std::u16string text = Read(e);
    EXPECT_EQ(e, encUtf8Bom);
    EXPECT_TRUE(WriteTextFile(path, text, false, e, encAnsi));
    EXPECT_EQ(Bytes(), "\xEF\xBB\xBF" + big);
    Put(big);
    EXPECT_EQ(GetFileEncoding(path), encUtf8);
    Put(big + "\xFF");  // decided by the very last byte
    EXPECT_EQ(GetFileEncoding(path), encAnsi);

    // 2^31 bytes (sparse): never read whole, the argument left alone.
    Put(std::string("\xFE\xFF\x00\x41", 4));
    fs::resize_file(file, 0x80000000ull);
    e = encAuto;
    EXPECT_EQ(Read(e), u"");
    EXPECT_EQ(e, encAuto);
    EXPECT_EQ(GetFileEncoding(path), encUtf16BE);
}

// ANSI text goes through the system's code page: 1252 and 936 are the two
// this suite knows samples for.
struct AnsiSample {
    uint32_t codePage;
    std::u16string text;
    std::string bytes;
};

const AnsiSample kSamples[] = {
    {1252, u"caf\u00E9 \u20AC5 \u00FC", "caf\xE9 \x80" "5 \xFC"},
    {936, u"\u4E2D\u6587 abc \u8BBE\u7F6E", "\xD6\xD0\xCE\xC4 abc \xC9\xE8\xD6\xC3"},
};

std::vector<AnsiSample> SamplesForThisRun() {
#ifdef _WIN32
    std::vector<AnsiSample> out;
    for (const AnsiSample& s : kSamples)
        if (s.codePage == ActiveAnsiCodePage()) out.push_back(s);
    return out;
#else
    return std::vector<AnsiSample>(std::begin(kSamples), std::end(kSamples));
#endif
}

TEST(AnsiCodePage, IsTheSystemsAndTheOneThisRunExpects) {
    EXPECT_EQ(AnsiCodePage, 0u);
    const char* expected = std::getenv("DZD_EXPECT_ACP");
    if (!expected) GTEST_SKIP() << "DZD_EXPECT_ACP not set; code page " << ActiveAnsiCodePage();
#ifdef _WIN32
    EXPECT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
#endif
    EXPECT_EQ(ActiveAnsiCodePage(), static_cast<uint32_t>(std::atoi(expected)));
}

TEST_F(TextFile, AnsiTextThroughTheCodePage) {
    const std::vector<AnsiSample> samples = SamplesForThisRun();
    ASSERT_FALSE(samples.empty()) << "no sample for code page " << ActiveAnsiCodePage();
    for (const AnsiSample& s : samples) {
#ifndef _WIN32
        SetNativeAnsiCodePage(s.codePage);
#endif
        SCOPED_TRACE(s.codePage);
        TextEncoding e = encAnsi;
        ASSERT_TRUE(WriteTextFile(path, s.text, false, e, encAnsi));
        EXPECT_EQ(Bytes(), s.bytes);
        EXPECT_EQ(GetFileEncoding(path), encAnsi);
        e = encAuto;
        EXPECT_EQ(Read(e), s.text);
        EXPECT_EQ(e, encAnsi);
        // ASCII-only text is ANSI, and comes back byte for byte.
        Put("{\"x\":true}");
        e = encAuto;
        const std::u16string ascii = Read(e);
        EXPECT_EQ(e, encAnsi);
        ASSERT_TRUE(WriteTextFile(path, ascii, false, e, encAnsi));
        EXPECT_EQ(Bytes(), "{\"x\":true}");
        // Appending with the default encoding.
        e = encAuto;
        ASSERT_TRUE(WriteTextFile(path, s.text, true, e, encAnsi));
        EXPECT_EQ(Bytes(), "{\"x\":true}" + s.bytes);
    }
#ifndef _WIN32
    SetNativeAnsiCodePage(936);
#endif
}

}  // namespace
