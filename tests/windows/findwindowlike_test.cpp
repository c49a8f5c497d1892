// Searches among windows this test creates, with class names no other
// program uses.
#include "windows/findwindowlike.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

LRESULT CALLBACK CountingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, GetWindowLongPtrW(hwnd, GWLP_USERDATA) + 1);
        return 42;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

void Register(const wchar_t* name) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = CountingProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = name;
    RegisterClassW(&wc);
}

class FindWindowLikeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        Register(L"DzdFwl_Top");
        Register(L"DzdFwl_Kid");
    }
    HWND Top(const wchar_t* cls, const wchar_t* title, bool visible) {
        HWND h = CreateWindowExW(0, cls, title, WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0), 0, 0, 100, 100,
                                 nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
        made.push_back(h);
        return h;
    }
    HWND Kid(HWND parent, int id) {
        HWND h = CreateWindowExW(0, L"DzdFwl_Kid", L"kid", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
        made.push_back(h);
        return h;
    }
    void TearDown() override {
        for (auto it = made.rbegin(); it != made.rend(); ++it) DestroyWindow(*it);
    }
    std::vector<HWND> made;
};

TEST_F(FindWindowLikeTest, TopLevelByClassWithAnyTitleInZOrder) {
    HWND first = Top(L"DzdFwl_Top", L"Alpha", true);
    HWND hidden = Top(L"DzdFwl_Top", L"", false);
    Top(L"DzdFwl_Kid", L"other class", true);
    HWND last = Top(L"DzdFwl_Top", L"Gamma", true);
    Kid(first, 5);

    std::vector<HWND> list{reinterpret_cast<HWND>(1), reinterpret_cast<HWND>(2)};
    int32_t n = FindWindowLike(list, nullptr, u"*", u"DzdFwl_Top", std::nullopt, false);
    ASSERT_EQ(n, 3);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list[0], nullptr);
    // Visible or hidden, each is found once; and the newest visible one,
    // on top of the Z order, comes before the oldest.
    std::vector<HWND> found(list.begin() + 1, list.end());
    auto at = [&](HWND h) { return std::find(found.begin(), found.end(), h) - found.begin(); };
    EXPECT_LT(at(hidden), 3);
    EXPECT_LT(at(last), at(first));
    EXPECT_LT(at(first), 3);

    n = FindWindowLike(list, nullptr, u"A*", u"DzdFwl_Top", std::nullopt, false);
    ASSERT_EQ(n, 1);
    EXPECT_EQ(list[1], first);
    n = FindWindowLike(list, nullptr, u"*", u"DzdFwl_Nothing", std::nullopt, false);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(list.size(), 1u);
}

TEST_F(FindWindowLikeTest, RecursionGoesOneLevelAndPutsChildrenFirst) {
    HWND parent = Top(L"DzdFwl_Kid", L"kid", true);
    HWND child = Kid(parent, 7);
    HWND grandchild = Kid(child, 8);
    std::vector<HWND> list;
    ASSERT_EQ(FindWindowLike(list, nullptr, u"kid", u"DzdFwl_Kid", std::nullopt, true), 2);
    EXPECT_EQ(list[1], child);
    EXPECT_EQ(list[2], parent);
    (void)grandchild;  // two levels down: never examined from the desktop

    ASSERT_EQ(FindWindowLike(list, parent, u"*", u"DzdFwl_Kid", std::nullopt, true), 2);
    EXPECT_EQ(list[1], grandchild);
    EXPECT_EQ(list[2], child);
}

TEST_F(FindWindowLikeTest, IdentifierNeedsAParent) {
    HWND parent = Top(L"DzdFwl_Kid", L"kid", true);
    Kid(parent, 7);
    HWND seven = Kid(parent, 9);
    SetWindowLongPtrW(seven, GWLP_ID, 9);
    std::vector<HWND> list;
    EXPECT_EQ(FindWindowLike(list, parent, u"*", u"*", 9, false), 1);
    EXPECT_EQ(list[1], seven);
    EXPECT_EQ(FindWindowLike(list, nullptr, u"kid", u"DzdFwl_Kid", 0, false), 0);  // top level: no identifier
}

TEST_F(FindWindowLikeTest, CloseRequestIsAnswered) {
    HWND w = Top(L"DzdFwl_Top", L"x", false);
    EXPECT_TRUE(RequestClose(w, 2000));
    EXPECT_EQ(GetWindowLongPtrW(w, GWLP_USERDATA), 1);
}

}  // namespace
