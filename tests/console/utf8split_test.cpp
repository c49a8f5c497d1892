#include "console/utf8split.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Cut after each byte, the whole part ends on the last character boundary at or before the cut.
TEST(Utf8WholeLength, EndsOnTheLastBoundaryBeforeEachCut) {
    const std::string text = "a\xC3\xA9\xE6\x96\x87\xF0\x9F\x98\x80z";  // a é 文 😀 z
    const size_t boundaries[] = {0, 1, 3, 6, 10, 11};
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        size_t last = 0;
        for (size_t b : boundaries)
            if (b <= cut) last = b;
        EXPECT_EQ(Utf8WholeLength(text.data(), cut), last) << cut;
    }
}

// Malformed bytes are never held back: only a valid lead still waiting for its continuation bytes is.
TEST(Utf8WholeLength, HoldsBackOnlyACharacterStillArriving) {
    const struct { std::string bytes; size_t whole; } cases[] = {
        {"A\xFF", 2},        {"A\x80", 2},       {"\xC0", 1},        {"\xC1", 1},    {"\xF5\x80", 2},
        {"\xE4\xB8" "A", 3}, {"\x80\x80\x80", 3}, {"\xC2", 0},        {"\xDF", 0},    {"\xE0", 0},
        {"\xEF\xBF", 0},     {"\xF4\x8F\xBF", 0}, {"\xF0\x9F\x98", 0}, {"x\xF0", 1},   {"\xC3\xA9", 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Utf8WholeLength(c.bytes.data(), c.bytes.size()), c.whole) << testing::PrintToString(c.bytes);
}

}  // namespace
