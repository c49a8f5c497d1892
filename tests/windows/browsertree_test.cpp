#include "windows/browsertree.h"

#include <gtest/gtest.h>

#include <algorithm>

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
}

// A browser makes its own user's profile busy. One whose user cannot be read is its session's user's; when that is
// unknown too, everyone signed in is busy, and never a profile whose user is signed in nowhere.
TEST(BusyUsers, ABrowserWhoseUserCannotBeReadIsItsSessionsUsers) {
    const std::u16string a = u"S-1-5-21-1-2-3-1001", b = u"S-1-5-21-1-2-3-1002";
    const auto process = [](const std::u16string& sid, uint32_t session, bool sessionKnown) {
        return BrowserProcess{1, 0, 100, sid, session, sessionKnown};
    };
    // a in session 1, b in 2, a second sign-in of a in 3, nobody known in 4.
    const std::vector<SessionUser> sessions = {{1, a}, {2, b}, {3, a}, {4, u""}};
    const struct { const char* name; std::vector<BrowserProcess> processes; std::vector<SessionUser> sessions;
                   std::vector<std::u16string> busy; } cases[] = {
        {"none", {}, sessions, {}},
        {"the user's own, in another's session", {process(b, 1, true)}, sessions, {b}},
        {"unreadable, in b's session", {process(u"", 2, true)}, sessions, {b}},
        {"unreadable, in a's second session", {process(u"", 3, true)}, sessions, {a}},
        {"unreadable, beside a readable one", {process(a, 1, true), process(u"", 2, true)}, sessions, {a, b}},
        {"unreadable, in a session whose user is unknown", {process(u"", 4, true)}, sessions, {a, b}},
        {"unreadable, in a session not listed", {process(u"", 7, true)}, sessions, {a, b}},
        {"unreadable, its session unknown", {process(u"", 2, false)}, sessions, {a, b}},
        {"unreadable, nobody signed in", {process(u"", 2, true)}, {}, {}},
    };
    for (const auto& c : cases) {
        std::vector<std::u16string> busy = BusyUsers(c.processes, c.sessions);
        std::sort(busy.begin(), busy.end());
        EXPECT_EQ(busy, c.busy) << c.name;
    }
}

}  // namespace
