// The whole fix run, as a user meets it: stand-in browsers and another
// program on the same engine are open, the user presses Enter on the dialog,
// and the run closes what it must, repairs what it can and says how it went.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "../support/testfs.h"
#include "dialog/lang.h"

namespace {

namespace fs = std::filesystem;

// A build output named by an environment variable holding its Unix path;
// Wine maps / to drive Z:.
fs::path FromEnvironment(const char* variable) {
    const char* unixPath = std::getenv(variable);
    return unixPath ? fs::path(std::string("Z:") + unixPath).make_preferred() : fs::path();
}

// A program started for the test, ended with it at the latest.
struct Process {
    PROCESS_INFORMATION pi = {};
    Process(const fs::path& exe, const std::wstring& args) {
        std::wstring cmd = L"\"" + exe.wstring() + L"\" " + args;
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, exe.parent_path().c_str(), &si, &pi);
    }
    ~Process() { TerminateProcess(pi.hProcess, 1), CloseHandle(pi.hProcess), CloseHandle(pi.hThread); }
    Process(const Process&) = delete;
    DWORD Id() const { return pi.dwProcessId; }
    // The exit code, or STILL_ACTIVE when it did not end in time.
    DWORD WaitForExit(DWORD ms) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(pi.hProcess, ms) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
        return code;
    }
};

std::wstring WindowText(HWND hwnd) {
    wchar_t buf[1024] = {};
    GetWindowTextW(hwnd, buf, 1024);
    return buf;
}

// A visible top-level window of the process (of that class, if given),
// waited for up to `ms`.
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

// The control that has the keyboard in the window's thread.
HWND FocusOf(HWND window) {
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof gti;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gti);
    return gti.hwndFocus;
}

bool FocusBecomes(HWND dialog, HWND want) {
    for (int i = 0; i < 60 && FocusOf(dialog) != want; ++i) Sleep(50);
    return FocusOf(dialog) == want;
}

// A key press where the keyboard delivers it: to the focused control, once
// the focus is on the window (given up after two seconds).
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
    Utf16LeWithMark("{\"browser\":{\"enabled_labs_experiments\":[\"block-insecure-private-network-requests@2\"],"
                    "\"x\":\"\"}}");

// The log's messages, without their time stamps, in the ANSI code page.
std::vector<std::wstring> LogMessages(const fs::path& folder) {
    std::vector<std::wstring> lines;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().filename().wstring().rfind(L"zaridedev.log.", 0) != 0) continue;
        const std::string bytes = testfs::ReadBytes(e.path());
        std::wstring text(bytes.size(), L'\0');
        text.resize(static_cast<size_t>(
            MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &text[0], text.size())));
        for (size_t start = 0, end = 0; end != std::wstring::npos; start = end + 2) {
            end = text.find(L"\r\n", start);
            lines.push_back(text.substr(start, end - start).substr(std::min<size_t>(21, end - start)));
        }
        fs::remove(e.path());
    }
    return lines;
}

class FixRun : public ::testing::Test {
protected:
    void SetUp() override {
        fs::copy_file(FromEnvironment("DZD_EXE"), exe);
        SetLanguage(0);  // the texts the dialog loads; their spelling is checked on its own
        done.assign(DoneText.begin(), DoneText.end());
        fail.assign(FailText.begin(), FailText.end());
        // The browsers are told by their image name; a program on the same
        // engine has its own.
        for (const char* name : {"Chrome.exe", "msedge.exe", "code.exe"})
            fs::copy_file(FromEnvironment("DZD_FAKE_BROWSER"), dir.path() / name);
        wchar_t buf[MAX_PATH] = {};
        SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf);
        appData = buf;
        chrome = appData + L"\\Google\\Chrome\\User Data\\Local State";
        edge = appData + L"\\Microsoft\\Edge\\User Data\\Local State";
        TearDown();
        for (const fs::path& p : {chrome, edge}) fs::create_directories(p.parent_path());
    }
    void TearDown() override {
        for (const fs::path& p : {chrome, edge}) {
            SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileW(p.c_str());
        }
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
    // Presses OK on each copy and waits for each one's box. Every log line of
    // a run is written before its box shows; the copies end with the test.
    std::vector<std::pair<std::wstring, bool>> RunEach(std::vector<std::unique_ptr<Process>>& apps) {
        std::vector<std::pair<std::wstring, bool>> boxes;
        // Only one has the keyboard; the others' cmdOk gets a click.
        for (const auto& app : apps)
            PostMessageW(FindWindowExW(WaitForWindow(app->Id()), nullptr, L"Button", nullptr), BM_CLICK, 0, 0);
        HWND box = nullptr;
        for (const auto& app : apps) boxes.push_back(Box(*app, 30000, &box));
        return boxes;
    }

    testfs::TempDir dir;
    fs::path exe = dir.path() / "DivezavuDizuzuDud.exe";
    std::wstring appData, done, fail;
    fs::path chrome, edge;
};

