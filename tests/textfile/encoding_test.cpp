#include "textfile/encoding.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "utf8_reference.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TextEncoding Check(const std::string& s) {
    TextEncoding e = encAuto;
    CheckUtf8(reinterpret_cast<const uint8_t*>(s.data()), s.size(), e);
    return e;
}

TextEncoding Reference(const std::string& s) {
    std::vector<uint8_t> copy = Bytes(s);
    return ReferenceCheckUtf8(copy.data(), copy.size());
}

TEST(ShiftLeadBit, DropsTheTopBitAndShiftsInAZero) {
    EXPECT_EQ(ShiftLeadBit(0xC3), 0x86);
    EXPECT_EQ(ShiftLeadBit(0x86), 0x0C);
    EXPECT_EQ(ShiftLeadBit(0xFF), 0xFE);
    EXPECT_EQ(ShiftLeadBit(0x80), 0x00);
    EXPECT_EQ(ShiftLeadBit(0x7F), 0xFE);
    EXPECT_EQ(ShiftLeadBit(0x00), 0x00);
}

struct BomCase {
    std::string head;
    TextEncoding encoding;
    size_t length;
};

TEST(DetectBom, MarksInTheirOrderWithMissingBytesAsZero) {
    const BomCase cases[] = {
        {"\xFF\xFE\x00\x00", encUtf32LE, 4}, {std::string("\xFF\xFE", 2), encUtf32LE, 4},
        {std::string("\xFF\xFE\x00", 3), encUtf32LE, 4}, {std::string("\x00\x00\xFE\xFF", 4), encUtf32BE, 4},
        {std::string("\xFF\xFE\x41\x00", 4), encUtf16LE, 2}, {std::string("\xFF\xFE\x00\x41", 4), encUtf16LE, 2},
        {std::string("\xFE\xFF\x00\x41", 4), encUtf16BE, 2}, {"\xFE\xFF", encUtf16BE, 2},
        {"\xEF\xBB\xBF\xFF", encUtf8Bom, 3}, {"\xEF\xBB\xBF", encUtf8Bom, 3},
        {"\xEF\xBB", encAnsi, 0}, {"\xEF", encAnsi, 0}, {"\xFE", encAnsi, 0}, {"", encAnsi, 0},
        {std::string("\x00\x00\xFE", 3), encAnsi, 0}, {std::string("\x00\xFE\xFF\x00", 4), encAnsi, 0},
        {"abcd", encAnsi, 0}, {"\xFF\xFF\xFE\xFF", encAnsi, 0},
    };
    for (const BomCase& c : cases) {
        std::vector<uint8_t> b = Bytes(c.head);
        TextEncoding e = encAuto;
        EXPECT_EQ(DetectBom(BomHead(b.data(), b.size()), e), c.length) << testing::PrintToString(b);
        EXPECT_EQ(e, c.encoding) << testing::PrintToString(b);
    }
}

TEST(BomHead, FirstByteLowestAndOnlyFourBytes) {
    const uint8_t b[] = {0x11, 0x22, 0x33, 0x44, 0x55};
    EXPECT_EQ(BomHead(b, 5), 0x44332211u);
    EXPECT_EQ(BomHead(b, 2), 0x2211u);
    EXPECT_EQ(BomHead(b, 0), 0u);
}

TEST(BomForEncoding, EveryCodeAndItsRoundTripThroughDetection) {
    const uint32_t marks[] = {0, 0, 0xBFBBEF, 0, 0xFEFF, 0xFFFE, 0x0000FEFF, 0xFFFE0000};
    const size_t lengths[] = {0, 0, 3, 0, 2, 2, 4, 4};
    for (TextEncoding e = encAuto; e <= encUtf32BE; ++e) {
        uint32_t mark = 12345;
        const size_t length = BomForEncoding(e, mark);
        EXPECT_EQ(length, lengths[e + 1]) << e;
        EXPECT_EQ(mark, marks[e + 1]) << e;
        if (length > 0) {
            // The UTF-16LE mark alone reads as the start of the UTF-32LE one.
            TextEncoding back = encAuto;
            EXPECT_EQ(DetectBom(mark, back), e == encUtf16LE ? 4u : length);
            EXPECT_EQ(back, e == encUtf16LE ? encUtf32LE : e);
        }
    }
    for (TextEncoding e : {-2, 7, 100, INT32_MIN, INT32_MAX}) {
        uint32_t mark = 12345;
        EXPECT_EQ(BomForEncoding(e, mark), 0u);
        EXPECT_EQ(mark, 0u);
    }
}

