// The resource owner closes each handle exactly once, whatever happens to
// the owner: reset, move, release or scope end.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "windows/unique_any.h"

namespace {

std::vector<int> closed;
void CloseInt(int value) { closed.push_back(value); }

struct Thing {};
std::vector<Thing*> closedThings;
void CloseThing(Thing* t) { closedThings.push_back(t); }

constexpr int MinusOne() { return -1; }

using UniqueInt = UniqueAny<int, CloseInt>;              // 0 means none
using UniqueFd = UniqueAny<int, CloseInt, MinusOne>;      // -1 means none
using UniqueThing = UniqueAny<Thing*, CloseThing>;        // nullptr means none

TEST(UniqueAny, ClosesOnceAtScopeEndAndNeverTheInvalidValue) {
    closed.clear();
    { UniqueInt a(5); }
    { UniqueInt none; }
    { UniqueFd fd(0); }  // 0 is a handle like any other here
    { UniqueFd noneFd; }
    { UniqueFd minus(-1); }
    EXPECT_EQ(closed, (std::vector<int>{5, 0}));
}

TEST(UniqueAny, ResetClosesTheOldValueFirstAndKeepsTheNew) {
    closed.clear();
    UniqueInt a(1);
    a.reset(2);
    EXPECT_EQ(closed, (std::vector<int>{1}));
    EXPECT_EQ(a.get(), 2);
    EXPECT_TRUE(a);
    a.reset();
    EXPECT_EQ(closed, (std::vector<int>{1, 2}));
    EXPECT_FALSE(a);
    a.reset();
    EXPECT_EQ(closed.size(), 2u);
}

TEST(UniqueAny, MovingHandsOverOwnership) {
    closed.clear();
    {
        UniqueInt a(3);
        UniqueInt b(std::move(a));
        EXPECT_FALSE(a);
        EXPECT_EQ(b.get(), 3);
        UniqueInt c(4);
        c = std::move(b);  // 4 closes, 3 moves in
        EXPECT_EQ(closed, (std::vector<int>{4}));
        EXPECT_EQ(c.get(), 3);
        UniqueInt& alias = c;
        c = std::move(alias);  // moving onto itself keeps the value open
        EXPECT_EQ(c.get(), 3);
        EXPECT_EQ(closed.size(), 1u);
    }
    EXPECT_EQ(closed, (std::vector<int>{4, 3}));
}

TEST(UniqueAny, ReleaseGivesUpWithoutClosing) {
    closedThings.clear();
    Thing thing;
    UniqueThing owner(&thing);
    Thing* raw = owner.release();
    EXPECT_EQ(raw, &thing);
    EXPECT_FALSE(owner);
    owner.reset();
    EXPECT_TRUE(closedThings.empty());
    { UniqueThing again(&thing); }
    EXPECT_EQ(closedThings, (std::vector<Thing*>{&thing}));
}

}  // namespace
