// The real program's dialog worked from outside with the keyboard, the way a
// user would: what it shows, where Tab, Escape, space and Enter lead.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "../support/program.h"

namespace {

using testprog::FocusOf;
using testprog::PressKey;

bool FocusBecomes(HWND dialog, HWND want) {
    for (int i = 0; i < 60 && FocusOf(dialog) != want; ++i) Sleep(50);
    return FocusOf(dialog) == want;
}

TEST(Dialog, KeyboardFromStartToEnd) {
    testprog::Process app(testprog::FromEnvironment("DZD_EXE"), L"");
    const HWND dialog = testprog::WaitForWindow(app.Id());
    ASSERT_TRUE(dialog);
    std::vector<HWND> c;  // lblMsg, cmdOk, cmdCancel
    for (HWND w = GetWindow(dialog, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) c.push_back(w);
    ASSERT_EQ(c.size(), 3u);
    std::vector<std::wstring> texts;
    for (HWND w : {dialog, c[0], c[1], c[2]}) texts.push_back(testprog::WindowText(w));
    EXPECT_EQ(texts, (std::vector<std::wstring>{
                         L"Quillpad - Chrome/Edge\u8bbe\u7f6e\u4fee\u590d\u5de5\u5177",
                         L"\u4fee\u590d\u7a0b\u5e8f\u4f1a\u5173\u95ed\u6240\u6709\u5f53\u524d\u6253\u5f00\u7684 Google "
                         L"Chrome\u6d4f\u89c8\u5668 \u548c Microsoft Edge\u6d4f\u89c8\u5668 \u7a97\u53e3\uff0c\r\n"
                         L"\u60a8\u786e\u8ba4\u8981\u6267\u884c\u5417\uff1f",
                         L"\u786e \u8ba4", L"\u53d6 \u6d88"}));
    ASSERT_TRUE(FocusBecomes(dialog, c[1]));
    PressKey(dialog, VK_ESCAPE);  // changes nothing
    PressKey(dialog, VK_TAB);
    ASSERT_TRUE(FocusBecomes(dialog, c[2]));
    PressKey(dialog, VK_TAB);  // past the label
    ASSERT_TRUE(FocusBecomes(dialog, c[1]));
    PressKey(dialog, VK_SPACE);
    const HWND box = testprog::WaitForWindow(app.Id(), L"#32770");
    ASSERT_TRUE(box) << "space on cmdOk runs the fix";
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
    PressKey(box, VK_RETURN);
    ASSERT_TRUE(FocusBecomes(dialog, c[1]));
    PressKey(dialog, VK_TAB);
    ASSERT_TRUE(FocusBecomes(dialog, c[2]));
    PressKey(dialog, VK_RETURN);
    EXPECT_EQ(app.WaitForExit(10000), 0u);
}

}  // namespace
