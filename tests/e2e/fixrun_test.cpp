// The whole fix run, as a user meets it: stand-in browsers and another program on the same engine are open, the user
// presses Enter on the dialog, and the run closes what it must, repairs what it can and says how it went.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <utility>
#include <vector>

#include "../support/testfs.h"
#include "../support/testwin.h"
#include "dialog/lang.h"
#include "preferences/preferences.h"

namespace {

namespace fs = std::filesystem;
using testwin::kBrowserClass;
using testwin::Process;

// A build output named by an environment variable, a Unix path (Z: to Wine).
fs::path FromEnvironment(const char* variable) {
    const char* unixPath = std::getenv(variable);
    return unixPath ? fs::path(std::string("Z:") + unixPath).make_preferred() : fs::path();
}

std::wstring WindowText(HWND hwnd) {
    wchar_t buf[1024] = {};
    GetWindowTextW(hwnd, buf, 1024);
    return buf;
}

// A visible top-level window of the process (of that class), waited for up to `ms`.
HWND WaitForWindow(DWORD pid, const std::wstring& className = L"", DWORD ms = 15000) {
    for (DWORD waited = 0;; waited += 50, Sleep(50)) {
        for (HWND w = GetTopWindow(nullptr); w; w = GetWindow(w, GW_HWNDNEXT)) {
            DWORD owner = 0;
            wchar_t cls[256] = {};
            GetWindowThreadProcessId(w, &owner);
            GetClassNameW(w, cls, 256);
            if (owner == pid && IsWindowVisible(w) && (className.empty() || className == cls)) return w;
        }
        if (waited >= ms) return nullptr;
    }
}

// The cursor the window shows with the mouse over it (another process's cursors can only be told apart).
HCURSOR CursorOver(HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    SendMessageW(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    CURSORINFO ci = {};
    ci.cbSize = sizeof ci;
    GetCursorInfo(&ci);
    return ci.hCursor;
}

HWND FocusOf(HWND window) {
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof gti;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gti);
    return gti.hwndFocus;
}

// The user clicks another program's window, then the dialog again.
void SwitchAwayAndBack(HWND dialog, HWND other) {
    for (HWND w : {other, dialog}) {
        SetForegroundWindow(w);
        for (int i = 0; i < 40 && GetForegroundWindow() != w; ++i) Sleep(25);
    }
}

bool FocusBecomes(HWND dialog, HWND want) {
    for (int i = 0; i < 60 && FocusOf(dialog) != want; ++i) Sleep(50);
    return FocusOf(dialog) == want;
}

// A key press delivered to the focused control, once the window has the focus.
void PressKey(HWND window, WORD vk) {
    for (int i = 0; i < 40; ++i, Sleep(50)) {
        const HWND focus = FocusOf(window);
        if (focus != window && !IsChild(window, focus)) continue;
        const LPARAM lp = 1 | (MapVirtualKeyW(vk, MAPVK_VK_TO_VSC) << 16);
        PostMessageW(focus, WM_KEYDOWN, vk, lp);
        PostMessageW(focus, WM_KEYUP, vk, lp | (3u << 30));
        return;
    }
}

const std::wstring kFound = L"\u6587\u4ef6\u5b58\u5728\uff1a";    // 文件存在：
const std::wstring kMissing = L"\u672a\u627e\u5230\u6587\u4ef6:";  // 未找到文件:
const std::wstring kClosed = L"Browser windows closed: ";
const std::wstring kEnded = L"Background browser processes ended: ";
const std::wstring kNoneEnded = kEnded + L"0; could not be ended: 0";

const std::string kChromeBefore =
    "{\"browser\":{\"enabled_labs_experiments\":[\"foo@1\"]},\"name\":\"\xe5\x90\x8d\","
    "\"protocol_handler\":{\"excluded_schemes\":{\"afp\":true,\"vezoverove\":true}}}";
const std::string kChromeAfter =
    "{\"browser\":{\"enabled_labs_experiments\":[\"block-insecure-private-network-requests@2\",\"foo@1\"]},"
    "\"name\":\"\xe5\x90\x8d\",\"protocol_handler\":{\"excluded_schemes\":{\"afp\":true,\"vezoverove\":false}}}";
std::string Utf16LeWithMark(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}
const std::string kEdgeBefore = Utf16LeWithMark("{\"browser\":{\"x\":\"\"}}");
const std::string kEdgeAfter =
    Utf16LeWithMark("{\"browser\":{\"enabled_labs_experiments\":[\"block-insecure-private-network-requests@2\"],\"x\":\"\"}}");

// The lines of a log or standard output: CR LF between them, at most one after the last.
template <class Char>
std::vector<std::basic_string<Char>> SplitLines(const std::basic_string<Char>& text) {
    std::vector<std::basic_string<Char>> lines;
    for (size_t start = 0, end; start < text.size(); start = end + 2) {
        end = std::min(text.find(std::basic_string<Char>{Char('\r'), Char('\n')}, start), text.size());
        lines.push_back(text.substr(start, end - start));
    }
    return lines;
}

std::string Utf8(const fs::path& p) { return p.u8string(); }
std::wstring W(const std::u16string& text) { return {text.begin(), text.end()}; }

// The log's messages, without their time stamps, in the ANSI code page.
std::vector<std::wstring> LogMessages(const fs::path& folder) {
    std::vector<std::wstring> lines;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().filename().wstring().rfind(L"zaridedev.log.", 0) != 0) continue;
        const std::string bytes = testfs::ReadBytes(e.path());
        std::wstring text(bytes.size(), L'\0');
        text.resize(static_cast<size_t>(
            MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], text.size())));
        for (const std::wstring& line : SplitLines(text)) lines.push_back(line.substr(std::min<size_t>(21, line.size())));
        fs::remove(e.path());
    }
    return lines;
}