TEST(TextEncodingName, NamesOnlyValidCodes) {
    EXPECT_EQ(std::u16string(TextEncodingName(encAuto)), u"encAuto");
    EXPECT_EQ(std::u16string(TextEncodingName(encUtf8Bom)), u"encUtf8Bom");
    EXPECT_EQ(std::u16string(TextEncodingName(encUtf16BE)), u"encUtf16BE");
    EXPECT_EQ(std::u16string(TextEncodingName(encUtf32BE)), u"encUtf32BE");
    EXPECT_EQ(std::u16string(TextEncodingName(7)), u"");
    EXPECT_EQ(std::u16string(TextEncodingName(-2)), u"");
    EXPECT_FALSE(IsValidTextEncoding(-2));
    EXPECT_FALSE(IsValidTextEncoding(7));
    EXPECT_TRUE(IsValidTextEncoding(encAuto));
}

// A stress corpus of well- and ill-formed sequences, with the verdict the
// lenient rule gives: only the count of continuation bytes matters.
TEST(CheckUtf8, StressCorpus) {
    const std::pair<std::string, TextEncoding> cases[] = {
        {"", encAnsi},
        {"plain ASCII text, tabs\tand\r\nline ends", encAnsi},
        {std::string("\x00\x01\x7F", 3), encAnsi},
        {"caf\xC3\xA9", encUtf8},
        {"\xC3\xA9", encUtf8},
        {"\xE4\xB8\xAD\xE6\x96\x87", encUtf8},                // CJK
        {"\xF0\x9F\x98\x80", encUtf8},                        // beyond the BMP
        {"\xC0\x80", encUtf8},                                // overlong NUL passes
        {"\xC1\xBF", encUtf8},
        {"\xE0\x80\x80", encUtf8},                            // overlong three-byte
        {"\xED\xA0\x80", encUtf8},                            // encoded surrogate
        {"\xF4\x90\x80\x80", encUtf8},                        // above U+10FFFF
        {"\xF8\x88\x80\x80\x80", encUtf8},                    // five one-bits
        {"\xFC\x84\x80\x80\x80\x80", encUtf8},                // six
        {"\xFE\x80\x80\x80\x80\x80\x80", encUtf8},            // seven
        {"\xFF\x80\x80\x80\x80\x80\x80\x80", encUtf8},        // eight
        {"\xFF\x80\x80\x80\x80\x80\x80", encAnsi},            // eight, one short
        {"\xFF\x80\x80\x80\x80\x80\x80" "A", encAnsi},
        {"abc\xA9", encAnsi},                                 // continuation without lead
        {"\x80", encAnsi},
        {"\xBF" "abc", encAnsi},
        {"\xC3" "A", encAnsi},                                // lead then ASCII
        {"abc\xC3", encAnsi},                                 // cut off at the end
        {"\xE4\xB8", encAnsi},
        {"\xC3\xA9\xA9", encAnsi},                            // one continuation too many
        {"\xC3\xC3\xA9", encAnsi},                            // lead where a continuation belongs
        {"\xC3\xA9 then ASCII \xE2\x82\xAC and more", encUtf8},
        {"\xD6\xD0\xCE\xC4", encAnsi},                        // GBK for two CJK characters
        {"caf\xE9", encAnsi},                                 // Windows-1252
        {"\xEF\xBB\xBF" "abc", encUtf8},                      // a mark is only content here
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Check(c.first), c.second) << testing::PrintToString(Bytes(c.first));
        EXPECT_EQ(Reference(c.first), c.second) << testing::PrintToString(Bytes(c.first));
    }
}

