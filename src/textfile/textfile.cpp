#include "textfile/textfile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "textfile/codepage.h"
#include "fileio/fileio.h"

namespace {

// Files of 2^31 bytes or more are never read whole.
constexpr uint64_t kMaxWholeFile = 0x7FFFFFFF;
// Another user's file costs the run what its user could make it cost: a
// run for everyone reads no more than this of it, nothing sparse, and
// writes back no more than twice what it read (and a little room, for a
// small file that takes a whole entry).
constexpr uint64_t kMaxOthersFile = uint64_t(64) << 20;
constexpr uint64_t kOthersGrowthRoom = 4096;
// Small enough to be checked while still in the nearest cache.
constexpr size_t kReadPiece = 1 << 16;

}  // namespace

bool LittleEndianHost() {
    const char16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

bool ReadTextFileBytes(const FolderHandle& folder, TextFileBytes& out, uint32_t* error) {
    FileHandle& file = folder.File();
    uint64_t size = 0;
    if (!file.IsOpen()) {
        *error = folder.FileError();
        return false;
    }
    if (!file.Size(&size)) {
        *error = LastFileError();
        return false;
    }
    if (size > kMaxWholeFile || (folder.Confined() && (size > kMaxOthersFile || file.Sparse()))) {
        *error = kErrorTooLarge;
        return false;
    }
    out.size = static_cast<size_t>(size);
    // Room for what the rules insert, reserved once and never zero-filled.
    out.capacity = (out.size + out.size / 64 + 4096) / 2 * 2;
    out.storage.reset(new (std::nothrow) char16_t[out.capacity / 2]);
    if (!out.storage) {
        *error = kErrorNoMemory;
        return false;
    }
    uint8_t* bytes = reinterpret_cast<uint8_t*>(out.storage.get());
    AdviseWholeFileBuffer(bytes, out.capacity);
    // Read a piece at a time and checked while the piece is still in the
    // cache: one trip through memory instead of two. A file that shrank
    // while being read is not the file that was sized: splicing into a part
    // of it would lose the rest.
    Utf8Check check;
    for (size_t done = 0; done < out.size || done == 0;) {
        const size_t want = std::min<size_t>(out.size - done, kReadPiece);
        if (file.Read(bytes + done, want) != want) {
            const uint32_t why = LastFileError();
            *error = why ? why : kErrorReadFault;
            return false;
        }
        if (done == 0) out.markLength = DetectBom(BomHead(bytes, want), out.encoding);
        if (out.markLength == 0) check.Feed(bytes + done, want);
        done += want;
        if (want == 0) break;
    }
    if (out.markLength == 0) out.encoding = check.Verdict();
    out.ascii = out.markLength == 0 && check.AllAscii();
    // A UTF-32 mark takes four bytes. FF FE with fewer than two after it
    // looks like one only because missing bytes count as zero: it is a
    // UTF-16 mark, and the file holds no units.
    if (out.encoding == encUtf32LE && out.size < 4) out.encoding = encUtf16LE, out.markLength = 2;
    if (out.encoding == encUtf32LE || out.encoding == encUtf32BE) {
        *error = kErrorNoTranslation;
        return false;
    }
    return true;
}

size_t TextUnitWidth(TextEncoding encoding) { return encoding == encUtf16LE || encoding == encUtf16BE ? 2 : 1; }

std::u16string TextFileUnits(const TextFileBytes& file) {
    const uint8_t* p = file.data() + file.markLength;
    const size_t width = TextUnitWidth(file.encoding);
    const size_t count = (file.size - file.markLength) / width;
    std::u16string units;
    units.reserve(count);
    if (width == 2) {
        const int hi = file.encoding == encUtf16BE ? 0 : 1, lo = 1 - hi;
        for (size_t i = 0; i < count; ++i) units += static_cast<char16_t>(p[2 * i + lo] | (p[2 * i + hi] << 8));
        return units;
    }
    for (size_t i = 0; i < count; ++i) {
        const bool pair = p[i] >= 0x80 && file.encoding == encAnsi && AnsiCharLength(p + i, count - i, AnsiCodePage) == 2;
        units += static_cast<char16_t>(p[i] < 0x80 ? p[i] : 0xFF00 | p[i]);
        if (pair) ++i, units += static_cast<char16_t>(0xFF00 | p[i]);
    }
    return units;
}

void EncodeUnits(std::u16string_view units, TextEncoding encoding, std::string& out) {
    for (char16_t c : units) {
        if (encoding == encUtf16BE) out += static_cast<char>(c >> 8);
        out += static_cast<char>(c & 0xFF);
        if (encoding == encUtf16LE) out += static_cast<char>(c >> 8);
    }
}

bool ReplaceFileContent(const FolderHandle& folder, const std::vector<ByteSpan>& pieces, uint32_t* error) {
    try {
        uint64_t read = 0, total = 0;
        for (const ByteSpan& piece : pieces) total += piece.size;
        if (folder.Confined() && folder.File().Size(&read) && total > 2 * read + kOthersGrowthRoom) {
            *error = kErrorTooLarge;
            return false;
        }
        ReplacementFile file(folder);
        // Small pieces are gathered so that a file with many repairs is not
        // written a few bytes per call; large ones go straight out.
        constexpr size_t kGather = 1 << 16;
        std::string gathered;
        gathered.reserve(kGather);
        bool ok = file.IsOpen();
        for (const ByteSpan& piece : pieces) {
            if (!ok) break;
            if (gathered.size() + piece.size <= kGather) {
                gathered.append(reinterpret_cast<const char*>(piece.data), piece.size);
                continue;
            }
            ok = file.Write(gathered.data(), gathered.size()) && file.Write(piece.data, piece.size);
            gathered.clear();
        }
        ok = ok && file.Write(gathered.data(), gathered.size()) && file.Commit();
        if (!ok) *error = file.Error() ? file.Error() : kErrorWriteFault;
        return ok;
    } catch (...) {
        *error = kErrorNoMemory;
        return false;
    }
}
