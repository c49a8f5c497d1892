// The dialog inside this process, with the program's resources linked in:
// what can only be read from within (fonts, icons, colours) and what the fix
// run relies on (the hooks on cmdOk, unloading). The suite shows the dialog
// once, as the program does, and unloads it in its last test.
#include <windows.h>

#include <gtest/gtest.h>

#include "rect_checks.h"

#include <string>

#include "dialog/frmmain.h"

namespace {

const std::wstring kLabelFace = L"\u5fae\u8f6f\u96c5\u9ed1";
const std::wstring kButtonFace = L"\u5b8b\u4f53";

struct Controls {
    HWND dialog, lblMsg, cmdOk, cmdCancel;
};

Controls Find() {
    Controls c = {MainDialogWindow(), nullptr, nullptr, nullptr};
    if (!c.dialog) return c;
    c.lblMsg = GetWindow(c.dialog, GW_CHILD);
    c.cmdOk = c.lblMsg ? GetWindow(c.lblMsg, GW_HWNDNEXT) : nullptr;
    c.cmdCancel = c.cmdOk ? GetWindow(c.cmdOk, GW_HWNDNEXT) : nullptr;
    return c;
}

LOGFONTW FontOf(HWND control) {
    LOGFONTW lf = {};
    HFONT font = reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0));
    EXPECT_NE(font, nullptr);
    EXPECT_EQ(GetObjectW(font, sizeof lf, &lf), static_cast<int>(sizeof lf));
    return lf;
}

void ExpectFont(HWND control, const std::wstring& face, int height) {
    LOGFONTW lf = FontOf(control);
    EXPECT_EQ(std::wstring(lf.lfFaceName), face);
    EXPECT_EQ(lf.lfHeight, height);
    EXPECT_EQ(lf.lfWeight, 700);
    EXPECT_EQ(lf.lfCharSet, 134);
    EXPECT_FALSE(lf.lfItalic);
    EXPECT_FALSE(lf.lfUnderline);
    EXPECT_FALSE(lf.lfStrikeOut);
}

int IconWidth(HICON icon) {
    ICONINFO info = {};
    if (!icon || !GetIconInfo(icon, &info)) return 0;
    BITMAP bm = {};
    GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return bm.bmWidth;
}

HICON WindowIcon(HWND hwnd, WPARAM which) {
    return reinterpret_cast<HICON>(SendMessageW(hwnd, WM_GETICON, which, 0));
}

void ExpectClientSize(HWND hwnd, int width, int height) {
    RECT client;
    GetClientRect(hwnd, &client);
    EXPECT_EQ(client.right, width);
    EXPECT_EQ(client.bottom, height);
}

class InProcessDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        shown = ShowMainDialog();
        ProcessPendingMessages();
    }
    void SetUp() override {
        ASSERT_TRUE(shown);
        c = Find();
        ASSERT_NE(c.cmdCancel, nullptr);
    }
    static bool shown;
    Controls c = {};
};
bool InProcessDialog::shown = false;

TEST_F(InProcessDialog, FontsByFaceSizeWeightAndCharset) {
    ASSERT_EQ(GetDpiForWindow(c.dialog), 96u) << "this check needs a 96 DPI Wine prefix";
    ExpectFont(c.lblMsg, kLabelFace, -16);
    ExpectFont(c.cmdOk, kButtonFace, -16);
    ExpectFont(c.cmdCancel, kButtonFace, -16);
    // The window itself has no font of its own.
    EXPECT_EQ(SendMessageW(c.dialog, WM_GETFONT, 0, 0), 0);
}

TEST_F(InProcessDialog, LabelIsBlackOnTheDialogBackground) {
    HDC dc = CreateCompatibleDC(nullptr);
    SetTextColor(dc, RGB(200, 0, 0));
    LRESULT brush = SendMessageW(c.dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                 reinterpret_cast<LPARAM>(c.lblMsg));
    EXPECT_EQ(GetTextColor(dc), RGB(0, 0, 0));
    LOGBRUSH lb = {};
    ASSERT_NE(brush, 0);
    GetObjectW(reinterpret_cast<HBRUSH>(brush), sizeof lb, &lb);
    EXPECT_EQ(lb.lbColor, GetSysColor(COLOR_BTNFACE));
    DeleteDC(dc);
}

TEST_F(InProcessDialog, WindowCarriesTheProgramIconInBothSizes) {
    UINT dpi = GetDpiForWindow(c.dialog);
    EXPECT_EQ(IconWidth(WindowIcon(c.dialog, ICON_BIG)), GetSystemMetricsForDpi(SM_CXICON, dpi));
    EXPECT_EQ(IconWidth(WindowIcon(c.dialog, ICON_SMALL)), GetSystemMetricsForDpi(SM_CXSMICON, dpi));
    EXPECT_NE(GetClassLongPtrW(c.dialog, GCLP_HICON), 0u);
    EXPECT_NE(GetClassLongPtrW(c.dialog, GCLP_HICONSM), 0u);
}

