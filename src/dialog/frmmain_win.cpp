// frmMain: the confirmation dialog. A plain top-level window of its own
// class with a label and two push buttons; the message loop runs it through
// IsDialogMessage, so Tab, Enter and space work as in any dialog. Neither
// button is a default or cancel button: Enter reaches us as IDOK and acts on
// whichever button has the focus, Escape reaches us as IDCANCEL and is
// ignored.
#include "dialog/frmmain.h"

#include <commctrl.h>

#include "dialog/lang.h"
#include "dialog/layout.h"
#include "dialog/product.h"
#include "fixrun/fixrun.h"
#include "windows/unique_any.h"

namespace {

using UniqueFont = UniqueAny<HFONT, DeleteObject>;
using UniqueIcon = UniqueAny<HICON, DestroyIcon>;

constexpr int kIdLblMsg = 1000;
constexpr int kIdCmdOk = 1001;
constexpr int kIdCmdCancel = 1002;
constexpr int kIdAppIcon = 1;  // the program file's first icon
constexpr wchar_t kClassName[] = L"DivezavuDizuzuDud.frmMain";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kExStyle = WS_EX_CONTROLPARENT;

const wchar_t* W(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }
const wchar_t* W(const std::u16string& text) { return W(text.c_str()); }

struct FrmMain {
    HWND hwnd = nullptr;
    HWND lblMsg = nullptr;
    HWND cmdOk = nullptr;
    HWND cmdCancel = nullptr;
    HWND focusWhenInactive = nullptr;
    UINT dpi = 96;
    UniqueFont labelFont;
    UniqueFont buttonFont;
    UniqueIcon bigIcon;
    UniqueIcon smallIcon;
    int runsInProgress = 0;
    RunScope scope = RunScope::CurrentUser;
    bool shownOnce = false;
    bool unloaded = false;
};

FrmMain form;

HFONT CreateDesignFont(const char16_t* face, UINT dpi) {
    return CreateFontW(FontHeightForDpi(frmMainDesign::kFontPoints, static_cast<int>(dpi)), 0, 0, 0,
                       frmMainDesign::kFontWeight, FALSE, FALSE, FALSE, frmMainDesign::kFontCharset,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_DONTCARE,
                       W(face));
}

HICON LoadAppIcon(int metric, UINT dpi) {
    int size = GetSystemMetricsForDpi(metric, dpi);
    return static_cast<HICON>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIdAppIcon), IMAGE_ICON, size, size, 0));
}

void PlaceControl(HWND control, const TwipsRect& design, UINT dpi) {
    PixelRect r = TwipsToPixels(design, static_cast<int>(dpi));
    SetWindowPos(control, nullptr, r.left, r.top, r.width, r.height, SWP_NOZORDER | SWP_NOACTIVATE);
}

SIZE WindowSizeForDpi(UINT dpi) {
    PixelSize client = ClientSizeForDpi(static_cast<int>(dpi));
    RECT r = {0, 0, client.width, client.height};
    AdjustWindowRectExForDpi(&r, kStyle, FALSE, kExStyle, dpi);
    return {r.right - r.left, r.bottom - r.top};
}

// Lays the dialog out for `dpi`: fonts, icons, control rectangles and the
// window's size, keeping its top-left corner at `origin`.
void ApplyLayout(UINT dpi, POINT origin) {
    form.dpi = dpi;
    UniqueFont labelFont(CreateDesignFont(frmMainDesign::kLabelFace, dpi));
    UniqueFont buttonFont(CreateDesignFont(frmMainDesign::kButtonFace, dpi));
    SendMessageW(form.lblMsg, WM_SETFONT, reinterpret_cast<WPARAM>(labelFont.get()), TRUE);
    SendMessageW(form.cmdOk, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont.get()), TRUE);
    SendMessageW(form.cmdCancel, WM_SETFONT, reinterpret_cast<WPARAM>(buttonFont.get()), TRUE);
    // The controls no longer use the old fonts, which go now.
    form.labelFont = std::move(labelFont);
    form.buttonFont = std::move(buttonFont);

    UniqueIcon bigIcon(LoadAppIcon(SM_CXICON, dpi));
    UniqueIcon smallIcon(LoadAppIcon(SM_CXSMICON, dpi));
    if (bigIcon) SendMessageW(form.hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon.get()));
    if (smallIcon) SendMessageW(form.hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon.get()));
    if (bigIcon) form.bigIcon = std::move(bigIcon);
    if (smallIcon) form.smallIcon = std::move(smallIcon);

    PlaceControl(form.lblMsg, frmMainDesign::kLblMsg, dpi);
    PlaceControl(form.cmdOk, frmMainDesign::kCmdOk, dpi);
    PlaceControl(form.cmdCancel, frmMainDesign::kCmdCancel, dpi);
    SIZE size = WindowSizeForDpi(dpi);
    SetWindowPos(form.hwnd, nullptr, origin.x, origin.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    // The frame may not follow the computed metrics exactly (a frame drawn
    // at another DPI, a theme): make the client area itself exact.
    PixelSize want = ClientSizeForDpi(static_cast<int>(dpi));
    RECT client;
    GetClientRect(form.hwnd, &client);
    int dx = want.width - client.right, dy = want.height - client.bottom;
    if (dx != 0 || dy != 0)
        SetWindowPos(form.hwnd, nullptr, 0, 0, size.cx + dx, size.cy + dy,
                     SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE);
    InvalidateRect(form.hwnd, nullptr, TRUE);
}