class FixRun : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(FromEnvironment("DZD_EXE"), exe);
        SetLanguage(0);  // the texts the dialog loads; their spelling is checked on its own
        // Browsers are told by their image name; a program on the same engine has its own.
        for (const char* name : {"Chrome.exe", "msedge.exe", "code.exe", "firefox.exe"})
            fs::copy_file(FromEnvironment("DZD_FAKE_BROWSER"), dir.path() / name);
        appData = _wgetenv(L"LOCALAPPDATA");
        chrome = appData + L"\\Google\\Chrome\\User Data\\Local State";
        edge = appData + L"\\Microsoft\\Edge\\User Data\\Local State";
        chromeBeta = appData + L"\\Google\\Chrome Beta\\User Data\\Local State";
        edgeDev = appData + L"\\Microsoft\\Edge Dev\\User Data\\Local State";
        TearDown();
        for (const fs::path& p : {chrome, edge}) fs::create_directories(p.parent_path());
    }
    void TearDown() override {
        std::error_code ec;
        for (const fs::path& p : {chrome, edge, chromeBeta, edgeDev})
            SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL), fs::remove(p, ec);
        for (const fs::path& p : {chromeBeta, edgeDev}) fs::remove_all(p.parent_path().parent_path(), ec);
    }
    // The box that ends a run, once it is up: its text, and whether it warns.
    static std::pair<std::wstring, bool> Box(const Process& app, DWORD ms, HWND* box) {
        *box = WaitForWindow(app.Id(), L"#32770", ms);
        std::pair<std::wstring, bool> content{WindowText(GetDlgItem(*box, 0xFFFF)), false};
        for (HWND c = GetWindow(*box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
            content.second |= (GetWindowLongW(c, GWL_STYLE) & SS_TYPEMASK) == SS_ICON && SendMessageW(c, STM_GETICON, 0, 0);
        EXPECT_TRUE(!*box || WindowText(*box) == L"Quillpad Chrome/Edge Fix");
        return content;
    }
    static void CloseBox(HWND box) {
        PressKey(box, VK_RETURN);
        for (int n = 0; n < 100 && IsWindow(box); ++n) Sleep(50);
    }
    // Runs an unattended copy to its end: its exit code, and what it wrote to standard output. No window may appear.
    enum class To { Pipe, File, Nobody };  // nobody: the pipe's reader has gone
    DWORD RunUnattended(const std::wstring& args, std::string* output = nullptr, To to = To::Pipe,
                        const fs::path& program = {}) {
        SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
        HANDLE read = nullptr, write = nullptr;
        const fs::path saved = dir.path() / L"output.txt";
        if (to == To::File) write = CreateFileW(saved.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &sa, CREATE_ALWAYS, 0, nullptr);
        else if (output || to == To::Nobody) CreatePipe(&read, &write, &sa, 64), SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
        if (to == To::Nobody) CloseHandle(std::exchange(read, nullptr));
        Process p(program.empty() ? exe : program, args, write);
        if (write) CloseHandle(write);
        // A reader slow to start behind a small pipe: a program done with its work waits until every line is out.
        if (read) p.WaitForExit(1000);
        char chunk[4096];
        DWORD got = 0;
        // Until the program has ended and its end of the pipe is closed.
        while (read && ReadFile(read, chunk, sizeof chunk, &got, nullptr) && got) output->append(chunk, got);
        if (read) CloseHandle(read);
        for (int i = 0; i < 3000 && p.WaitForExit(10) == STILL_ACTIVE; ++i)
            EXPECT_EQ(WaitForWindow(p.Id(), L"", 0), nullptr) << "a window appeared";
        if (to == To::File) *output = testfs::ReadBytes(saved);
        return p.WaitForExit(0);
    }
    // The stand-ins living on in the background end as at log-off, writing back what they hold.
    void LogOff(const std::vector<std::unique_ptr<Process>>& browsers) {
        SetEvent(logOff);
        for (const auto& b : browsers) EXPECT_NE(b->WaitForExit(10000), STILL_ACTIVE);
        Sleep(200);  // a helper process of theirs ends with them
        ResetEvent(logOff);
    }
    std::wstring Holding(const std::vector<fs::path>& files) const {
        std::wstring args;
        for (const fs::path& f : files) args += L" \"" + f.wstring() + L"\"";
        return args;
    }

    testfs::TempDir dir;
    fs::path exe = dir.path() / "DivezavuDizuzuDud.exe";
    std::wstring appData;
    fs::path chrome, edge, chromeBeta, edgeDev;
    const HANDLE logOff = CreateEventW(nullptr, TRUE, FALSE, testwin::kLogOffEvent);
};

TEST_F(FixRun, ClosesOnlyTheBrowsersRepairsBothFilesAndSaysSo) {
    testfs::WriteBytes(chrome, kChromeBefore);
    testfs::WriteBytes(edge, kEdgeBefore);
    Process other(dir.path() / "code.exe", L"");
    const HWND otherWindow = WaitForWindow(other.Id(), kBrowserClass);
    // The browser holds both files and writes them back when it exits, as the real one does.
    Process browser(dir.path() / "Chrome.exe", L"--slow=3000" + Holding({chrome, edge}));
    ASSERT_TRUE(WaitForWindow(browser.Id(), kBrowserClass));
    Process app(exe, L"vezoverove://log=yes/");
    const HWND dialog = WaitForWindow(app.Id());
    ASSERT_TRUE(dialog && otherWindow);
    // What the dialog shows, and where the keyboard leads: Escape does nothing.
    std::vector<HWND> c;  // lblMsg, cmdOk, cmdCancel
    for (HWND w = GetWindow(dialog, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) c.push_back(w);
    ASSERT_EQ(c.size(), 3u);
    for (const auto& [w, text] : {std::pair<HWND, std::u16string>{dialog, TitleText}, {c[0], PromptText}, {c[1], OkText},
                                  {c[2], CancelText}})
        EXPECT_EQ(WindowText(w), W(text));
    ASSERT_TRUE(FocusBecomes(dialog, c[1]));
    PressKey(dialog, VK_ESCAPE);
    PressKey(dialog, VK_TAB);
    ASSERT_TRUE(FocusBecomes(dialog, c[2]));
    PressKey(dialog, VK_TAB);  // past the label
    ASSERT_TRUE(FocusBecomes(dialog, c[1]));

    // A run takes seconds while the browser is slow to close. The user who clicks elsewhere and back meanwhile,
    // pressing keys, must find no button under the keyboard (Enter on cmdCancel would end the program mid-run); the
    // wait cursor shows the run.
    const HCURSOR idle = CursorOver(dialog);
    PressKey(dialog, VK_RETURN);
    for (int i = 0; i < 100 && IsWindowEnabled(c[1]); ++i) Sleep(20);
    ASSERT_FALSE(IsWindowEnabled(c[1])) << "the run did not start";
    EXPECT_EQ(FocusOf(dialog), dialog) << "a button kept the keyboard";
    EXPECT_NE(CursorOver(dialog), idle);
    for (int round = 0; round < 2; ++round) {
        SwitchAwayAndBack(dialog, otherWindow);
        EXPECT_EQ(FocusOf(dialog), dialog) << "round " << round;
        PressKey(dialog, VK_RETURN);
        PressKey(dialog, VK_SPACE);
    }
    HWND box = nullptr;
    EXPECT_EQ(Box(app, 30000, &box), std::make_pair(W(DoneText), false));
    ASSERT_TRUE(box) << "no completion box";
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
    EXPECT_EQ(browser.WaitForExit(0), 0u) << "the browser was gone before the files were repaired";
    EXPECT_TRUE(IsWindow(otherWindow));
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeAfter);
    EXPECT_EQ(testfs::ReadBytes(edge), kEdgeAfter);
    CloseBox(box);
    EXPECT_EQ(WaitForWindow(app.Id(), L"#32770", 1000), nullptr) << "a key pressed during the run started another";
    EXPECT_EQ(CursorOver(dialog), idle);

    // Away and back once the run is over: the focus is back on cmdOk, where space starts a second run, on a read-only
    // file beside one already repaired. The user is warned, and each file is left byte for byte as it was.
    testfs::WriteBytes(chrome, kChromeBefore);
    SetFileAttributesW(chrome.c_str(), FILE_ATTRIBUTE_READONLY);
    SwitchAwayAndBack(dialog, otherWindow);
    ASSERT_TRUE(FocusBecomes(dialog, c[1]));
    PressKey(dialog, VK_SPACE);
    EXPECT_EQ(Box(app, 15000, &box), std::make_pair(W(FailText), true));
    CloseBox(box);
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeBefore);
    EXPECT_EQ(testfs::ReadBytes(edge), kEdgeAfter);
    SetFileAttributesW(chrome.c_str(), FILE_ATTRIBUTE_NORMAL);

    // Closed during a third run, kept waiting by a browser that ends a moment after its window: the process ends once
    // the run has done its work.
    Process late(dir.path() / "Chrome.exe", Holding({chrome}));
    ASSERT_TRUE(WaitForWindow(late.Id(), kBrowserClass));
    ASSERT_TRUE(FocusBecomes(dialog, c[1]));
    PressKey(dialog, VK_RETURN);
    for (int i = 0; i < 100 && IsWindowEnabled(c[1]); ++i) Sleep(20);
    PostMessageW(c[2], BM_CLICK, 0, 0);
    EXPECT_EQ(app.WaitForExit(30000), 0u);
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeAfter);
    EXPECT_EQ(testfs::ReadBytes(edge), kEdgeAfter);
    // The first run repairs both files, the second says why it could not, the third repairs the one left.
    std::vector<std::wstring> expected = {L"Command: log=yes"};
    for (const int run : {0, 1, 2}) {
        const bool repairs = run != 1;
        const std::wstring n = repairs ? L"2" : L"0", waited = repairs ? L"1" : L"0";
        expected.insert(expected.end(), {W(EditorOriginsLine()), kClosed + n + L"; not answering: 0; other programs left open: 1; processes waited for: " +
                                             waited + L"; still running: 0",
                                         kNoneEnded, L"LocalAppDataPath: " + appData, kFound + chrome.wstring(),
                                         L"excluded_schemes: true", L"browser: add2 block-insecure-private-network-requests@2",
                                         repairs ? L"Loal Stage: changed and saved" : L"Loal Stage: changed, not saved (error 5)",
                                         kFound + edge.wstring()});
        if (run == 0) expected.insert(expected.end(), {L"excluded_schemes: false", L"browser: add enabled_labs_experiments",
                                                       L"Loal Stage: changed and saved"});
        else expected.insert(expected.end(), {L"excluded_schemes: false",
                                              L"browser: replace block-insecure-private-network-requests@2", L"Loal Stage: no change"});
    }
    EXPECT_EQ(LogMessages(dir.path()), expected);
}

