// The dialog inside this process, with the program's resources linked in, for what can only be read from within:
// fonts, icons, the manifest, and the layout after a change of DPI.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "dialog/frmmain.h"
#include "dialog/layout.h"

namespace {

int IconWidth(HWND hwnd, WPARAM which) {
    ICONINFO info = {};
    BITMAP bm = {};
    if (!GetIconInfo(reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, which, 0)), &info)) return 0;
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return bm.bmWidth;
}

// Fonts, icons and control rectangles as the design gives them at `dpi`.
void ExpectDesign(HWND dialog, int dpi) {
    SCOPED_TRACE(dpi);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, ClientSizeForDpi(dpi).width);
    EXPECT_EQ(client.bottom, ClientSizeForDpi(dpi).height);
    const TwipsRect* design[] = {&frmMainDesign::kLblMsg, &frmMainDesign::kCmdOk, &frmMainDesign::kCmdCancel};
    const wchar_t* faces[] = {L"\u5fae\u8f6f\u96c5\u9ed1", L"\u5b8b\u4f53", L"\u5b8b\u4f53"};
    HWND control = GetWindow(dialog, GW_CHILD);
    for (int i = 0; i < 3; ++i, control = GetWindow(control, GW_HWNDNEXT)) {
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(HWND_DESKTOP, dialog, reinterpret_cast<POINT*>(&r), 2);
        const PixelRect want = TwipsToPixels(*design[i], dpi);
        EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right - r.left, r.bottom - r.top}),
                  (std::vector<LONG>{want.left, want.top, want.width, want.height}));
        LOGFONTW lf = {};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)), sizeof lf, &lf);
        EXPECT_EQ(std::wstring(lf.lfFaceName), faces[i]);
        EXPECT_EQ((std::vector<LONG>{lf.lfHeight, lf.lfWeight, lf.lfCharSet, lf.lfItalic}),
                  (std::vector<LONG>{FontHeightForDpi(12, dpi), 700, 134, 0}));
    }
    EXPECT_EQ(IconWidth(dialog, ICON_BIG), GetSystemMetricsForDpi(SM_CXICON, dpi));
    EXPECT_EQ(IconWidth(dialog, ICON_SMALL), GetSystemMetricsForDpi(SM_CXSMICON, dpi));
}

TEST(InProcessDialog, FollowsTheDesignAtEveryDpi) {
    ASSERT_TRUE(ShowMainDialog(RunScope::CurrentUser));
    ProcessPendingMessages();
    const HWND dialog = MainDialogWindow();
    ASSERT_EQ(GetDpiForWindow(dialog), 96u) << "this check needs a 96 DPI Wine prefix";
    ExpectDesign(dialog, 96);
    RECT suggested = {100, 80, 860, 480};
    SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    ExpectDesign(dialog, 144);
    RECT moved;
    GetWindowRect(dialog, &moved);
    EXPECT_EQ(std::make_pair(moved.left, moved.top), std::make_pair(100L, 80L));

    const HRSRC manifest = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
    const std::string text(static_cast<const char*>(LockResource(LoadResource(nullptr, manifest))),
                           SizeofResource(nullptr, manifest));
    EXPECT_NE(text.find("PerMonitorV2"), std::string::npos);
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
}

}  // namespace
