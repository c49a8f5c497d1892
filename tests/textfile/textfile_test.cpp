#include "textfile/textfile.h"

#include <gtest/gtest.h>

#include "../support/testfs.h"
#include "fileio/fileio.h"

namespace {

using B = std::string;

// The encoding the reader finds in a file, its mark, and the units the rules search: ASCII as it is, any other byte
// of an 8-bit file marked FF00 so that no rule can take it for a quote or a brace.
TEST(ReadTextFileBytes, FindsTheEncodingTheMarkAndTheUnits) {
    struct Case { B bytes; TextEncoding encoding; size_t mark; std::u16string units; } cases[] = {
        {"", encAnsi, 0, u""}, {"{\"x\":true}", encAnsi, 0, u"{\"x\":true}"}, {"\xC3\xA9", encUtf8, 0, u"\xFFC3\xFFA9"},
        {"\xF8\x88\x80\x80\x80", encUtf8, 0, u"\xFFF8\xFF88\xFF80\xFF80\xFF80"},  // five leading one-bits
        {"\xFF\x80\x80\x80\x80\x80\x80\x80", encUtf8, 0, u"\xFFFF\xFF80\xFF80\xFF80\xFF80\xFF80\xFF80\xFF80"},
        {"\xEF\xBB\xBF\xC3\xA9", encUtf8Bom, 3, u"\xFFC3\xFFA9"},
        {"\xEF\xBB\xBF\xC3", encUtf8Bom, 3, u"\xFFC3"},  // the mark decides, whatever follows
        {"\xC3\xA9x\xC3", encAnsi, 0, u"\xFFC3\xFFA9x\xFFC3"},  // a sequence cut off by the end
        {"\xEF\xBB" "A", encAnsi, 0, u"\xFFEF\xFFBB" "A"},        // a mark cut short
        {"a\xA9", encAnsi, 0, u"a\xFFA9"},                      // a continuation byte without a lead byte
        {"\x81\x7D", encAnsi, 0, u"\xFF81\xFF7D"},  // code page 936: one character, its second byte no brace
        {"\xC4\x7D\x81\x40", encAnsi, 0, u"\xFFC4\xFF7D\xFF81\xFF40"},  // UTF-8 if the brace were a continuation
        {"\xE4\xB8\xAD\x7D", encUtf8, 0, u"\xFFE4\xFFB8\xFFAD}"},
        {B("\xFF\xFE\x41\x00\x42\x00", 6), encUtf16LE, 2, u"AB"},
        {B("\xFE\xFF\x00\x41\x00\x42", 6), encUtf16BE, 2, u"AB"},
        {"\xFF\xFE\x41", encUtf16LE, 2, u""},  // an odd last byte is no unit
        // Too short for a UTF-32 mark: an empty UTF-16LE file.
        {"\xFF\xFE", encUtf16LE, 2, u""}, {B("\xFF\xFE\0", 3), encUtf16LE, 2, u""},
    };
    testfs::TempDir dir;
    const auto file = dir / "Local State";
    const std::u16string path = testfs::U16(file);
    // An unmarked file's bytes also stand at every offset of the blocks and
    // words the UTF-8 check skips ASCII by, and before a tail after them.
    for (const Case& c : cases)
        for (size_t offset = 0; offset < (c.mark == 0 && !c.bytes.empty() ? 64 : 1); ++offset)
            for (size_t tail : {0, c.mark == 0 && !c.bytes.empty() ? 40 : 0}) {
                SCOPED_TRACE(testing::Message() << testing::PrintToString(c.bytes) << " at " << offset << ", tail " << tail);
                testfs::WriteBytes(file, B(offset, ' ') + c.bytes + B(tail, ' '));
                TextFileBytes read;
                uint32_t error = 0;
                ASSERT_TRUE(ReadTextFileBytes(FolderHandle::OpenFor(path), read, &error));
                EXPECT_EQ(read.encoding, c.encoding);
                EXPECT_EQ(read.markLength, c.mark);
                EXPECT_EQ(TextFileUnits(read), std::u16string(offset, u' ') + c.units + std::u16string(tail, u' '));
            }
    // UTF-32 has no units, and a missing file no bytes.
    for (const B& refused : {B("\xFF\xFE\0\0{\0\0\0", 8), B("\0\0\xFE\xFF", 4), B()}) {
        if (refused.empty()) testfs::fs::remove(file);
        else testfs::WriteBytes(file, refused);
        TextFileBytes read;
        uint32_t error = 0;
        EXPECT_FALSE(ReadTextFileBytes(FolderHandle::OpenFor(path), read, &error));
        EXPECT_EQ(error == kErrorNoTranslation, !refused.empty());
    }
}

}  // namespace
