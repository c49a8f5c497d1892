// Starts the real program and works its dialog from outside, the way a user
// would: reads what it shows, sends it keys through its message queue (so
// the dialog manager sees them) and clicks, and watches the process end.
#include <windows.h>

#include <gtest/gtest.h>

#include "rect_checks.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

const std::wstring kTitle = L"Quillpad - Chrome/Edge\u8bbe\u7f6e\u4fee\u590d\u5de5\u5177";
const std::wstring kPrompt =
    L"\u4fee\u590d\u7a0b\u5e8f\u4f1a\u5173\u95ed\u6240\u6709\u5f53\u524d\u6253\u5f00\u7684 Google "
    L"Chrome\u6d4f\u89c8\u5668 \u548c Microsoft Edge\u6d4f\u89c8\u5668 \u7a97\u53e3\uff0c\r\n"
    L"\u60a8\u786e\u8ba4\u8981\u6267\u884c\u5417\uff1f";
const std::wstring kOk = L"\u786e \u8ba4";
const std::wstring kCancel = L"\u53d6 \u6d88";
const std::wstring kDone = L"\u4fee\u590d\u5b8c\u6210\uff01";
const std::wstring kProductName = L"Quillpad Chrome/Edge Fix";

std::wstring ProgramPath() {
    const char* unixPath = std::getenv("DZD_EXE");
    if (!unixPath) return {};
    std::string p = unixPath;
    if (!p.empty() && p[0] == '/') p = "Z:" + p;  // Wine maps / to drive Z:
    std::wstring w(p.begin(), p.end());
    for (wchar_t& c : w)
        if (c == L'/') c = L'\\';
    return w;
}

std::wstring TextOf(HWND hwnd) {
    wchar_t buf[512] = {};
    SendMessageTimeoutW(hwnd, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 5000, nullptr);
    return buf;
}

std::wstring ClassOf(HWND hwnd) {
    wchar_t buf[256] = {};
    GetClassNameW(hwnd, buf, 256);
    return buf;
}

bool WaitFor(const std::function<bool()>& done, int ms = 10000) {
    for (int waited = 0; waited < ms; waited += 20) {
        if (done()) return true;
        Sleep(20);
    }
    return done();
}

struct TopLevelSearch {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND hwnd, LPARAM lp) {
    auto* s = reinterpret_cast<TopLevelSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == s->pid && IsWindowVisible(hwnd)) s->found.push_back(hwnd);
    return TRUE;
}

LPARAM KeyLParam(UINT vk, bool up) {
    LPARAM lp = 1 | (static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16);
    if (up) lp |= (static_cast<LPARAM>(1) << 30) | (static_cast<LPARAM>(1) << 31);
    return lp;
}

// One run of the program with its dialog.
class Program {
public:
    Program() {
        exe_ = ProgramPath();
        if (exe_.empty()) return;
        std::wstring cmd = L"\"" + exe_ + L"\"";
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_)) return;
        WaitFor([this] {
            dialog = FindTopLevel([](HWND h) { return ClassOf(h) != L"#32770"; });
            return dialog != nullptr;
        });
        if (!dialog) return;
        tid_ = GetWindowThreadProcessId(dialog, nullptr);
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
            children.push_back(child);
        if (children.size() == 3) {
            lblMsg = children[0];
            cmdOk = children[1];
            cmdCancel = children[2];
        }
        // The first show sets the focus; give the program a moment to get there.
        WaitFor([this] { return Focus() != nullptr; }, 3000);
    }
    ~Program() {
        if (pi_.hProcess) {
            if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 1);
            CloseHandle(pi_.hProcess);
            CloseHandle(pi_.hThread);
        }
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    bool Ready() const { return dialog && lblMsg && cmdOk && cmdCancel; }

    HWND FindTopLevel(const std::function<bool(HWND)>& match) const {
        TopLevelSearch s{pi_.dwProcessId, {}};
        EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&s));
        for (HWND h : s.found)
            if (match(h)) return h;
        return nullptr;
    }
    HWND MessageBoxWindow() const {
        return FindTopLevel([](HWND h) { return ClassOf(h) == L"#32770"; });
    }
    int VisibleTopLevelCount() const {
        TopLevelSearch s{pi_.dwProcessId, {}};
        EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&s));
        return static_cast<int>(s.found.size());
    }

    HWND Focus() const {
        GUITHREADINFO gui = {};
        gui.cbSize = sizeof gui;
        return GetGUIThreadInfo(tid_, &gui) ? gui.hwndFocus : nullptr;
    }
    HWND Active() const {
        GUITHREADINFO gui = {};
        gui.cbSize = sizeof gui;
        return GetGUIThreadInfo(tid_, &gui) ? gui.hwndActive : nullptr;
    }

    // A key press and release, queued for the window that has the focus.
    void PressKey(UINT vk) const {
        HWND target = Focus();
        if (!target) target = dialog;
        PostMessageW(target, WM_KEYDOWN, vk, KeyLParam(vk, false));
        PostMessageW(target, WM_KEYUP, vk, KeyLParam(vk, true));
    }
    // Lets the program handle everything queued so far.
    void Settle() const {
        DWORD_PTR ignored;
        SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored);
        Sleep(100);
    }

    bool Ended(DWORD* code, int ms = 10000) const {
        if (WaitForSingleObject(pi_.hProcess, ms) != WAIT_OBJECT_0) return false;
        GetExitCodeProcess(pi_.hProcess, code);
        return true;
    }
    bool Running() const { return WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT; }

    const std::wstring& Exe() const { return exe_; }

    HWND dialog = nullptr;
    HWND lblMsg = nullptr;
    HWND cmdOk = nullptr;
    HWND cmdCancel = nullptr;
    std::vector<HWND> children;

