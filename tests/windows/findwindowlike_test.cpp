// Searches among windows this test creates, with class names no other program uses.
#include "windows/findwindowlike.h"

#include <gtest/gtest.h>

#include "../support/testwin.h"

namespace {

LRESULT CALLBACK CountingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) SetWindowLongPtrW(hwnd, GWLP_USERDATA, GetWindowLongPtrW(hwnd, GWLP_USERDATA) + 1);
    return msg == WM_CLOSE ? 0 : DefWindowProcW(hwnd, msg, wp, lp);
}

TEST(FindWindowLike, ByTitleClassAndIdentifierChildrenFirst) {
    using testwin::MakeWindow;
    const HWND hidden = MakeWindow(L"DzdFwl_Top", CountingProc, WS_OVERLAPPEDWINDOW, nullptr, L"");
    const HWND older = MakeWindow(L"DzdFwl_Top", CountingProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, L"Alpha");
    const HWND newer = MakeWindow(L"DzdFwl_Top", CountingProc, WS_OVERLAPPEDWINDOW | WS_VISIBLE, nullptr, L"Gamma");
    const HWND kid = MakeWindow(L"DzdFwl_Kid", CountingProc, WS_CHILD | WS_VISIBLE, newer, L"kid", 7);
    const HWND grandchild = MakeWindow(L"DzdFwl_Kid", CountingProc, WS_CHILD | WS_VISIBLE, kid, L"kid", 9);
    // What is found after index 0, which is no window.
    struct Case { HWND start; const char16_t *text, *cls; std::optional<int32_t> id; bool recurse; std::vector<HWND> found; };
    const Case cases[] = {
        {nullptr, u"*", u"DzdFwl_Top", std::nullopt, false, {nullptr, newer, older, hidden}},  // in Z order
        {nullptr, u"A*", u"DzdFwl_Top", std::nullopt, false, {nullptr, older}},
        {nullptr, u"*", u"DzdFwl_Top?", std::nullopt, false, {nullptr}},
        {nullptr, u"*", u"DzdFwl_*", std::nullopt, true, {nullptr, kid, newer, older, hidden}},  // one level down
        {nullptr, u"*", u"DzdFwl_*", 7, true, {nullptr, kid}},
        {newer, u"kid", u"*", std::nullopt, true, {nullptr, grandchild, kid}},
        {nullptr, u"*", u"DzdFwl_Top", 0, false, {nullptr}},  // a top-level window has no identifier
    };
    for (const Case& c : cases) {
        std::vector<HWND> list{reinterpret_cast<HWND>(1)};
        const int32_t n = FindWindowLike(list, c.start, c.text, c.cls, c.id, c.recurse);
        EXPECT_EQ(list, c.found);
        EXPECT_EQ(n + 1, static_cast<int32_t>(list.size()));
    }
    // The request waits in the window's queue until its thread looks.
    EXPECT_TRUE(SendCloseMessage(hidden));
    EXPECT_EQ(GetWindowLongPtrW(hidden, GWLP_USERDATA), 0);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    EXPECT_EQ(GetWindowLongPtrW(hidden, GWLP_USERDATA), 1);
    DestroyWindow(hidden);
    EXPECT_FALSE(SendCloseMessage(hidden));
}

}  // namespace
