// Arbitrary bytes as a file: it is read in the encoding detected, written
// to a second file in that encoding, and must read back as the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include "textfile/textfile.h"

namespace {

namespace fs = std::filesystem;

// A scratch folder for the whole run, removed when the process ends.
struct Scratch {
    fs::path folder = fs::temp_directory_path() / ("dzd-fuzz-textfile-" + std::to_string(std::random_device{}()));
    Scratch() { fs::create_directories(folder); }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(folder, ec);
    }
};

const fs::path& Folder() {
    static const Scratch scratch;
    return scratch.folder;
}

std::string Slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const fs::path source = Folder() / "source", copy = Folder() / "copy";
    {
        std::ofstream out(source, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    TextEncoding encoding = encAuto;
    const std::u16string text = ReadTextFile(source.u16string(), encoding);
    if (encoding != GetFileEncoding(source.u16string())) std::abort();

    TextEncoding writeAs = encoding;
    const bool written = WriteTextFile(copy.u16string(), text, false, writeAs, encAnsi);
    // UTF-32 files read as empty text, which writes as the mark alone.
    if (writeAs != encoding || !written) std::abort();

    TextEncoding readAs = encoding;
    const std::u16string back = ReadTextFile(copy.u16string(), readAs);
    // Bytes the code page cannot decode come back as '?' once written.
    const bool lossy = encoding == encAnsi && text.find(u'\uFFFD') != std::u16string::npos;
    if (!lossy && back != text) std::abort();
    // Whole UTF-16 code units come back as the very same bytes.
    if ((encoding == encUtf16LE || encoding == encUtf16BE) && size % 2 == 0 &&
        Slurp(copy) != std::string(reinterpret_cast<const char*>(data), size))
        std::abort();

    // Appending in the file's own encoding never disturbs what is there.
    const std::string before = Slurp(copy);
    TextEncoding appendAs = encAuto;
    if (WriteTextFile(copy.u16string(), u"\u00E9x", true, appendAs, encAuto) && !before.empty() &&
        Slurp(copy).compare(0, before.size(), before) != 0)
        std::abort();
    return 0;
}