// Browsers as a real desktop has them: slow to close, living on in the background, started with no window at all,
// hung, or started while the run is under way. Every stand-in holds the files it was started with and writes them
// back when it ends; the survivors end as at log-off before the files are looked at: a repair counts if it sticks.
TEST_F(FixRun, BrowsersAreClosedOrEndedSoTheRepairSticks) {
    struct Start { const char* image; std::wstring args; bool holdsFiles, duringRun, survives; };
    // Counts: the close line's five, the end line's two, browsers started meanwhile. A windowless browser is ended,
    // not waited for the full 15 s.
    struct Case { const char* name; std::vector<Start> browsers; DWORD exitCode; int counts[8]; DWORD maxMs; };
    const Case cases[] = {
        {"two windows slow to close, one that outlives its window, one that never had one",
         {{"Chrome.exe", L"--windows=2 --slow=2500", true, false, false},
          {"msedge.exe", L"--background", true, false, false},
          {"msedge.exe", L"--no-window", true, false, false}},
         0, {6, 0, 0, 3, 0, 2, 0, 0}, 14000},
        {"startup boost: no window, with a helper process",
         {{"msedge.exe", L"--no-window --helper", true, false, false}}, 0, {1, 0, 0, 2, 0, 2, 0, 0}, 14000},
        {"a hung window beside a windowless browser",
         {{"Chrome.exe", L"--hang", true, false, true}, {"msedge.exe", L"--no-window", true, false, false}},
         1, {1, 1, 0, 2, 1, 1, 0, 0}, 25000},
        // The browser's helper ends with it: nothing of it is windowless.
        {"a program on the same window class",
         {{"code.exe", L"", false, false, true}, {"Chrome.exe", L"--helper", true, false, false}},
         0, {2, 0, 1, 2, 0, 0, 0, 0}, 14000},
        {"a browser started during the run",
         {{"msedge.exe", L"--slow=4000", true, false, false}, {"Chrome.exe", L"--helper", true, true, true}},
         1, {2, 0, 0, 1, 0, 0, 0, 1}, 25000},
        // Run as administrator: neither it nor the helper it starts once its window has gone can be ended; only the
        // browser counts as running.
        {"a browser the run cannot end, living on in the background",
         {{"Chrome.exe", L"--background --late-helper --elevated", true, false, true}}, 1, {2, 0, 0, 1, 1, 0, 2, 0}, 14000},
    };
    const std::vector<fs::path> files = {chrome, edge, chromeBeta, edgeDev};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        for (const fs::path& f : files) fs::create_directories(f.parent_path()), testfs::WriteBytes(f, kChromeBefore);
        std::vector<std::unique_ptr<Process>> browsers(c.browsers.size());
        const auto start = [&](bool duringRun) {
            for (size_t i = 0; i < browsers.size(); ++i)
                if (const Start& b = c.browsers[i]; b.duringRun == duringRun)
                    browsers[i] = std::make_unique<Process>(dir.path() / b.image, b.args + (b.holdsFiles ? Holding(files) : L""));
        };
        start(false);
        Sleep(1500);  // every stand-in up, its windows shown
        const DWORD began = GetTickCount();
        const auto app = std::make_unique<Process>(exe, L"vezoverove://log=yes&silent=yes/");
        Sleep(1500);  // the close requests have gone out; the slow browser keeps the run waiting
        start(true);
        EXPECT_EQ(app->WaitForExit(30000), c.exitCode);
        EXPECT_LT(GetTickCount() - began, c.maxMs);
        for (size_t i = 0; i < browsers.size(); ++i)
            EXPECT_EQ(browsers[i]->WaitForExit(0) == STILL_ACTIVE, c.browsers[i].survives) << c.browsers[i].image;
        LogOff(browsers);
        // Beta and Dev files are repaired as the rest; a survivor holding the files wrote its old settings back.
        for (const fs::path& f : files) EXPECT_EQ(testfs::ReadBytes(f), c.exitCode ? kChromeBefore : kChromeAfter) << f;
        const std::vector<std::wstring> log = LogMessages(dir.path());
        const auto has = [&](const std::wstring& line) { return std::count(log.begin(), log.end(), line); };
        const auto n = [&](int i) { return std::to_wstring(c.counts[i]); };
        EXPECT_EQ(has(kClosed + n(0) + L"; not answering: " + n(1) + L"; other programs left open: " + n(2) +
                      L"; processes waited for: " + n(3) + L"; still running: " + n(4)), 1) << testing::PrintToString(log);
        EXPECT_EQ(has(kEnded + n(5) + L"; could not be ended: " + n(6)), 1);
        EXPECT_EQ(has(L"Browsers started during the repair: " + n(7)), c.counts[7] > 0);
    }
}

