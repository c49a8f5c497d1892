#include "windows/browsertree.h"

#include <gtest/gtest.h>

namespace {

// Each row: the processes as a snapshot lists them, and the main process
// (by index) each one's browser comes down to.
TEST(MainProcessOf, ParentsThatStartedFirstMakeOneBrowser) {
    struct Case {
        const char* name;
        std::vector<ProcessLink> processes;
        std::vector<size_t> mainOf;
    };
    const Case cases[] = {
        {"a browser, its helpers and theirs, listed in any order",
         {{30, 10, 300}, {10, 4, 100}, {20, 10, 200}, {40, 30, 400}},
         {1, 1, 1, 1}},
        {"two browsers side by side", {{10, 4, 100}, {11, 10, 110}, {20, 4, 200}, {21, 20, 210}}, {0, 0, 2, 2}},
        {"a helper whose browser has ended", {{11, 10, 110}, {12, 11, 120}}, {0, 0}},
        // The id of an ended browser now names a later process: that one is
        // no parent of what the old browser started.
        {"a parent id reused by a later process", {{10, 4, 500}, {11, 10, 110}}, {0, 1}},
        {"a parent started the same moment", {{10, 4, 100}, {11, 10, 100}}, {0, 0}},
        {"its own parent", {{10, 10, 100}}, {0}},
        // Only reused ids can make such a loop; it must not hang the search.
        {"two that name each other, started at once", {{10, 11, 100}, {11, 10, 100}, {12, 11, 120}}, {0, 1, 2}},
        {"none", {}, {}},
    };
    for (const Case& c : cases) EXPECT_EQ(MainProcessOf(c.processes), c.mainOf) << c.name;
}

}  // namespace