TEST_F(InProcessDialog, DpiChangeRescalesLayoutFontsAndIcons) {
    HFONT oldLabelFont = reinterpret_cast<HFONT>(SendMessageW(c.lblMsg, WM_GETFONT, 0, 0));
    HFONT oldButtonFont = reinterpret_cast<HFONT>(SendMessageW(c.cmdOk, WM_GETFONT, 0, 0));
    RECT before;
    GetWindowRect(c.dialog, &before);

    RECT suggested = {100, 80, 100 + 760, 80 + 400};
    SendMessageW(c.dialog, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
    ExpectClientSize(c.dialog, 735, 342);
    ExpectRect(RectInClient(c.dialog, c.lblMsg), 48, 36, 638, 158);
    ExpectRect(RectInClient(c.dialog, c.cmdOk), 132, 216, 182, 62);
    ExpectRect(RectInClient(c.dialog, c.cmdCancel), 372, 216, 182, 62);
    RECT moved;
    GetWindowRect(c.dialog, &moved);
    EXPECT_EQ(moved.left, 100);
    EXPECT_EQ(moved.top, 80);
    ExpectFont(c.lblMsg, kLabelFace, -24);
    ExpectFont(c.cmdOk, kButtonFace, -24);
    ExpectFont(c.cmdCancel, kButtonFace, -24);
    // The fonts made for 96 DPI are gone, not leaked.
    EXPECT_EQ(GetObjectType(oldLabelFont), 0u);
    EXPECT_EQ(GetObjectType(oldButtonFont), 0u);
    EXPECT_EQ(IconWidth(WindowIcon(c.dialog, ICON_BIG)), GetSystemMetricsForDpi(SM_CXICON, 144));
    EXPECT_EQ(IconWidth(WindowIcon(c.dialog, ICON_SMALL)), GetSystemMetricsForDpi(SM_CXSMICON, 144));

    SendMessageW(c.dialog, WM_DPICHANGED, MAKEWPARAM(96, 96), reinterpret_cast<LPARAM>(&before));
    ExpectClientSize(c.dialog, 490, 228);
    ExpectRect(RectInClient(c.dialog, c.lblMsg), 32, 24, 425, 105);
    ExpectRect(RectInClient(c.dialog, c.cmdOk), 88, 144, 121, 41);
    ExpectRect(RectInClient(c.dialog, c.cmdCancel), 248, 144, 121, 41);
    ExpectFont(c.cmdCancel, kButtonFace, -16);
    RECT back;
    GetWindowRect(c.dialog, &back);
    EXPECT_EQ(back.left, before.left);
    EXPECT_EQ(back.top, before.top);
}

TEST_F(InProcessDialog, IsNeverCreatedASecondTime) {
    EXPECT_FALSE(ShowMainDialog());
    EXPECT_EQ(MainDialogWindow(), c.dialog);
    EXPECT_FALSE(MainDialogUnloaded());
}

TEST_F(InProcessDialog, DisablingOkForARunKeepsTheKeyboardOnTheDialog) {
    SetForegroundWindow(c.dialog);
    SetFocus(c.cmdOk);
    ProcessPendingMessages();
    ASSERT_EQ(GetFocus(), c.cmdOk);
    EnableOkButton(false);
    EXPECT_FALSE(IsWindowEnabled(c.cmdOk));
    EXPECT_EQ(GetFocus(), c.dialog) << "no key presses a button meanwhile";
    EnableOkButton(true);
    EXPECT_TRUE(IsWindowEnabled(c.cmdOk));
    EXPECT_EQ(GetFocus(), c.cmdOk) << "the focus comes back once the run is over";
}

// Last: unloading ends the message loop, and the hooks the fix run uses
// stay safe afterwards.
TEST_F(InProcessDialog, ZzUnloadingEndsTheMessageLoop) {
    HWND dialog = c.dialog;
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    MSG msg = {};
    bool quit = false;
    for (int i = 0; i < 100 && !quit; ++i) {
        while (!quit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) quit = true;
            else DispatchMessageW(&msg);
        }
        if (!quit) Sleep(10);
    }
    EXPECT_TRUE(quit);
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_FALSE(IsWindow(dialog));
    EXPECT_TRUE(MainDialogUnloaded());
    EXPECT_EQ(MainDialogWindow(), nullptr);
    EnableOkButton(true);
    EnableOkButton(false);
    EXPECT_FALSE(ShowMainDialog()) << "the dialog is never created again";
}

}  // namespace