private:
    std::wstring exe_;
    PROCESS_INFORMATION pi_ = {};
    DWORD tid_ = 0;
};

// The message box of a finished run: its caption, its text and its one button.
void ExpectCompletionBox(HWND box) {
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TextOf(box), kProductName);
    bool sawText = false;
    int buttons = 0;
    for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        if (!IsWindowVisible(c)) continue;
        std::wstring cls = ClassOf(c);
        if (TextOf(c) == kDone) sawText = true;
        if (_wcsicmp(cls.c_str(), L"Button") == 0) ++buttons;
    }
    EXPECT_TRUE(sawText);
    EXPECT_EQ(buttons, 1);
}

TEST(Dialog, ShowsTheSimplifiedChineseTextsInTabOrder) {
    Program p;
    ASSERT_TRUE(p.Ready()) << "the dialog with its three controls did not appear";
    EXPECT_EQ(TextOf(p.dialog), kTitle);
    EXPECT_EQ(TextOf(p.lblMsg), kPrompt);
    EXPECT_EQ(TextOf(p.cmdOk), kOk);
    EXPECT_EQ(TextOf(p.cmdCancel), kCancel);
    EXPECT_EQ(_wcsicmp(ClassOf(p.lblMsg).c_str(), L"Static"), 0);
    EXPECT_EQ(_wcsicmp(ClassOf(p.cmdOk).c_str(), L"Button"), 0);
    EXPECT_EQ(_wcsicmp(ClassOf(p.cmdCancel).c_str(), L"Button"), 0);
    for (HWND c : p.children) {
        EXPECT_TRUE(IsWindowVisible(c));
        EXPECT_TRUE(IsWindowEnabled(c));
    }
    EXPECT_EQ(p.VisibleTopLevelCount(), 1);
}

TEST(Dialog, FixedFrameDesignSizeAndCentredAt96Dpi) {
    Program p;
    ASSERT_TRUE(p.Ready());
    ASSERT_EQ(GetDpiForWindow(p.dialog), 96u) << "this check needs a 96 DPI Wine prefix";
    RECT client;
    GetClientRect(p.dialog, &client);
    EXPECT_EQ(client.right, 490);
    EXPECT_EQ(client.bottom, 228);
    ExpectRect(RectInClient(p.dialog, p.lblMsg), 32, 24, 425, 105);
    ExpectRect(RectInClient(p.dialog, p.cmdOk), 88, 144, 121, 41);
    ExpectRect(RectInClient(p.dialog, p.cmdCancel), 248, 144, 121, 41);

    LONG style = GetWindowLongW(p.dialog, GWL_STYLE);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_FALSE(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_CHILD));
    EXPECT_EQ(GetWindow(p.dialog, GW_OWNER), nullptr);

    RECT w;
    GetWindowRect(p.dialog, &w);
    int screenW = GetSystemMetrics(SM_CXSCREEN), screenH = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_LE(std::abs((w.left + w.right) - screenW), 1);
    EXPECT_LE(std::abs((w.top + w.bottom) - screenH), 1);

    // A plain left-aligned, word-wrapping label; two plain push buttons,
    // neither of them the default.
    EXPECT_EQ(GetWindowLongW(p.lblMsg, GWL_STYLE) & SS_TYPEMASK, static_cast<LONG>(SS_LEFT));
    EXPECT_FALSE(GetWindowLongW(p.lblMsg, GWL_STYLE) & (WS_BORDER | WS_TABSTOP));
    EXPECT_FALSE(GetWindowLongW(p.lblMsg, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE));
    for (HWND b : {p.cmdOk, p.cmdCancel}) {
        LONG s = GetWindowLongW(b, GWL_STYLE);
        EXPECT_EQ(s & BS_TYPEMASK, static_cast<LONG>(BS_PUSHBUTTON));
        EXPECT_TRUE(s & WS_TABSTOP);
    }
}

