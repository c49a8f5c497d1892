#include <string>
#include <vector>

#include "localstate/localstate.h"
#include "regex/regex.h"
#include "log/log.h"
#include "fileio/fileio.h"
#include "textfile/textfile.h"

namespace {

// What the rules make of a file's bytes. The new content is the file's own
// bytes wherever no replacement went, so nothing the rules did not write can
// change, whatever the file holds: bytes its encoding does not allow
// included.
struct Repair {
    std::vector<std::u16string> lines;  // the decision lines
    bool changed = false;
    regex::EditText<uint8_t> narrow;    // the edited text, which `pieces` may point into
    regex::EditText<char16_t> wide;
    std::string encoded;                // what the pieces cannot take from the edited text
    std::vector<ByteSpan> pieces;       // the new content
};

// The rules on units kept in the file's own buffer: the edited buffer is
// the new file, mark included, and then the odd last byte of a UTF-16 file,
// which is no unit.
template <class Unit>
void RunInPlace(TextFileBytes& file, size_t offset, Repair& r, regex::EditText<Unit>& text) {
    const size_t width = sizeof(Unit);
    const size_t units = (file.size - file.markLength) / width;
    const size_t tail = file.size - file.markLength - units * width;
    const uint8_t last = file.size ? file.data()[file.size - 1] : 0;
    text = regex::EditText<Unit>(std::move(file.storage), file.capacity / width, offset, units);
    r.changed = ApplyLocalStateRules(text, &r.lines);
    const auto* base = reinterpret_cast<const uint8_t*>(text.Data()) - file.markLength;
    r.pieces = {{base, file.markLength + text.Size() * width}};
    if (tail) {
        r.encoded.assign(1, static_cast<char>(last));
        r.pieces.push_back({reinterpret_cast<const uint8_t*>(r.encoded.data()), 1});
    }
}

// Fills `r` in place: the pieces point into it.
void RunRules(TextFileBytes& file, Repair& r) {
    const bool eightBit = TextUnitWidth(file.encoding) == 1;
    if (eightBit && (file.encoding != encAnsi || file.ascii)) {
        RunInPlace<uint8_t>(file, file.markLength, r, r.narrow);
        return;
    }
    if (file.encoding == encUtf16LE && LittleEndianHost()) {
        RunInPlace<char16_t>(file, 1, r, r.wide);
        return;
    }
    // An ANSI file with double-byte characters, or one whose units are not
    // its bytes: a copy of its units, written back byte for byte.
    const std::u16string units = TextFileUnits(file);
    regex::EditText<char16_t>& text = r.wide;
    text = regex::EditCopy(units);
    r.changed = ApplyLocalStateRules(text, &r.lines);
    if (!r.changed) return;
    r.encoded.assign(reinterpret_cast<const char*>(file.data()), file.markLength);
    EncodeUnits(std::u16string_view(text.Data(), text.Size()), file.encoding, r.encoded);
    const size_t tail = file.markLength + units.size() * TextUnitWidth(file.encoding);
    r.encoded.append(reinterpret_cast<const char*>(file.data()) + tail, file.size - tail);
    r.pieces = {{reinterpret_cast<const uint8_t*>(r.encoded.data()), r.encoded.size()}};
}

}  // namespace

FixOutcome FixLocalState(const std::u16string& path, const std::function<void(const std::u16string&)>& log,
                         const Confinement& confinement) {
    const auto linked = [&] { log(u"Link in path, not followed: " + path); };
    try {
        // Whether the file is there is what the walk finds, link and all:
        // the folder held, and the file in it held from the read to the swap.
        const FolderHandle folder = FolderHandle::OpenFor(path, confinement);
        TextFileBytes file;
        uint32_t error = 0;
        const bool read = ReadTextFileBytes(folder, file, &error);
        if (!read && error == kErrorLinkInPath) {
            linked();
            return FixOutcome::Unreadable;
        }
        if (!read && NamesNoFile(error)) {
            log(u"未找到文件:" + path);
            return FixOutcome::NotFound;
        }
        log(u"文件存在：" + path);
        // Another program may let it go by the next run; in a run for
        // everyone, its user's program holds that profile up, no more.
        if (!read && folder.Confined() && HeldByAnother(error)) {
            log(u"Loal Stage: not saved (error " + DecimalText(error) + u")");
            return FixOutcome::NotSaved;
        }
        if (!read) {
            log(u"Cannot read file (error " + DecimalText(error) + u"): " + path);
            return FixOutcome::Unreadable;
        }
        Repair repair;
        RunRules(file, repair);
        for (const std::u16string& line : repair.lines) log(line);
        if (!repair.changed) {
            log(u"Loal Stage: no change");
            return FixOutcome::Unchanged;
        }
        if (ReplaceFileContent(folder, repair.pieces, &error)) {
            log(u"Loal Stage: changed and saved");
            return FixOutcome::Saved;
        }
        if (error == kErrorLinkInPath) linked();
        log(u"Loal Stage: changed, not saved (error " + DecimalText(error) + u")");
        return FixOutcome::NotSaved;
    } catch (...) {
        // A file made to exhaust memory, or anything else unforeseen, costs
        // this file's repair, not the run's other files and profiles.
        try {
            log(u"Loal Stage: not saved (error " + DecimalText(kErrorNoMemory) + u")");
        } catch (...) {
        }
        return FixOutcome::NotSaved;
    }
}

CheckOutcome CheckLocalState(const std::u16string& path, const Confinement& confinement) {
    try {
        const FolderHandle folder = FolderHandle::OpenFor(path, confinement);
        TextFileBytes file;
        uint32_t error = 0;
        if (!ReadTextFileBytes(folder, file, &error))
            return NamesNoFile(error) ? CheckOutcome::NotFound : CheckOutcome::CannotRead;
        Repair repair;
        RunRules(file, repair);
        return repair.changed ? CheckOutcome::NeedsRepair : CheckOutcome::UpToDate;
    } catch (...) {
        return CheckOutcome::CannotRead;
    }
}
