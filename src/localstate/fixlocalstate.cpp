#include <string>
#include <vector>

#include "localstate/localstate.h"
#include "localstate/version.h"
#include "regex/regex.h"
#include "textfile/textfile.h"

namespace {

// What the rules make of a file's bytes. The new content is the file's own
// bytes wherever no replacement went, so nothing the rules did not write can
// change, whatever the file holds: bytes its encoding does not allow
// included.
class LocalStateRules : public FileRules {
public:
    explicit LocalStateRules(const std::string& lastVersion) : lastVersion_(lastVersion) {}
    void Run(TextFileBytes& file) override;

private:
    template <class Unit>
    void RunInPlace(TextFileBytes& file, size_t offset, regex::EditText<Unit>& text);

    std::string lastVersion_;
    int major_ = 0;
    regex::EditText<uint8_t> narrow_;    // the edited text, which `pieces` may point into
    regex::EditText<char16_t> wide_;
    std::string encoded_;                // what the pieces cannot take from the edited text
};

// The rules on units kept in the file's own buffer: the edited buffer is
// the new file, mark included, and then the odd last byte of a UTF-16 file,
// which is no unit.
template <class Unit>
void LocalStateRules::RunInPlace(TextFileBytes& file, size_t offset, regex::EditText<Unit>& text) {
    const size_t width = sizeof(Unit);
    const size_t units = (file.size - file.markLength) / width;
    const size_t tail = file.size - file.markLength - units * width;
    const uint8_t last = file.size ? file.data()[file.size - 1] : 0;
    text = regex::EditText<Unit>(std::move(file.storage), file.capacity / width, offset, units);
    changed = ApplyLocalStateRules(text, &lines, major_);
    const auto* base = reinterpret_cast<const uint8_t*>(text.Data()) - file.markLength;
    pieces = {{base, file.markLength + text.Size() * width}};
    if (tail) {
        encoded_.assign(1, static_cast<char>(last));
        pieces.push_back({reinterpret_cast<const uint8_t*>(encoded_.data()), 1});
    }
}

void LocalStateRules::Run(TextFileBytes& file) {
    const bool eightBit = TextUnitWidth(file.encoding) == 1;
    // The browsers write the file in UTF-8; one in another encoding was not
    // written by them, and tells no version.
    std::string version = lastVersion_;
    if (version.empty() && eightBit)
        version = StatsVersion({reinterpret_cast<const char*>(file.data()) + file.markLength, file.size - file.markLength});
    major_ = MajorVersion(version);
    if (major_) lines.push_back(u"Browser version: " + std::u16string(version.begin(), version.end()));
    if (eightBit && (file.encoding != encAnsi || file.ascii)) {
        RunInPlace<uint8_t>(file, file.markLength, narrow_);
        return;
    }
    if (file.encoding == encUtf16LE && LittleEndianHost()) {
        RunInPlace<char16_t>(file, 1, wide_);
        return;
    }
    // An ANSI file with double-byte characters, or one whose units are not
    // its bytes: a copy of its units, written back byte for byte.
    const std::u16string units = TextFileUnits(file);
    wide_ = regex::EditCopy(units);
    changed = ApplyLocalStateRules(wide_, &lines, major_);
    if (!changed) return;
    encoded_.assign(reinterpret_cast<const char*>(file.data()), file.markLength);
    EncodeUnits(std::u16string_view(wide_.Data(), wide_.Size()), file.encoding, encoded_);
    const size_t tail = file.markLength + units.size() * TextUnitWidth(file.encoding);
    encoded_.append(reinterpret_cast<const char*>(file.data()) + tail, file.size - tail);
    pieces = {{reinterpret_cast<const uint8_t*>(encoded_.data()), encoded_.size()}};
}

}  // namespace

FixOutcome FixLocalState(const std::u16string& path, const LogLine& log, const Confinement& confinement,
                         const std::string& lastVersion) {
    try {
        LocalStateRules rules(lastVersion);
        return FixFile(path, u"Loal Stage", rules, log, confinement);
    } catch (...) {
        return FixOutcome::NotSaved;
    }
}

CheckOutcome CheckLocalState(const std::u16string& path, const Confinement& confinement,
                             const std::string& lastVersion) {
    try {
        LocalStateRules rules(lastVersion);
        return CheckFile(path, rules, confinement);
    } catch (...) {
        return CheckOutcome::CannotRead;
    }
}