// Fleet tools start the program with nobody at the screen and read its exit code and standard output: no window may
// appear, and a check touches nothing.
TEST_F(FixRun, UnattendedRunsAnswerByExitCodeAndStandardOutput) {
    testfs::WriteBytes(chrome, kChromeBefore);
    std::string out;
    EXPECT_EQ(RunUnattended(L"vezoverove://silent=yes&check=yes/", &out, To::File), 10u);  // check wins: nothing repaired
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeBefore);
    // Every line, with or without log=yes, and the result last; the origins the build grants among the first.
    const std::vector<std::string> lines = SplitLines(out);
    ASSERT_EQ(lines.size(), 7u) << out;
    EXPECT_EQ(lines[0], "Command: silent=yes&check=yes");
    const auto env = [](const char* name) { return std::string(std::getenv(name)); };
    EXPECT_EQ(lines[1], "Computer: " + env("COMPUTERNAME") + "; user: " + env("USERDOMAIN") + "\\" + env("USERNAME") +
                            "; mode: check");
    std::string origins;
    for (const std::string& o : EditorOrigins()) origins += (origins.empty() ? "" : ", ") + o;
    EXPECT_EQ(lines[2], "Editor origins: " + origins);
    EXPECT_EQ(lines[4], "Check: " + Utf8(chrome) + ": needs repair");
    EXPECT_EQ(lines[5], "Check: " + Utf8(edge) + ": not found");
    EXPECT_EQ(lines[6], "Result: 10");
    EXPECT_EQ(out.substr(out.size() - 2), "\r\n");
    EXPECT_TRUE(LogMessages(dir.path()).empty()) << "no log without log=yes";

    testfs::WriteBytes(edge, kEdgeBefore);
    EXPECT_EQ(RunUnattended(L"\"vezoverove://log=yes&silent=yes/\""), 0u);
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeAfter);
    EXPECT_EQ(testfs::ReadBytes(edge), kEdgeAfter);
    EXPECT_EQ(LogMessages(dir.path()).back(), L"Result: 0");
    DeleteFileW(edge.c_str());

    // Eight copies starting the day's log at once keep every entry on its own line; a missing file is no error.
    std::vector<std::unique_ptr<Process>> copies;
    for (int i = 0; i < 8; ++i) copies.push_back(std::make_unique<Process>(exe, L"vezoverove://log=yes&silent=yes/"));
    for (const auto& p : copies) EXPECT_EQ(p->WaitForExit(30000), 0u);
    const fs::path blocked = std::find_if(fs::directory_iterator(dir.path()), {}, [](const fs::directory_entry& e) {
        return e.path().filename().wstring().rfind(L"zaridedev.log.", 0) == 0; })->path();  // the day's
    std::vector<std::wstring> log = LogMessages(dir.path());
    for (const std::wstring& line : {std::wstring(L"Command: log=yes&silent=yes"), kMissing + edge.wstring(), std::wstring(L"Result: 0")})
        EXPECT_EQ(std::count(log.begin(), log.end(), line), 8) << testing::PrintToString(log);
    // Each: command, computer, origins, two close lines, folder, four files found, one missing, result.
    EXPECT_EQ(log.size(), 8u * 12) << testing::PrintToString(log);

    // The program's folder takes no log (a folder has the day's name): it goes below the account's local app data.
    const fs::path fallback = fs::path(appData) / L"DivezavuDizuzuDud";
    fs::remove_all(fallback);
    fs::create_directory(blocked);
    testfs::WriteBytes(chrome, kChromeBefore);
    {
        // A standard output nobody reads any more does not stop the run; a file that cannot be read is no repair.
        const testwin::HeldFile locked(chrome, 0);
        EXPECT_EQ(RunUnattended(L"vezoverove://silent=YES&log=yes/", nullptr, To::Nobody), 1u);
    }
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeBefore);
    fs::remove(blocked);
    log = LogMessages(fallback);
    EXPECT_EQ(log.size() > 2 ? log.front() + L" " + log.back() : L"", L"Command: silent=YES&log=yes Result: 1");
    fs::remove_all(fallback);
}