TEST(Dialog, FocusStartsOnOkAndTabMovesItBetweenTheButtons) {
    Program p;
    ASSERT_TRUE(p.Ready());
    EXPECT_EQ(p.Active(), p.dialog);
    ASSERT_EQ(p.Focus(), p.cmdOk);
    p.PressKey(VK_TAB);
    EXPECT_TRUE(WaitFor([&] { return p.Focus() == p.cmdCancel; }, 3000));
    p.PressKey(VK_TAB);
    EXPECT_TRUE(WaitFor([&] { return p.Focus() == p.cmdOk; }, 3000)) << "the label never takes the focus";
    p.PressKey(VK_TAB);
    EXPECT_TRUE(WaitFor([&] { return p.Focus() == p.cmdCancel; }, 3000));
}

TEST(Dialog, EscapeChangesNothing) {
    Program p;
    ASSERT_TRUE(p.Ready());
    for (HWND focus : {p.cmdOk, p.cmdCancel}) {
        if (p.Focus() != focus) {
            p.PressKey(VK_TAB);
            ASSERT_TRUE(WaitFor([&] { return p.Focus() == focus; }, 3000));
        }
        p.PressKey(VK_ESCAPE);
        p.Settle();
        Sleep(300);
        EXPECT_TRUE(p.Running());
        EXPECT_TRUE(IsWindowVisible(p.dialog));
        EXPECT_EQ(p.VisibleTopLevelCount(), 1) << "no message box either";
        EXPECT_EQ(p.Focus(), focus);
        EXPECT_EQ(TextOf(p.dialog), kTitle);
        EXPECT_TRUE(IsWindowEnabled(p.cmdOk));
    }
}

TEST(Dialog, EnterOnOkShowsTheCompletionMessageAndCanBeRepeated) {
    Program p;
    ASSERT_TRUE(p.Ready());
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        ASSERT_TRUE(WaitFor([&] { return p.Focus() == p.cmdOk; }, 3000));
        p.PressKey(VK_RETURN);
        HWND box = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (box = p.MessageBoxWindow()) != nullptr; }));
        ExpectCompletionBox(box);
        EXPECT_EQ(GetWindow(box, GW_OWNER), p.dialog);
        EXPECT_FALSE(IsWindowEnabled(p.cmdOk)) << "no second run while one is under way";
        EXPECT_TRUE(IsWindowVisible(p.dialog));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(WaitFor([&] { return p.MessageBoxWindow() == nullptr; }));
        EXPECT_TRUE(WaitFor([&] { return IsWindowEnabled(p.cmdOk) != FALSE; }, 3000));
        EXPECT_TRUE(IsWindowVisible(p.dialog));
        EXPECT_TRUE(p.Running());
    }
}

TEST(Dialog, SpaceOnOkRunsTooAndEnterOnCancelEndsTheProcess) {
    Program p;
    ASSERT_TRUE(p.Ready());
    p.PressKey(VK_SPACE);
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (box = p.MessageBoxWindow()) != nullptr; }));
    ExpectCompletionBox(box);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    ASSERT_TRUE(WaitFor([&] { return p.MessageBoxWindow() == nullptr && IsWindowEnabled(p.cmdOk); }));

    ASSERT_TRUE(WaitFor([&] { return p.Focus() == p.cmdOk; }, 3000));
    p.PressKey(VK_TAB);
    ASSERT_TRUE(WaitFor([&] { return p.Focus() == p.cmdCancel; }, 3000));
    p.PressKey(VK_RETURN);
    DWORD code = 1234;
    ASSERT_TRUE(p.Ended(&code));
    EXPECT_EQ(code, 0u);
}

