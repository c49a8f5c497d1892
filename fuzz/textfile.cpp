// Arbitrary bytes as a Local State file. The repair either leaves it alone or changes it only where a rule wrote:
// what it writes must read back as the units the rules produced, with every byte outside them kept.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "../tests/support/testfs.h"
#include "localstate/localstate.h"
#include "regex/regex.h"
#include "fileio/fileio.h"
#include "textfile/textfile.h"

static void Check(bool ok) { if (!ok) std::abort(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const testfs::TempDir scratch;
    const std::u16string path = testfs::U16(scratch / "Local State");
    const std::string before(reinterpret_cast<const char*>(data), size);
    testfs::WriteBytes(path, before);
    TextFileBytes file;
    uint32_t error = 0;
    const bool read = ReadTextFileBytes(FolderHandle::OpenFor(path), file, &error);
    std::vector<std::u16string> lines;
    // The oracle: the rules on a copy of the file's units, whatever width and buffer the repair edits them in.
    regex::EditText<char16_t> expected = regex::EditCopy(read ? TextFileUnits(file) : std::u16string());
    ApplyLocalStateRules(expected, &lines);
    const FixOutcome outcome = FixLocalState(path, [](const std::u16string&) {});
    const std::string after = testfs::ReadBytes(path);
    Check(read || (outcome == FixOutcome::Unreadable && after == before));
    if (!read) return 0;
    Check((outcome == FixOutcome::Saved) == (after != before));
    // The new file read again gives the rules' units; the mark and, for UTF-16, an odd last byte stay put.
    TextFileBytes again;
    Check(ReadTextFileBytes(FolderHandle::OpenFor(path), again, &error) && again.encoding == file.encoding);
    Check(TextFileUnits(again) == std::u16string_view(expected.Data(), expected.Size()) && after.compare(0, file.markLength, before, 0, file.markLength) == 0);
    const size_t width = TextUnitWidth(file.encoding);
    Check((after.size() - before.size()) % width == 0);
    Check((before.size() - file.markLength) % width == 0 || after.back() == before.back());
    return 0;
}
