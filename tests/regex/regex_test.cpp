#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "regex/regex.h"

namespace {

// The literal scans, forwards and from the end, against unit-by-unit ones in both widths, on texts crowded with near
// misses (each unit of the literal changed in turn, so every pair of probes hits somewhere without the whole literal)
// and the literal itself in mixed case, planted at every offset in a 32-unit block and the tail.
TEST(Regex, LiteralScanFindsWhatAPlainScanFinds) {
    for (std::string lit : {"\"browser\"", "block-insecure-private-network-requests@", "\"vezoverove\"", "z", "_x"}) {
        std::u16string misses;
        for (size_t i = 0; i < lit.size(); ++i) {
            std::u16string m(lit.begin(), lit.end());
            m[i] = i % 3 == 0 ? u'\x8041' : i % 3 == 1 ? u'\x0141' : u'#';
            misses += m;
        }
        for (size_t at = 0; at < 70; ++at) {
            std::u16string text = misses.substr(0, at % misses.size()) + std::u16string(at / misses.size(), u'\xFF');
            const size_t planted = text.size();
            for (size_t i = 0; i < lit.size(); ++i)
                text += static_cast<char16_t>(i % 2 && lit[i] >= 'a' && lit[i] <= 'z' ? lit[i] - 32 : lit[i]);
            text += misses;
            std::string bytes(text.begin(), text.end());  // each unit's low byte
            const regex::Units<char16_t> wide{text.data(), text.size()};
            const regex::Units<uint8_t> narrow{reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()};
            // A letter of the literal takes either case, any other unit only itself.
            auto same = [](char c, uint32_t u) { return (u | (c >= 'a' && c <= 'z' ? 0x20u : 0u)) == uint8_t(c); };
            auto check = [&](auto units) {
                std::vector<size_t> hits;
                for (size_t p = 0; p + lit.size() <= units.size; ++p)
                    if (std::equal(lit.begin(), lit.end(), units.data + p, same)) hits.push_back(p);
                EXPECT_EQ(regex::FindLastLiteral(lit, units), hits.empty() ? regex::kNoPart : hits.back())
                    << lit << " at " << at;
                for (size_t from : {size_t{0}, planted, planted + 1}) {
                    const auto first = std::lower_bound(hits.begin(), hits.end(), from);
                    EXPECT_EQ(regex::FindLiteral(lit, units, from), first == hits.end() ? regex::kNoPart : *first)
                        << lit << " at " << at << " from " << from;
                }
            };
            check(wide), check(narrow);
        }
    }
}

// A state that keeps to a long run is passed over to the next unit that can change it: every run length, of ASCII and
// of high units, must end exactly at a closing brace (no match from there) or at the literal.
TEST(Regex, LongRunsEndWhereTheirStateChanges) {
    const auto p = regex::Compile(u"x[^}]*?\"v\"");
    ASSERT_TRUE(p);
    for (char16_t filler : {u'a', u'\x3A9'})
        for (size_t run = 0; run <= 1100; run += run < 40 ? 1 : 1060)  // and one past the near look for a brace
            for (bool brace : {true, false}) {
                const std::u16string text = u"x" + std::u16string(run, filler) + (brace ? u"}x\"v\"" : u"\"v\"");
                const std::string bytes(text.begin(), text.end());
                regex::Groups wide, narrow;
                ASSERT_TRUE(regex::Searcher<char16_t>(*p, {text.data(), text.size()}).Search(0, &wide));
                ASSERT_TRUE(regex::Searcher<uint8_t>(*p, {reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()})
                                .Search(0, &narrow));
                EXPECT_EQ(wide[0], brace ? run + 2 : 0) << run;
                EXPECT_EQ(wide[1], text.size()) << run;
                EXPECT_EQ(narrow, wide) << run;
            }
}

}  // namespace
