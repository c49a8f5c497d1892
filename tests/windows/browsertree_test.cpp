#include "windows/browsertree.h"

#include <gtest/gtest.h>

namespace {

// Each row: the processes as a snapshot lists them, and the index of each one's browser's main process.
TEST(MainProcessOf, ParentsThatStartedFirstMakeOneBrowser) {
    const struct { const char* name; std::vector<ProcessLink> processes; std::vector<size_t> mainOf; } cases[] = {
        {"a browser, its helpers and theirs, listed in any order",
         {{30, 10, 300}, {10, 4, 100}, {20, 10, 200}, {40, 30, 400}},
         {1, 1, 1, 1}},
        {"two browsers side by side", {{10, 4, 100}, {11, 10, 110}, {20, 4, 200}, {21, 20, 210}}, {0, 0, 2, 2}},
        {"a helper whose browser has ended", {{11, 10, 110}, {12, 11, 120}}, {0, 0}},
        // The id of an ended browser now names a later process: that one is no parent of what the old one started.
        {"a parent id reused by a later process", {{10, 4, 500}, {11, 10, 110}}, {0, 1}},
        {"a parent started the same moment", {{10, 4, 100}, {11, 10, 100}}, {0, 0}},
        {"its own parent", {{10, 10, 100}}, {0}},
        // Only reused ids can make such a loop; it must not hang the search.
        {"two that name each other, started at once", {{10, 11, 100}, {11, 10, 100}, {12, 11, 120}}, {0, 1, 2}},
        {"none", {}, {}},
    };
    for (const auto& c : cases) EXPECT_EQ(MainProcessOf(c.processes), c.mainOf) << c.name;
}

// Only processes known to be the user's, in the user's session, count as theirs; what cannot be told is left alone.
TEST(ProcessesOf, TheUsersOwnInTheirSessionOnly) {
    const std::u16string me = u"S-1-5-21-1-2-3-1001";
    const auto process = [](uint32_t id, const char16_t* sid, uint32_t session, bool sessionKnown, uint64_t start) {
        return BrowserProcess{id, 0, start, sid, session, sessionKnown};
    };
    const std::vector<BrowserProcess> all = {
        process(1, u"S-1-5-21-1-2-3-1001", 2, true, 100),  // ours
        process(2, u"S-1-5-21-1-2-3-1002", 2, true, 100),  // another user at the same session id
        process(3, u"S-1-5-21-1-2-3-1001", 3, true, 100),  // ours, in another session
        process(4, u"S-1-5-21-1-2-3-1001", 2, false, 100),
        process(5, u"", 2, true, 100),                     // its token could not be read
        process(6, u"S-1-5-21-1-2-3-1001", 2, true, 0),    // its start time could not be read
        process(7, u"S-1-5-21-1-2-3-10011", 2, true, 100),
        process(8, u"S-1-5-21-1-2-3-1001", 2, true, 300),  // ours
    };
    std::vector<uint32_t> ids;
    for (const BrowserProcess& p : ProcessesOf(all, me, 2)) ids.push_back(p.id);
    EXPECT_EQ(ids, (std::vector<uint32_t>{1, 8}));
    EXPECT_TRUE(ProcessesOf(all, u"", 2).empty()) << "an account that cannot be told owns nothing";
    EXPECT_TRUE(ProcessesOf({process(9, u"", 2, true, 100)}, u"", 2).empty());
}

}  // namespace