void CentreOnScreen() {
    MONITORINFO mi = {};
    mi.cbSize = sizeof mi;
    HMONITOR monitor = MonitorFromWindow(form.hwnd, MONITOR_DEFAULTTOPRIMARY);
    if (!GetMonitorInfoW(monitor, &mi)) return;
    RECT w;
    GetWindowRect(form.hwnd, &w);
    int x = mi.rcMonitor.left + (mi.rcMonitor.right - mi.rcMonitor.left - (w.right - w.left)) / 2;
    int y = mi.rcMonitor.top + (mi.rcMonitor.bottom - mi.rcMonitor.top - (w.bottom - w.top)) / 2;
    SetWindowPos(form.hwnd, nullptr, x, y, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOSIZE);
}

void Form_Load() {
    SetLanguage(0);
    SetWindowTextW(form.hwnd, W(TitleText));
    SetWindowTextW(form.lblMsg, W(PromptText));
    SetWindowTextW(form.cmdOk, W(OkText));
    SetWindowTextW(form.cmdCancel, W(CancelText));
}

// Unloads the dialog: it is hidden and destroyed at once. The process ends
// when WM_DESTROY finds no run in progress, or else when the run returns.
void Unload() {
    if (form.hwnd) DestroyWindow(form.hwnd);
}

void cmdCancel_Click() { Unload(); }

// A run can take twenty seconds while browsers close; the wait cursor
// says the dialog is busy, not hung.
void ShowRunCursor(bool running) {
    POINT at;
    if (!GetCursorPos(&at)) return;
    const HWND under = WindowFromPoint(at);
    if (running || (under && (under == form.hwnd || IsChild(form.hwnd, under))))
        SetCursor(LoadCursorW(nullptr, running ? IDC_WAIT : IDC_ARROW));
}

// What the OK button does: the run, then the message box that tells how it
// went. Runs on the UI thread, start to end, within the click.
void cmdOk_Click() {
    EnableOkButton(false);
    ShowRunCursor(true);
    const bool repaired = RunFix(form.scope);
    ShowRunCursor(false);

    // Closed during the run: the work is done, but nothing more is shown.
    if (!MainDialogUnloaded())
        MessageBoxW(MainDialogWindow(), W(repaired ? DoneText : FailText), W(DZD_PRODUCT_NAME_W),
                    repaired ? MB_OK : MB_OK | MB_ICONWARNING);
    EnableOkButton(true);
}

void StartFixRun() {
    if (!form.cmdOk || !IsWindowEnabled(form.cmdOk)) return;  // a run is under way
    ++form.runsInProgress;
    try {
        cmdOk_Click();
    } catch (...) {
        // The dialog stays usable whatever went wrong inside the run.
        EnableOkButton(true);
    }
    --form.runsInProgress;
    if (form.runsInProgress == 0 && form.unloaded) PostQuitMessage(0);
}

// Enter, translated by the dialog manager, presses the focused button.
void PressFocusedButton() {
    HWND focus = GetFocus();
    if (focus == form.cmdOk) StartFixRun();
    else if (focus == form.cmdCancel) cmdCancel_Click();
}