// A page's link reaches the program through the browser, with a command line of the page's choosing: the dialog warns
// and asks first, whatever it says, and the log says why. (Every other test starts it from a program that is no
// browser, which keeps every mode.)
TEST_F(FixRun, APagesLinkNeverRunsUnattended) {
    testfs::WriteBytes(chrome, kChromeBefore);
    // A browser the run does not repair hands over links too.
    for (const auto& [image, pairs] : {std::pair<const char*, std::wstring>{"Chrome.exe", L"log=yes&silent=yes"},
                                       {"firefox.exe", L"check=yes&allusers=yes&log=yes"}}) {
        Process browser(dir.path() / image, L"--start=vezoverove://" + pairs + L"/");
        HWND dialog = nullptr;
        for (int i = 0; i < 300 && !(dialog && IsWindowVisible(dialog)); ++i, Sleep(50))
            dialog = FindWindowW(nullptr, W(TitleText).c_str());
        ASSERT_TRUE(dialog && IsWindowVisible(dialog)) << "no dialog for " << testing::PrintToString(pairs);
        EXPECT_EQ(testfs::ReadBytes(chrome), kChromeBefore);
        PostMessageW(GetWindow(GetWindow(GetWindow(dialog, GW_CHILD), GW_HWNDNEXT), GW_HWNDNEXT), BM_CLICK, 0, 0);  // cmdCancel
        EXPECT_NE(browser.WaitForExit(15000), STILL_ACTIVE);
        EXPECT_EQ(LogMessages(dir.path()),
                  (std::vector<std::wstring>{L"Command: " + pairs,
                                             L"Started by a web browser: silent, check and allusers ignored, the dialog asks first"}));
    }
}