TEST_F(FixRun, ClosesOnlyTheBrowsersRepairsBothFilesAndSaysSo) {
    testfs::WriteBytes(chrome, kChromeBefore);
    testfs::WriteBytes(edge, kEdgeBefore);
    Process other(dir.path() / "code.exe", L"");
    const HWND otherWindow = WaitForWindow(other.Id(), L"Chrome_WidgetWin_1");
    // The browser holds both files' contents and writes them back when it
    // exits, as the real one does.
    Process browser(dir.path() / "Chrome.exe", L"\"" + chrome.wstring() + L"\" \"" + edge.wstring() + L"\"");
    ASSERT_TRUE(WaitForWindow(browser.Id(), L"Chrome_WidgetWin_1"));
    Process app(exe, L"vezoverove://log=yes/");
    const HWND dialog = WaitForWindow(app.Id());
    ASSERT_TRUE(dialog && otherWindow);
    // What the dialog shows, and where the keyboard leads: Escape does nothing.
    std::vector<HWND> c;  // lblMsg, cmdOk, cmdCancel
    for (HWND w = GetWindow(dialog, GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) c.push_back(w);
    ASSERT_EQ(c.size(), 3u);
    std::vector<std::u16string> texts;
    for (HWND w : {dialog, c[0], c[1], c[2]}) {
        const std::wstring t = WindowText(w);
        texts.emplace_back(t.begin(), t.end());
    }
    EXPECT_EQ(texts, (std::vector<std::u16string>{TitleText, PromptText, OkText, CancelText}));
    ASSERT_TRUE(FocusBecomes(dialog, c[1]));
    PressKey(dialog, VK_ESCAPE);
    PressKey(dialog, VK_TAB);
    ASSERT_TRUE(FocusBecomes(dialog, c[2]));
    PressKey(dialog, VK_TAB);  // past the label
    ASSERT_TRUE(FocusBecomes(dialog, c[1]));

    // Enter held down: the keyboard repeats it all through the run.
    HWND box = nullptr;
    std::pair<std::wstring, bool> shown;
    for (DWORD start = GetTickCount(); !box && GetTickCount() - start < 30000; shown = Box(app, 0, &box))
        PressKey(dialog, VK_RETURN), Sleep(50);
    ASSERT_TRUE(box) << "no completion box";
    EXPECT_EQ(shown, std::make_pair(done, false));
    EXPECT_EQ(GetWindow(box, GW_OWNER), dialog);
    EXPECT_EQ(browser.WaitForExit(0), 0u) << "the browser was gone before the files were repaired";
    EXPECT_TRUE(IsWindow(otherWindow));
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeAfter);
    EXPECT_EQ(testfs::ReadBytes(edge), kEdgeAfter);
    PressKey(box, VK_RETURN);
    for (int n = 0; n < 100 && IsWindow(box); ++n) Sleep(50);
    // The focus comes back to cmdOk, where space starts a second run.
    ASSERT_TRUE(FocusBecomes(dialog, c[1]));
    PressKey(dialog, VK_SPACE);
    EXPECT_EQ(Box(app, 15000, &box), std::make_pair(done, false));
    PressKey(box, VK_RETURN);
    for (int n = 0; n < 100 && IsWindow(box); ++n) Sleep(50);
    PressKey(dialog, VK_TAB);
    ASSERT_TRUE(FocusBecomes(dialog, c[2]));
    PressKey(dialog, VK_RETURN);  // on cmdCancel: the program ends
    EXPECT_EQ(app.WaitForExit(10000), 0u);
    const std::vector<std::wstring> expected = {
        L"Command: log=yes",
        kClosed + L"2; not answering: 0; other programs left open: 1; processes waited for: 1; still running: 0",
        L"LocalAppDataPath: " + appData,
        kFound + chrome.wstring(),
        L"excluded_schemes: true",
        L"browser: add2 block-insecure-private-network-requests@2",
        L"Loal Stage: changed and saved",
        kFound + edge.wstring(),
        L"excluded_schemes: false",
        L"browser: add enabled_labs_experiments",
        L"Loal Stage: changed and saved",
        kClosed + L"0; not answering: 0; other programs left open: 1; processes waited for: 0; still running: 0",
    };
    std::vector<std::wstring> log = LogMessages(dir.path());
    log.resize(std::min(log.size(), expected.size()));
    EXPECT_EQ(log, expected);
}

