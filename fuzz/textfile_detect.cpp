// Encoding detection on arbitrary bytes: the fast UTF-8 check gives the
// verdict of the byte-by-byte one, whole or fed in two pieces, and the
// mark test never claims more bytes than a mark has.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../tests/textfile/utf8_reference.h"
#include "textfile/encoding.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TextEncoding fast = encAuto;
    CheckUtf8(data, size, fast);
    std::vector<uint8_t> scratch(data, data + size);
    if (fast != ReferenceCheckUtf8(scratch.data(), scratch.size())) std::abort();

    const size_t cut = size ? data[0] % (size + 1) : 0;
    Utf8Check pieces;
    if (pieces.Feed(data, cut)) pieces.Feed(data + cut, size - cut);
    if (pieces.Verdict() != fast) std::abort();

    size_t markLength = 99;
    const TextEncoding detected = DetectEncoding(data, size, markLength);
    TextEncoding fromMark = encAuto;
    const size_t bomLength = DetectBom(BomHead(data, size), fromMark);
    if (markLength != bomLength || markLength > 4) std::abort();
    if (markLength == 0 ? detected != fast : detected != fromMark) std::abort();
    uint32_t mark = 0;
    if (markLength && BomForEncoding(detected, mark) != markLength && detected != encUtf32LE) std::abort();
    return 0;
}
