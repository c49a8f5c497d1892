#include "textfile/textfile.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "textfile/codepage.h"
#include "textfile/fileio.h"

namespace {

// Files of 2^31 bytes or more are never read whole.
constexpr uint64_t kMaxWholeFile = 0x7FFFFFFF;
constexpr size_t kDetectChunk = 1 << 20;
// Small enough to be checked while still in the nearest cache.
constexpr size_t kReadPiece = 1 << 16;

uint32_t CodePageOf(TextEncoding encoding) { return encoding == encAnsi ? AnsiCodePage : kCodePageUtf8; }

// The content check over a whole open file, a piece at a time, so that a
// file of any size can be judged without holding it in memory.
TextEncoding DetectOpenFile(FileHandle& file) {
    if (!file.SeekTo(0)) return encAnsi;
    std::unique_ptr<uint8_t[]> chunk(new uint8_t[kDetectChunk]);
    size_t got = file.Read(chunk.get(), kDetectChunk);
    TextEncoding encoding = encAnsi;
    if (DetectBom(BomHead(chunk.get(), got), encoding) != 0) return encoding;
    Utf8Check check;
    while (got > 0 && check.Feed(chunk.get(), got)) got = file.Read(chunk.get(), kDetectChunk);
    return check.Verdict();
}

std::u16string DecodeUtf16(const uint8_t* p, size_t count, bool bigEndian) {
    // An odd last byte becomes a character of its own, as its low byte.
    std::u16string text((count + 1) / 2, u'\0');
    const size_t pairs = count / 2;
    if (!bigEndian && LittleEndianHost()) {
        if (pairs) std::memcpy(&text[0], p, 2 * pairs);
        if (count % 2) text[pairs] = static_cast<char16_t>(p[count - 1]);
        return text;
    }
    const int hi = bigEndian ? 0 : 1, lo = bigEndian ? 1 : 0;
    for (size_t i = 0; i < pairs; ++i)
        text[i] = static_cast<char16_t>(p[2 * i + lo] | (p[2 * i + hi] << 8));
    if (count % 2) text[pairs] = static_cast<char16_t>(p[count - 1]);
    return text;
}

std::u16string Decode(const uint8_t* p, size_t count, TextEncoding encoding) {
    switch (encoding) {
    case encAnsi:
    case encUtf8Bom:
    case encUtf8: return BytesToText(reinterpret_cast<const char*>(p), count, CodePageOf(encoding));
    case encUtf16LE: return DecodeUtf16(p, count, false);
    case encUtf16BE: return DecodeUtf16(p, count, true);
    default: return {};  // UTF-32 reads as empty text
    }
}

// What a write puts in the file: the mark when asked for, then the text.
struct Encoded {
    std::string mark;
    std::string text;
    bool Empty() const { return mark.empty() && text.empty(); }
};

// False when the encoding cannot hold text (UTF-32, none chosen) or the
// conversion yields nothing.
bool Encode(const std::u16string& text, TextEncoding encoding, bool withMark, Encoded& out) {
    if (withMark) {
        uint32_t mark = 0;
        const size_t length = BomForEncoding(encoding, mark);
        for (size_t i = 0; i < length; ++i) out.mark += static_cast<char>((mark >> (8 * i)) & 0xFF);
    }
    if (text.empty()) return true;
    switch (encoding) {
    case encAnsi:
    case encUtf8Bom:
    case encUtf8:
        out.text = TextToBytes(text, CodePageOf(encoding));
        return !out.text.empty();
    case encUtf16LE:
    case encUtf16BE: {
        out.text.resize(2 * text.size());
        char* q = &out.text[0];
        if (encoding == encUtf16LE && LittleEndianHost()) {
            std::memcpy(q, text.data(), out.text.size());
            return true;
        }
        const int hi = encoding == encUtf16BE ? 0 : 1, lo = 1 - hi;
        for (size_t i = 0; i < text.size(); ++i) {
            q[2 * i + lo] = static_cast<char>(text[i] & 0xFF);
            q[2 * i + hi] = static_cast<char>(text[i] >> 8);
        }
        return true;
    }
    default: return false;
    }
}

bool ReplaceContent(const std::u16string& path, const std::u16string& text, TextEncoding encoding) {
    // Everything is encoded before the file is touched, so text that cannot
    // be written leaves the file as it was.
    Encoded bytes;
    if (!Encode(text, encoding, true, bytes)) return false;
    ReplacementFile file(path);
    return file.IsOpen() && file.Write(bytes.mark.data(), bytes.mark.size()) &&
           file.Write(bytes.text.data(), bytes.text.size()) && file.Commit();
}

bool AppendContent(const std::u16string& path, const std::u16string& text, TextEncoding& encoding,
                   TextEncoding defaultEncoding) {
    if (encoding == encAuto && !IsValidTextEncoding(defaultEncoding)) return false;
    FileHandle file = FileHandle::Open(path, FileHandle::Access::ReadWriteAlways);
    uint64_t size = 0;
    if (!file.IsOpen() || !file.Size(&size)) return false;
    // An empty file is written from its start and gets a mark.
    const bool append = size != 0;
    if (encoding == encAuto) encoding = defaultEncoding;
    if (encoding == encAuto && append) encoding = DetectOpenFile(file);
    if (encoding == encAuto) return text.empty();
    Encoded bytes;
    if (!Encode(text, encoding, !append, bytes)) return false;
    if (bytes.Empty()) return true;
    if (!file.SeekTo(size)) return false;
    if (!(bytes.mark.empty() || file.Write(bytes.mark.data(), bytes.mark.size())) ||
        !(bytes.text.empty() || file.Write(bytes.text.data(), bytes.text.size()))) {
        // Take back whatever part of the text got in.
        file.Truncate(size);
        return false;
    }
    return true;
}

}  // namespace