// Runs the user must be warned about, and one that only looks like it: each
// file is left byte for byte as it was, and the log ends as given.
TEST_F(FixRun, WarnsWhenSomethingCouldNotBeRepaired) {
    struct Case {
        const char* name;
        bool hungBrowser, readOnlyChrome, lockedEdge;
        std::string chromeBytes, edgeBytes;
        std::pair<std::wstring, bool> box;
        std::vector<std::wstring> logEnd;  // in this order, the last one ending the log
    };
    const Case cases[] = {
        {"a browser window that never answers", true, false, false, "", "", {fail, true},
         {kClosed + L"0; not answering: 1; other programs left open: 0; processes waited for: 1; still running: 1",
          L"LocalAppDataPath: " + appData, kMissing + chrome.wstring(), kMissing + edge.wstring()}},
        {"a read-only file and a locked one", false, true, true, kChromeBefore, kEdgeBefore, {fail, true},
         {L"browser: add2 block-insecure-private-network-requests@2", L"Loal Stage: changed, not saved (error 5)",
          L"Cannot read file (error 32): " + edge.wstring()}},
        {"a missing file", false, false, false, kChromeAfter, "", {done, false}, {kMissing + edge.wstring()}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TearDown();
        if (!c.chromeBytes.empty()) testfs::WriteBytes(chrome, c.chromeBytes);
        if (!c.edgeBytes.empty()) testfs::WriteBytes(edge, c.edgeBytes);
        if (c.readOnlyChrome) SetFileAttributesW(chrome.c_str(), FILE_ATTRIBUTE_READONLY);
        const HANDLE lock = CreateFileW(edge.c_str(), GENERIC_READ, c.lockedEdge ? 0 : 7, nullptr, OPEN_EXISTING, 0, nullptr);
        std::unique_ptr<Process> hung;
        if (c.hungBrowser) hung = std::make_unique<Process>(dir.path() / "msedge.exe", L"--hang");
        ASSERT_TRUE(!hung || WaitForWindow(hung->Id(), L"Chrome_WidgetWin_1"));
        std::vector<std::unique_ptr<Process>> apps;
        apps.push_back(std::make_unique<Process>(exe, L"vezoverove://log=yes/"));
        EXPECT_EQ(RunEach(apps).at(0), c.box);
        CloseHandle(lock);
        EXPECT_EQ(testfs::ReadBytes(chrome), c.chromeBytes);
        EXPECT_EQ(testfs::ReadBytes(edge), c.edgeBytes);
        const std::vector<std::wstring> log = LogMessages(dir.path());
        size_t found = 0;
        for (const std::wstring& line : log) found += found < c.logEnd.size() && line == c.logEnd[found];
        EXPECT_EQ(found, c.logEnd.size()) << testing::PrintToString(log);
        EXPECT_TRUE(!log.empty() && log.back() == c.logEnd.back()) << testing::PrintToString(log);
    }
}

TEST_F(FixRun, CopiesLoggingAtOnceKeepEveryEntry) {
    std::vector<std::unique_ptr<Process>> apps;
    for (int i = 0; i < 8; ++i) apps.push_back(std::make_unique<Process>(exe, L"vezoverove://log=yes/"));
    RunEach(apps);
    // Each copy: its command, then the run's close line, folder and two files.
    const std::vector<std::wstring> log = LogMessages(dir.path());
    EXPECT_EQ(log.size(), 8u * 5);
    EXPECT_EQ(std::count(log.begin(), log.end(), L"Command: log=yes"), 8);
    EXPECT_EQ(std::count(log.begin(), log.end(), kMissing + edge.wstring()), 8);
}

TEST_F(FixRun, ClosingTheDialogDuringARunEndsTheProcessAfterIt) {
    testfs::WriteBytes(chrome, kChromeBefore);
    // The browser's exit after its windows have closed keeps the run waiting.
    Process browser(dir.path() / "Chrome.exe", L"\"" + chrome.wstring() + L"\"");
    ASSERT_TRUE(WaitForWindow(browser.Id(), L"Chrome_WidgetWin_1"));
    Process app(exe, L"");
    const HWND dialog = WaitForWindow(app.Id());
    PressKey(dialog, VK_RETURN);
    Sleep(200);
    PostMessageW(GetWindow(GetWindow(dialog, GW_CHILD), GW_HWNDLAST), BM_CLICK, 0, 0);  // cmdCancel
    EXPECT_EQ(app.WaitForExit(30000), 0u);
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeAfter);  // the run finished its work, whole
}