TEST(Dialog, CancelAndTheCloseBoxEachEndTheProcess) {
    {
        Program p;
        ASSERT_TRUE(p.Ready());
        PostMessageW(p.cmdCancel, BM_CLICK, 0, 0);
        DWORD code = 1234;
        ASSERT_TRUE(p.Ended(&code)) << "cmdCancel";
        EXPECT_EQ(code, 0u);
    }
    {
        Program p;
        ASSERT_TRUE(p.Ready());
        PostMessageW(p.dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
        DWORD code = 1234;
        ASSERT_TRUE(p.Ended(&code)) << "close box";
        EXPECT_EQ(code, 0u);
    }
}

TEST(Dialog, ClosingDuringARunEndsTheProcessWithoutBringingTheDialogBack) {
    for (int viaCancel = 0; viaCancel < 2; ++viaCancel) {
        SCOPED_TRACE(viaCancel ? "cmdCancel" : "WM_CLOSE");
        Program p;
        ASSERT_TRUE(p.Ready());
        p.PressKey(VK_RETURN);
        ASSERT_TRUE(WaitFor([&] { return p.MessageBoxWindow() != nullptr; }));
        // The message box keeps the user away from the dialog; a run that
        // processes messages (or another program) can still close it.
        if (viaCancel) PostMessageW(p.cmdCancel, BM_CLICK, 0, 0);
        else PostMessageW(p.dialog, WM_CLOSE, 0, 0);
        DWORD code = 1234;
        ASSERT_TRUE(p.Ended(&code));
        EXPECT_EQ(code, 0u);
    }
}

// The program file itself: its icon group, its version information and
// its manifest.
class ProgramFile : public ::testing::Test {
protected:
    void SetUp() override {
        exe = ProgramPath();
        ASSERT_FALSE(exe.empty()) << "DZD_EXE is not set";
        module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ASSERT_NE(module, nullptr);
    }
    void TearDown() override {
        if (module) FreeLibrary(module);
    }
    std::string Resource(LPCWSTR type, LPCWSTR name) const {
        HRSRC res = FindResourceW(module, name, type);
        if (!res) return {};
        HGLOBAL data = LoadResource(module, res);
        const char* bytes = static_cast<const char*>(LockResource(data));
        return bytes ? std::string(bytes, SizeofResource(module, res)) : std::string();
    }
    std::wstring exe;
    HMODULE module = nullptr;
};

BOOL CALLBACK CollectNames(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR lp) {
    auto* names = reinterpret_cast<std::vector<ULONG_PTR>*>(lp);
    names->push_back(IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) : 0);
    return TRUE;
}

#pragma pack(push, 2)
struct GroupIconEntry {
    BYTE width, height, colours, reserved;
    WORD planes, bitCount;
    DWORD bytes;
    WORD id;
};
#pragma pack(pop)

TEST_F(ProgramFile, OneIconOfSixImages) {
    std::vector<ULONG_PTR> groups;
    EnumResourceNamesW(module, MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */, CollectNames,
                       reinterpret_cast<LONG_PTR>(&groups));
    ASSERT_EQ(groups, std::vector<ULONG_PTR>{1});
    std::string dir = Resource(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(1));
    ASSERT_GE(dir.size(), 6u);
    WORD count = *reinterpret_cast<const WORD*>(dir.data() + 4);
    ASSERT_EQ(count, 6);
    ASSERT_EQ(dir.size(), 6u + count * sizeof(GroupIconEntry));
    std::vector<std::pair<int, int>> seen;  // size, bits per pixel
    for (WORD i = 0; i < count; ++i) {
        GroupIconEntry e;
        memcpy(&e, dir.data() + 6 + i * sizeof e, sizeof e);
        std::string image = Resource(MAKEINTRESOURCEW(3) /* RT_ICON */, MAKEINTRESOURCEW(e.id));
        ASSERT_GE(image.size(), sizeof(BITMAPINFOHEADER));
        BITMAPINFOHEADER h;
        memcpy(&h, image.data(), sizeof h);
        EXPECT_EQ(h.biWidth, e.width);
        EXPECT_EQ(h.biHeight, 2 * e.height);
        EXPECT_EQ(h.biBitCount, e.bitCount);
        seen.emplace_back(e.width, e.bitCount);
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, (std::vector<std::pair<int, int>>{{16, 8}, {16, 32}, {32, 8}, {32, 32}, {48, 8}, {48, 32}}));
}

TEST_F(ProgramFile, VersionInformationNamesTheProductAndTheBuildVersion) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeW(exe.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<char> info(size);
    ASSERT_TRUE(GetFileVersionInfoW(exe.c_str(), 0, size, info.data()));
    for (const wchar_t* key : {L"\\StringFileInfo\\040904B0\\ProductName", L"\\StringFileInfo\\040904B0\\FileDescription"}) {
        wchar_t* value = nullptr;
        UINT len = 0;
        ASSERT_TRUE(VerQueryValueW(info.data(), key, reinterpret_cast<void**>(&value), &len)) << key;
        EXPECT_EQ(std::wstring(value), kProductName);
    }
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT len = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &len));
    std::string expected = DZD_TEST_VERSION;  // the build's project version
    std::string actual = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                         std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                         std::to_string(HIWORD(fixed->dwFileVersionLS));
    EXPECT_EQ(actual, expected);
    EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
}

TEST_F(ProgramFile, ManifestAsksForPerMonitorDpiAndCommonControls6) {
    std::string manifest = Resource(MAKEINTRESOURCEW(24) /* RT_MANIFEST */, MAKEINTRESOURCEW(1));
    ASSERT_FALSE(manifest.empty());
    EXPECT_NE(manifest.find("PerMonitorV2"), std::string::npos);
    EXPECT_NE(manifest.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(manifest.find("version=\"6.0.0.0\""), std::string::npos);
}

}  // namespace