bool LittleEndianHost() {
    const char16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

TextEncoding GetFileEncoding(const std::u16string& path) {
    try {
        FileHandle file = FileHandle::Open(path, FileHandle::Access::ReadExisting);
        if (!file.IsOpen()) return encAuto;
        return DetectOpenFile(file);
    } catch (...) {
        return encAuto;
    }
}

std::u16string ReadTextFile(const std::u16string& path, TextEncoding& encoding) {
    if (!IsValidTextEncoding(encoding)) return {};
    try {
        FileHandle file = FileHandle::Open(path, FileHandle::Access::ReadExisting);
        uint64_t size = 0;
        if (!file.IsOpen() || !file.Size(&size) || size > kMaxWholeFile) return {};
        // One read: the same bytes are judged and then decoded.
        std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size ? size : 1]);
        if (!bytes) return {};
        const size_t got = file.Read(bytes.get(), static_cast<size_t>(size));
        file.Close();
        size_t markLength = 0;
        const TextEncoding detected = DetectEncoding(bytes.get(), got, markLength);
        size_t skip = 0;
        if (encoding == encAuto) {
            encoding = detected;
            skip = markLength;
        } else if (encoding == detected) {
            skip = markLength;
        }
        if (skip >= got) return {};
        return Decode(bytes.get() + skip, got - skip, encoding);
    } catch (...) {
        return {};
    }
}

bool WriteTextFile(const std::u16string& path, const std::u16string& text, bool append, TextEncoding& encoding,
                   TextEncoding defaultEncoding) {
    if (!IsValidTextEncoding(encoding) || (encoding == encAuto && !append)) return false;
    try {
        return append ? AppendContent(path, text, encoding, defaultEncoding) : ReplaceContent(path, text, encoding);
    } catch (...) {
        return false;
    }
}

bool ReadTextFileBytes(const std::u16string& path, TextFileBytes& out, uint32_t* error) {
    FileHandle file = FileHandle::Open(path, FileHandle::Access::ReadExisting);
    uint64_t size = 0;
    if (!file.IsOpen() || !file.Size(&size)) {
        *error = LastFileError();
        return false;
    }
    if (size > kMaxWholeFile) {
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
    // FF FE alone reads as a UTF-32 mark but is an empty UTF-16 file.
    if (out.encoding == encUtf32LE && out.size == 2) out.encoding = encUtf16LE, out.markLength = 2;
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

bool ReplaceFileContent(const std::u16string& path, const std::vector<ByteSpan>& pieces, uint32_t* error) {
    try {
        ReplacementFile file(path);
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
