// The resource owner closes each handle exactly once, whatever happens to it.
#include <gtest/gtest.h>

#include <vector>

#include "windows/unique_any.h"

namespace {

std::vector<int> closed;
void CloseInt(int value) { closed.push_back(value); }
constexpr int MinusOne() { return -1; }
using UniqueInt = UniqueAny<int, CloseInt>;          // 0 means none
using UniqueFd = UniqueAny<int, CloseInt, MinusOne>;  // -1 means none

TEST(UniqueAny, ClosesEachHandleOnce) {
    {
        UniqueFd zero(0), none, minus(-1);  // 0 is a handle like any other here
        UniqueInt a(1), b(std::move(a)), c(3);
        c = std::move(b);      // 3 closes, 1 moves in
        UniqueInt& alias = c;
        c = std::move(alias);  // onto itself: stays open
        c.reset(4);            // 1 closes
        EXPECT_EQ(UniqueInt(5).release(), 5);
        EXPECT_FALSE(a);
        EXPECT_EQ(closed, (std::vector<int>{3, 1}));
    }
    EXPECT_EQ(closed, (std::vector<int>{3, 1, 4, 0}));
}

}  // namespace