HWND CreateChild(HWND parent, const wchar_t* cls, const char16_t* designText, DWORD style, int id) {
    return CreateWindowExW(0, cls, W(designText), WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

bool OnCreate(HWND hwnd) {
    form.hwnd = hwnd;
    // Created in tab order.
    form.lblMsg = CreateChild(hwnd, L"STATIC", u"提示：", SS_LEFT | SS_NOPREFIX, kIdLblMsg);
    form.cmdOk = CreateChild(hwnd, L"BUTTON", u"确 认", BS_PUSHBUTTON | WS_TABSTOP, kIdCmdOk);
    form.cmdCancel = CreateChild(hwnd, L"BUTTON", u"取 消", BS_PUSHBUTTON | WS_TABSTOP, kIdCmdCancel);
    if (!form.lblMsg || !form.cmdOk || !form.cmdCancel) return false;
    form.focusWhenInactive = form.cmdOk;
    RECT w;
    GetWindowRect(hwnd, &w);
    ApplyLayout(GetDpiForWindow(hwnd), {w.left, w.top});
    Form_Load();
    return true;
}

LRESULT CALLBACK FrmMainProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE:
        return OnCreate(hwnd) ? 0 : -1;
    case WM_ACTIVATE:
        // Keep the focus on a control across deactivation, as dialogs do.
        if (LOWORD(wp) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd, focus)) form.focusWhenInactive = focus;
        } else if (!HIWORD(wp)) {
            HWND target = form.focusWhenInactive;
            if (!target || !IsWindowEnabled(target)) target = IsWindowEnabled(form.cmdOk) ? form.cmdOk : form.cmdCancel;
            // During a run no key may land on a button (see EnableOkButton).
            SetFocus(form.runsInProgress > 0 ? hwnd : target);
        }
        return 0;
    case WM_COMMAND: {
        int id = LOWORD(wp);
        if (id == kIdCmdOk && HIWORD(wp) == BN_CLICKED) StartFixRun();
        else if (id == kIdCmdCancel && HIWORD(wp) == BN_CLICKED) cmdCancel_Click();
        else if (id == IDOK) PressFocusedButton();
        // IDCANCEL (Escape) is left alone: the dialog has no cancel button.
        return 0;
    }
    case WM_SETCURSOR:
        if (form.runsInProgress > 0) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lp) == form.lblMsg) {
            HDC dc = reinterpret_cast<HDC>(wp);
            SetTextColor(dc, RGB(0, 0, 0));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lp);
        RECT current;
        GetWindowRect(hwnd, &current);
        if (!suggested) suggested = &current;
        ApplyLayout(LOWORD(wp), {suggested->left, suggested->top});
        return 0;
    }
    case WM_CLOSE:
        Unload();
        return 0;
    case WM_DESTROY:
        form.unloaded = true;
        form.hwnd = form.lblMsg = form.cmdOk = form.cmdCancel = form.focusWhenInactive = nullptr;
        if (form.runsInProgress == 0) PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        form.labelFont.reset();
        form.buttonFont.reset();
        form.bigIcon.reset();
        form.smallIcon.reset();
        break;
    default:
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

bool RegisterFrmMainClass(HINSTANCE inst) {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FrmMainProc;
    wc.hInstance = inst;
    wc.hIcon = LoadIconW(inst, MAKEINTRESOURCEW(kIdAppIcon));
    wc.hIconSm = static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(kIdAppIcon), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                               LR_SHARED));
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kClassName;
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

// The dialog manager sees each message first, so keyboard navigation works.
bool PreviewForDialog(MSG& msg) { return form.hwnd && IsDialogMessageW(form.hwnd, &msg); }

}  // namespace

bool ShowMainDialog(RunScope scope) {
    if (form.shownOnce) return false;
    form.shownOnce = true;
    form.scope = scope;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    HINSTANCE inst = GetModuleHandleW(nullptr);
    if (!RegisterFrmMainClass(inst)) return false;
    SetMessagePreview(PreviewForDialog);
    // Created hidden on the primary monitor, so the first layout already
    // uses that monitor's DPI; the design caption gives way to TitleText in
    // Form_Load before the window is first visible.
    MONITORINFO mi = {};
    mi.cbSize = sizeof mi;
    GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &mi);
    HWND hwnd = CreateWindowExW(kExStyle, kClassName, W(u"Quillpad - Chrome/Edge设置修复工具"), kStyle,
                                mi.rcMonitor.left, mi.rcMonitor.top, 0, 0, nullptr, nullptr, inst, nullptr);
    if (!hwnd) return false;
    CentreOnScreen();
    ShowWindow(hwnd, SW_SHOWNORMAL);
    UpdateWindow(hwnd);
    return IsWindowVisible(hwnd) != FALSE;
}

int RunMessageLoop() {
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return 1;
        DispatchThreadMessage(msg);
    }
    return static_cast<int>(msg.wParam);
}

HWND MainDialogWindow() { return form.hwnd; }

bool MainDialogUnloaded() { return form.unloaded; }

void EnableOkButton(bool enabled) {
    if (!form.cmdOk) return;
    const bool active = GetActiveWindow() == form.hwnd;
    if (!enabled) {
        // A disabled cmdOk cannot keep the focus, and on cmdCancel an Enter
        // held a moment too long would end the program mid-run. The dialog
        // itself takes no key.
        const HWND focus = GetFocus();
        if (focus == form.cmdOk || focus == form.cmdCancel) SetFocus(form.hwnd);
        EnableWindow(form.cmdOk, FALSE);
        return;
    }
    EnableWindow(form.cmdOk, TRUE);
    if (active) SetFocus(form.cmdOk);
    else form.focusWhenInactive = form.cmdOk;
}