// Typed at cmd, the name finds the console twin first: it waits for the run, passes its lines on, as they are to a
// pipe and as text to a console, and leaves the run's exit code in %errorlevel%; Ctrl+C does not cut the run short.
TEST_F(FixRun, TheConsoleTwinGivesTheRunsLinesAndExitCode) {
    fs::copy_file(FromEnvironment("DZD_COM"), dir.path() / "DivezavuDizuzuDud.com");
    const fs::path cmd = fs::path(_wgetenv(L"SystemRoot")) / L"System32" / L"cmd.exe";
    const std::wstring in = L"/v:on /c cd /d \"" + dir.path().wstring() + L"\" & DivezavuDizuzuDud ";
    const struct { std::string before; bool locked; DWORD code; std::string state; } cases[] = {
        {kChromeAfter, false, 0, "up to date"}, {kChromeBefore, false, 10, "needs repair"},
        {kChromeBefore, true, 1, "cannot read"}};
    for (const auto& c : cases) {
        testfs::WriteBytes(chrome, c.before);
        const testwin::HeldFile held(c.locked ? chrome : dir.path() / "none", 0);
        std::string out;
        EXPECT_EQ(RunUnattended(in + L"\"vezoverove://check=yes/\"& echo errorlevel=!errorlevel!", &out, To::Pipe, cmd),
                  c.code);
        const std::vector<std::string> lines = SplitLines(out);
        const std::string code = std::to_string(c.code);
        ASSERT_EQ(lines.size(), 8u) << out;
        EXPECT_EQ(lines[0], "Command: check=yes");
        EXPECT_EQ(lines[4], "Check: " + Utf8(chrome) + ": " + c.state);
        EXPECT_EQ(lines[6] + " " + lines[7], "Result: " + code + " errorlevel=" + code);
    }

    // At a console: a repair's Chinese comes through as text, and Ctrl+C, pressed while a slow browser keeps the run
    // waiting, is refused; the run goes on to its end and its exit code.
    testfs::WriteBytes(chrome, kChromeBefore);
    Process browser(dir.path() / "Chrome.exe", L"--slow=3000" + Holding({chrome}));
    ASSERT_TRUE(WaitForWindow(browser.Id(), kBrowserClass));
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    SetConsoleCtrlHandler([](DWORD) -> BOOL { return TRUE; }, TRUE);
    const HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    SetConsoleScreenBufferSize(screen, {400, 60});
    Process atConsole(dir.path() / "DivezavuDizuzuDud.com", L"\"vezoverove://silent=yes/\"");
    Sleep(1000);
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    EXPECT_EQ(atConsole.WaitForExit(500), STILL_ACTIVE);
    EXPECT_EQ(atConsole.WaitForExit(30000), 0u);
    std::wstring text(400 * 60, L' ');
    DWORD got = 0;
    ReadConsoleOutputCharacterW(screen, &text[0], static_cast<DWORD>(text.size()), {0, 0}, &got);
    for (const std::wstring& line : {kFound + chrome.wstring(), std::wstring(L"Not interrupted, so that no file")})
        EXPECT_NE(text.find(line), std::wstring::npos) << testing::PrintToString(text.substr(0, got));
    CloseHandle(screen);
    FreeConsole();
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeAfter);
}