// The ASCII runs are skipped in blocks; a deciding byte must be seen at
// every position relative to those blocks.
TEST(CheckUtf8, DecidingBytesAtEveryOffset) {
    for (size_t pad = 0; pad < 80; ++pad) {
        const std::string before(pad, 'a'), after(80 - pad % 13, 'z');
        EXPECT_EQ(Check(before + "\xC3\xA9" + after), encUtf8) << pad;
        EXPECT_EQ(Check(before + "\xE2\x82\xAC"), encUtf8) << pad;
        EXPECT_EQ(Check(before + "\xA9" + after), encAnsi) << pad;
        EXPECT_EQ(Check(before + "\xC3" + after), encAnsi) << pad;
        EXPECT_EQ(Check(before + "\xE2\x82"), encAnsi) << pad;
        EXPECT_EQ(Check(before + "\xC3\xA9" + after + "\xA9"), encAnsi) << pad;
        EXPECT_EQ(Check(before + after), encAnsi) << pad;
    }
}

std::string RandomText(std::mt19937& rng, size_t length) {
    // Mostly ASCII with sequences that are right, cut short or overlong, so
    // that both verdicts come up often.
    static const char* const pieces[] = {"\xC3\xA9", "\xE4\xB8\xAD", "\xF0\x9F\x98\x80", "\xC3", "\xA9",
                                         "\xF8\x88\x80\x80\x80", "\xFF", "\x80\x80"};
    std::string s;
    while (s.size() < length) {
        const uint32_t r = rng() % 100;
        if (r < 90) s += static_cast<char>(0x20 + rng() % 0x5F);
        else if (r < 98) s += pieces[rng() % 3];
        else s += pieces[rng() % 8];
    }
    return s;
}

TEST(CheckUtf8, AgreesWithTheByteByByteCheck) {
    std::mt19937 rng(20260306);
    int verdicts[2] = {0, 0};
    for (int i = 0; i < 4000; ++i) {
        std::string s;
        if (i % 4 == 0) {
            s.resize(rng() % 64);
            for (char& c : s) c = static_cast<char>(rng());
        } else {
            s = RandomText(rng, rng() % 300);
        }
        const TextEncoding fast = Check(s), slow = Reference(s);
        ASSERT_EQ(fast, slow) << testing::PrintToString(Bytes(s));
        ++verdicts[fast == encUtf8];
    }
    // Both verdicts were exercised, not one of them only.
    EXPECT_GT(verdicts[0], 400);
    EXPECT_GT(verdicts[1], 400);
}

TEST(Utf8Check, PiecesGiveTheWholeBuffersVerdict) {
    std::mt19937 rng(7);
    for (int i = 0; i < 300; ++i) {
        const std::string s = RandomText(rng, 1 + rng() % 100);
        const TextEncoding whole = Check(s);
        for (size_t cut = 0; cut <= s.size(); cut += 1 + cut / 8) {
            Utf8Check check;
            const auto* p = reinterpret_cast<const uint8_t*>(s.data());
            if (check.Feed(p, cut)) check.Feed(p + cut, s.size() - cut);
            ASSERT_EQ(check.Verdict(), whole) << cut << ' ' << testing::PrintToString(Bytes(s));
        }
    }
}

TEST(DetectEncoding, MarkFirstThenContent) {
    size_t mark = 99;
    auto detect = [&mark](const std::string& s) {
        return DetectEncoding(reinterpret_cast<const uint8_t*>(s.data()), s.size(), mark);
    };
    EXPECT_EQ(detect("\xEF\xBB\xBF\xFF\xFF"), encUtf8Bom);  // a mark wins over bad content
    EXPECT_EQ(mark, 3u);
    EXPECT_EQ(detect("\xC3\xA9"), encUtf8);
    EXPECT_EQ(mark, 0u);
    EXPECT_EQ(detect(std::string("\xFF\xFE\x00\x00\x41\x00", 6)), encUtf32LE);
    EXPECT_EQ(mark, 4u);
    EXPECT_EQ(detect(""), encAnsi);
    EXPECT_EQ(mark, 0u);
}

}  // namespace