// Fleet tools start the program with nobody at the screen and read only the
// exit code: no window may appear, and a check touches nothing.
TEST_F(FixRun, UnattendedRunsAnswerByExitCodeAlone) {
    const auto run = [this](const std::wstring& args) {
        Process p(exe, args);
        for (int i = 0; i < 1000 && p.WaitForExit(10) == STILL_ACTIVE; ++i)
            EXPECT_EQ(WaitForWindow(p.Id(), L"", 0), nullptr) << "a window appeared";
        return p.WaitForExit(0);
    };
    testfs::WriteBytes(chrome, kChromeBefore);
    testfs::WriteBytes(edge, kEdgeBefore);
    const auto stamp = fs::last_write_time(edge);
    EXPECT_EQ(run(L"vezoverove://silent=yes&check=yes/"), 10u);  // check wins: nothing repaired
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeBefore);
    EXPECT_EQ(fs::last_write_time(edge), stamp);
    EXPECT_EQ(run(L"\"vezoverove://log=yes&silent=yes/\""), 0u);
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeAfter);
    EXPECT_EQ(testfs::ReadBytes(edge), kEdgeAfter);
    std::vector<std::wstring> log = LogMessages(dir.path());
    EXPECT_EQ(log.at(0), L"Command: log=yes&silent=yes");
    EXPECT_EQ(std::count(log.begin(), log.end(), L"Loal Stage: changed and saved"), 2);
    EXPECT_EQ(run(L"vezoverove://check=yes&log=yes/"), 0u);
    DeleteFileW(edge.c_str());
    EXPECT_EQ(run(L"vezoverove://check=yes&log=yes/"), 0u);
    log = LogMessages(dir.path());
    const std::pair<std::wstring, long> checks[] = {{L"Check: " + chrome.wstring() + L": up to date", 2},
                                                    {L"Check: " + edge.wstring() + L": up to date", 1},
                                                    {L"Check: " + edge.wstring() + L": not found", 1}};
    for (const auto& c : checks) EXPECT_EQ(std::count(log.begin(), log.end(), c.first), c.second) << c.second;
    testfs::WriteBytes(chrome, kChromeBefore);
    SetFileAttributesW(chrome.c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(run(L"vezoverove://silent=YES/"), 1u);
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeBefore);
    EXPECT_TRUE(LogMessages(dir.path()).empty()) << "no log without log=yes";
}

}  // namespace
