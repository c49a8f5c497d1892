#include <cstring>
#include <string>
#include <vector>

#include "localstate/localstate.h"
#include "localstate/regexp.h"
#include "log/log.h"
#include "textfile/fileio.h"
#include "textfile/textfile.h"

namespace {

std::u16string Number(uint32_t n) {
    std::u16string digits;
    do {
        digits.insert(digits.begin(), static_cast<char16_t>(u'0' + n % 10));
        n /= 10;
    } while (n != 0);
    return digits;
}

// What the rules make of a file's bytes. The new content is the file's own
// bytes wherever no replacement went, so nothing the rules did not write can
// change, whatever the file holds: bytes its encoding does not allow
// included.
struct Repair {
    std::vector<std::u16string> lines;  // the decision lines
    bool changed = false;
    bool exact = true;          // false when an insertion cannot be written in the file's encoding
    std::string inserted;       // the replacements' bytes, which `pieces` point into
    std::vector<ByteSpan> pieces;  // the new content
};

Repair RunRules(const TextFileBytes& file) {
    Repair r;
    TracedText text(TextFileUnits(file));
    const size_t units = text.text.size();
    ApplyLocalStateRules(text, &r.lines);
    if (text.runs.empty() || (text.runs.size() == 1 && text.runs[0].source == 0 && text.runs[0].length == units))
        return r;

    const size_t width = TextUnitWidth(file.encoding);
    const uint8_t* base = file.data.get() + file.markLength;
    // The insertions are encoded first, so that the pieces can point into
    // their final storage.
    std::vector<size_t> at;
    size_t pos = 0;
    for (const TracedText::Run& run : text.runs) {
        if (run.source == TracedText::kInserted) {
            at.push_back(r.inserted.size());
            if (!AppendEncodedAscii(std::u16string_view(text.text).substr(pos, run.length), file.encoding,
                                    r.inserted)) {
                r.changed = true;
                r.exact = false;
                return r;
            }
        }
        pos += run.length;
    }
    const auto* inserted = reinterpret_cast<const uint8_t*>(r.inserted.data());
    r.pieces.push_back({file.data.get(), file.markLength});
    size_t next = 0;
    for (const TracedText::Run& run : text.runs) {
        if (run.source == TracedText::kInserted) {
            const size_t from = at[next++];
            r.pieces.push_back({inserted + from, run.length * width});
        } else {
            r.pieces.push_back({base + run.source * width, run.length * width});
        }
    }
    const size_t tail = file.markLength + units * width;
    r.pieces.push_back({file.data.get() + tail, file.size - tail});

    // A replacement may write what was there already: only a difference in
    // bytes is a change.
    size_t offset = 0;
    for (const ByteSpan& piece : r.pieces) {
        if (offset + piece.size > file.size || std::memcmp(piece.data, file.data.get() + offset, piece.size) != 0) {
            r.changed = true;
            break;
        }
        offset += piece.size;
    }
    r.changed = r.changed || offset != file.size;
    return r;
}

}  // namespace

FixOutcome FixLocalState(const std::u16string& path, const std::function<void(const std::u16string&)>& log) {
    if (!FileExists(path)) {
        log(u"未找到文件:" + path);
        return FixOutcome::NotFound;
    }
    log(u"文件存在：" + path);

    TextFileBytes file;
    uint32_t error = 0;
    if (!ReadTextFileBytes(path, file, &error)) {
        log(u"Cannot read file (error " + Number(error) + u"): " + path);
        return FixOutcome::Unreadable;
    }
    const Repair repair = RunRules(file);
    for (const std::u16string& line : repair.lines) log(line);
    if (!repair.changed) {
        log(u"Loal Stage: no change");
        return FixOutcome::Unchanged;
    }
    if (!repair.exact) error = kErrorNoTranslation;
    if (repair.exact && ReplaceFileContent(path, repair.pieces, &error)) {
        log(u"Loal Stage: changed and saved");
        return FixOutcome::Saved;
    }
    log(u"Loal Stage: changed, not saved (error " + Number(error) + u")");
    return FixOutcome::NotSaved;
}

FixOutcome FixLocalState(const std::u16string& path) { return FixLocalState(path, WriteLog); }

CheckOutcome CheckLocalState(const std::u16string& path) {
    if (!FileExists(path)) return CheckOutcome::NotFound;
    TextFileBytes file;
    uint32_t error = 0;
    if (!ReadTextFileBytes(path, file, &error)) return CheckOutcome::CannotRead;
    return RunRules(file).changed ? CheckOutcome::NeedsRepair : CheckOutcome::UpToDate;
}
