// Two targets in one: raw bytes as pattern and text must never crash or hang
// the engine; patterns generated from the bytes must match exactly as PCRE2
// does (set up with the same rules).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../tests/localstate/pattern_gen.h"
#include "../tests/localstate/pcre2_oracle.h"
#include "localstate/pattern.h"

namespace {

class ByteChoices : public pattern_gen::Choices {
public:
    ByteChoices(const uint8_t* d, size_t n) : d_(d), n_(n) {}
    // Once the bytes run out every choice takes its second option, which
    // ends the pattern soon.
    uint32_t Next() override { return i_ < n_ ? d_[i_++] : 1; }

private:
    const uint8_t* d_;
    size_t n_;
    size_t i_ = 0;
};

[[noreturn]] void Disagree(const std::u16string& pattern, const std::u16string& text) {
    std::fprintf(stderr, "engines disagree on pattern:");
    for (char16_t c : pattern) std::fprintf(stderr, " %04x", static_cast<unsigned>(c));
    std::fprintf(stderr, "\ntext:");
    for (char16_t c : text) std::fprintf(stderr, " %04x", static_cast<unsigned>(c));
    std::fprintf(stderr, "\n");
    std::abort();
}

void Raw(const uint8_t* data, size_t size) {
    std::u16string units;
    for (size_t i = 0; i + 1 < size; i += 2) units += static_cast<char16_t>(data[i] | (data[i + 1] << 8));
    const size_t cut = units.size() / 2;
    auto p = Pattern::Compile(units.substr(0, cut), (size & 1) != 0);
    if (!p) return;
    const std::u16string text = units.substr(cut);
    p->Test(text);
    p->ReplaceAll(text, u"$1[$&]$'$`$$$99");
}

void Generated(const uint8_t* data, size_t size) {
    ByteChoices choices(data, size);
    pattern_gen::Generator gen(choices, pattern_gen::Options{});
    bool nullable = false;
    const std::u16string pattern = gen.Pattern(&nullable);
    const std::u16string text = gen.Text(24);
    auto ours = Pattern::Compile(pattern, true);
    pcre2_oracle::Regex theirs(pattern);
    if (!ours || !theirs.ok()) Disagree(pattern, text);
    std::vector<pcre2_oracle::Groups> expected;
    if (!theirs.AllMatches(text, &expected)) return;
    std::vector<Pattern::Groups> actual;
    Pattern::Groups g;
    size_t from = 0;
    while (from <= text.size() && ours->Search(text, from, &g)) {
        actual.push_back(g);
        from = g[1] > g[0] ? g[1] : g[1] + 1;
    }
    if (actual != expected) Disagree(pattern, text);
    if (ours->Test(text) != !expected.empty()) Disagree(pattern, text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] < 64) Raw(data + 1, size - 1);
    else Generated(data + 1, size - 1);
    return 0;
}