// As LocalSystem (here: allusers=yes) every person's profile is covered, over three runs: a repair while the user at
// this desktop has a browser running, a check, and the next repair once the browser has gone. Each row is a profile
// and what each run makes of it.
TEST_F(FixRun, AllProfilesAreRepairedButBusyOnesAndServiceProfilesAreLeftAlone) {
    enum { kBusy, kCheck, kNext, kRuns };
    // The file's bytes after the run, and a line it writes once ("{profile}", "{file}": the paths; empty: nothing
    // of the profile's folder).
    struct Run { std::string bytes, line; };
    // No SID: the user at this desktop, listed already; the folder is below users/; no bytes: no profile folder;
    // linkOut: that user's User Data, or its Default profile (a Preferences past it), a link out of the profile.
    struct Profile { const wchar_t *sid, *folder; const char* before; const wchar_t* linkOut; Run runs[kRuns]; };
    const std::string found = "\xe6\x96\x87\xe4\xbb\xb6\xe5\xad\x98\xe5\x9c\xa8\xef\xbc\x9a{file}";  // 文件存在：
    const Run checked{kChromeBefore, "Check: {file}: needs repair"}, repaired{kChromeAfter, found},
        upToDate{kChromeAfter, "Check: {file}: up to date"},
        service{kChromeBefore, ""}, gone{"", "Profile skipped, folder cannot be read: {profile}"},
        refused{kChromeBefore, "Check: {file}: cannot read"}, linked{kChromeBefore, "Link in path, not followed: {file}"},
        defaultLinked{kChromeAfter, "Link in path, not followed: {prefs}"};
    const Profile profiles[] = {
        {L"S-1-5-21-11-22-33-1001", L"ann", kChromeBefore.c_str(), nullptr, {repaired, upToDate, repaired}},
        {L"S-1-12-1-111-222-333-444", L"entra", kChromeBefore.c_str(), nullptr, {repaired, upToDate, repaired}},
        {L"S-1-5-19", L"LocalService", kChromeBefore.c_str(), nullptr, {service, service, service}},
        {L"S-1-5-21-11-22-33-1003", L"missing", nullptr, nullptr, {gone, gone, gone}},
        {L"S-1-5-21-11-22-33-1004", L"eve", kChromeBefore.c_str(), L"User Data", {linked, refused, linked}},
        {L"S-1-5-21-11-22-33-1005", L"dan", kChromeBefore.c_str(), L"User Data\\Default",
         {defaultLinked, {kChromeAfter, "Check: {prefs}: cannot read"}, defaultLinked}},
        {nullptr, nullptr, kChromeBefore.c_str(), nullptr,
         {{kChromeBefore, "Profile busy, browser running: {profile}"}, checked, repaired}},
    };
    struct Cleanup {
        std::vector<std::wstring> keys;
        ~Cleanup() { for (const std::wstring& k : keys) RegDeleteTreeW(HKEY_LOCAL_MACHINE, k.c_str()); }
    } cleanup;
    std::vector<std::pair<fs::path, fs::path>> paths;  // each profile's folder and Chrome file
    for (const Profile& p : profiles) {
        const fs::path folder = p.folder ? dir.path() / L"users" / p.folder : fs::path(appData).parent_path().parent_path();
        const fs::path file = p.folder ? folder / L"AppData\\Local\\Google\\Chrome\\User Data\\Local State" : chrome;
        paths.emplace_back(folder, file);
        // What lies past the link is neither read nor written (here it is read through the link).
        const fs::path link = p.linkOut ? file.parent_path().parent_path() / p.linkOut : fs::path();
        const fs::path real = p.linkOut ? dir.path() / L"outside" / link.filename() : fs::path();
        const fs::path state = link == file.parent_path() ? real : file.parent_path();
        if (p.before) fs::create_directories(state), fs::create_directories(file.parent_path().parent_path()),
            testfs::WriteBytes(state / L"Local State", p.before);
        if (p.linkOut && state != real) fs::create_directories(real), testfs::WriteBytes(real / L"Preferences", "{}");
        ASSERT_TRUE(!p.linkOut || testfs::MakeSymlink(real, link));
        if (!p.sid) continue;
        const std::wstring value = folder.wstring();
        cleanup.keys.push_back(L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + std::wstring(p.sid));
        ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, cleanup.keys.back().c_str(), L"ProfileImagePath", REG_EXPAND_SZ,
                                  value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    std::vector<std::unique_ptr<Process>> browsers;
    HWND window = nullptr;
    for (int run = 0; run < kRuns; ++run) {
        SCOPED_TRACE(run);
        if (run == kBusy) {
            browsers.push_back(std::make_unique<Process>(dir.path() / "Chrome.exe", L""));
            ASSERT_TRUE(window = WaitForWindow(browsers[0]->Id(), kBrowserClass));
        }
        // A profile that cannot be read is no repair.
        const std::string mode = run == kCheck ? "check" : "silent";
        std::string out;
        EXPECT_EQ(RunUnattended(L"vezoverove://" + std::wstring(mode.begin(), mode.end()) + L"=yes&allusers=yes&log=yes/", &out), 1u);
        const std::vector<std::string> lines = SplitLines(out);
        // Its log tells of every user: only in the folder for the account that runs, never beside the program.
        const fs::path fallback = fs::path(appData) / L"DivezavuDizuzuDud";
        EXPECT_TRUE(LogMessages(dir.path()).empty());
        const std::vector<std::wstring> log = LogMessages(fallback);
        EXPECT_EQ(log.size(), lines.size());
        EXPECT_EQ(log.empty() ? L"" : log.back(), L"Result: 1");
        ASSERT_GT(lines.size(), 2u) << out;
        EXPECT_EQ(lines[1].substr(std::min(lines[1].find("; mode: "), lines[1].size())), "; mode: " + mode + ", all profiles");
        EXPECT_EQ(lines.back(), "Result: 1");
        for (size_t i = 0; i < paths.size(); ++i) {
            const auto& [folder, file] = paths[i];
            const Run& want = profiles[i].runs[run];
            SCOPED_TRACE(folder);
            EXPECT_EQ(testfs::ReadBytes(file), want.bytes);
            std::string line = want.line;
            for (const auto& [key, path] : {std::make_pair(std::string("{profile}"), folder), {"{file}", file},
                                            {"{prefs}", file.parent_path() / L"Default" / L"Preferences"}})
                if (const size_t at = line.find(key); at != line.npos) line.replace(at, key.size(), Utf8(path));
            EXPECT_TRUE(line.empty() ? out.find(Utf8(folder)) == std::string::npos
                                     : std::count(lines.begin(), lines.end(), line) == 1)
                << line << "\n" << out;
        }
        // The busy profile's browser stays as it is, and ends before the next run.
        if (run == kBusy) {
            EXPECT_TRUE(IsWindowVisible(window)) << "a window was closed";
            LogOff(browsers);
        }
    }
    EXPECT_EQ(testfs::ReadBytes(dir.path() / L"outside" / L"Default" / L"Preferences"), "{}");
}

}  // namespace
