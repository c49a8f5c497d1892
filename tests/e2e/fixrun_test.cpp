// The whole fix run, as a user meets it: browsers (stand-ins) are open, the
// user presses Enter on the dialog, the windows close, both settings files
// are repaired in their own encodings and the completion box appears.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

#include "../support/program.h"
#include "../support/testfs.h"

namespace {

namespace fs = std::filesystem;

const std::wstring kDone = L"\u4fee\u590d\u5b8c\u6210\uff01";               // 修复完成！
const std::wstring kFound = L"\u6587\u4ef6\u5b58\u5728\uff1a";              // 文件存在：
const std::wstring kMissing = L"\u672a\u627e\u5230\u6587\u4ef6:";            // 未找到文件:

const std::string kChromeBefore =
    "{\"browser\":{\"enabled_labs_experiments\":[\"foo@1\"],\"last_known_google_url\":\"x\"},"
    "\"profile\":{\"info_cache\":{\"Default\":{\"name\":\"\xe5\x90\x8d\xe5\xad\x97\"}}},"
    "\"protocol_handler\":{\"excluded_schemes\":{\"afp\":true,\"vezoverove\":true}},"
    "\"os_crypt\":{\"encrypted_key\":\"RFBBUEkBAAAA\"}}";
const std::string kChromeAfter =
    "{\"browser\":{\"enabled_labs_experiments\":[\"block-insecure-private-network-requests@2\",\"foo@1\"],"
    "\"last_known_google_url\":\"x\"},"
    "\"profile\":{\"info_cache\":{\"Default\":{\"name\":\"\xe5\x90\x8d\xe5\xad\x97\"}}},"
    "\"protocol_handler\":{\"excluded_schemes\":{\"afp\":true,\"vezoverove\":false}},"
    "\"os_crypt\":{\"encrypted_key\":\"RFBBUEkBAAAA\"}}";
const std::string kEdgeBefore =
    "{\"browser\":{\"last_redirect_origin\":\"\"},\"protocol_handler\":{\"excluded_schemes\":{\"vezoverove\":true}}}";
const std::string kEdgeAfter =
    "{\"browser\":{\"enabled_labs_experiments\":[\"block-insecure-private-network-requests@2\"],"
    "\"last_redirect_origin\":\"\"},\"protocol_handler\":{\"excluded_schemes\":{\"vezoverove\":false}}}";

std::string Utf16LeWithMark(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out += c;
        out += '\0';
    }
    return out;
}

std::wstring LocalAppData() {
    wchar_t buf[MAX_PATH] = {};
    SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buf);
    return buf;
}

std::wstring FromAnsi(const std::string& bytes) {
    if (bytes.empty()) return {};
    int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), static_cast<int>(bytes.size()), &out[0], n);
    return out;
}

// The log's messages, without their time stamps.
std::vector<std::wstring> LogMessages(const fs::path& folder) {
    std::vector<std::wstring> lines;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().filename().wstring().rfind(L"zaridedev.log.", 0) != 0) continue;
        std::wstring text = FromAnsi(testfs::ReadBytes(e.path()));
        size_t start = 0;
        for (;;) {
            size_t end = text.find(L"\r\n", start);
            std::wstring entry = text.substr(start, end == std::wstring::npos ? std::wstring::npos : end - start);
            lines.push_back(entry.size() >= 21 ? entry.substr(21) : L"<short entry>" + entry);
            if (end == std::wstring::npos) break;
            start = end + 2;
        }
    }
    return lines;
}

// A key press where the user's keyboard would deliver it: into the queue of
// the thread that owns the window, to its focused control.
void PressKey(HWND window, WORD vk) {
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof gti;
    DWORD tid = GetWindowThreadProcessId(window, nullptr);
    HWND target = GetGUIThreadInfo(tid, &gti) && gti.hwndFocus ? gti.hwndFocus : window;
    UINT scan = MapVirtualKeyW(vk, MAPVK_VK_TO_VSC);
    PostMessageW(target, WM_KEYDOWN, vk, 1 | (scan << 16));
    PostMessageW(target, WM_KEYUP, vk, 1 | (scan << 16) | (3u << 30));
}

HWND WaitForMessageBox(DWORD pid) { return testprog::WaitForWindow(pid, L"#32770", 30000); }

std::wstring MessageBoxText(HWND box) {
    HWND text = GetDlgItem(box, 0xFFFF);
    return text ? testprog::WindowText(text) : L"";
}

BOOL CALLBACK CountLiving(HWND hwnd, LPARAM lp) {
    auto* q = reinterpret_cast<std::pair<DWORD, int>*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == q->first) ++q->second;
    return TRUE;
}

int TopLevelWindowsOf(DWORD pid) {
    std::pair<DWORD, int> q{pid, 0};
    EnumWindows(CountLiving, reinterpret_cast<LPARAM>(&q));
    return q.second;
}

class FixRun : public ::testing::Test {
protected:
    void SetUp() override {
        fs::path exeSource = testprog::FromEnvironment("DZD_EXE");
        fakeBrowser = testprog::FromEnvironment("DZD_FAKE_BROWSER");
        ASSERT_FALSE(exeSource.empty());
        ASSERT_FALSE(fakeBrowser.empty());
        exe = dir.path() / "DivezavuDizuzuDud.exe";
        fs::copy_file(exeSource, exe);

        appData = LocalAppData();
        ASSERT_FALSE(appData.empty());
        chrome = fs::path(appData + L"\\Google\\Chrome\\User Data\\Local State");
        edge = fs::path(appData + L"\\Microsoft\\Edge\\User Data\\Local State");
        for (const fs::path& p : {chrome, edge}) {
            fs::create_directories(p.parent_path());
            if (fs::exists(p)) fs::remove(p);
        }
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove(chrome, ec);
        fs::remove(edge, ec);
    }

    testfs::TempDir dir;
    fs::path exe, fakeBrowser, chrome, edge;
    std::wstring appData;
};

TEST_F(FixRun, ClosesBrowserWindowsRepairsBothFilesAndSaysSo) {
    testfs::WriteBytes(chrome, kChromeBefore);
    testfs::WriteBytes(edge, Utf16LeWithMark(kEdgeBefore));

    testprog::Process bystander(fakeBrowser, L"--bystander DzdE2E");
    ASSERT_TRUE(testprog::WaitForWindow(bystander.Id()));
    // The browser holds both files' contents and writes them back when it
    // exits, as the real one does.
    testprog::Process browser(fakeBrowser, L"DzdE2E \"" + chrome.wstring() + L"\" \"" + edge.wstring() + L"\"");
    ASSERT_TRUE(testprog::WaitForWindow(browser.Id(), L"Chrome_WidgetWin_1"));
    const int bystanderWindows = TopLevelWindowsOf(bystander.Id());
    ASSERT_GE(bystanderWindows, 3);

    testprog::Process app(exe, L"vezoverove://log=yes/");
    HWND dialog = testprog::WaitForWindow(app.Id());
    ASSERT_TRUE(dialog);
    PressKey(dialog, VK_RETURN);

    HWND box = WaitForMessageBox(app.Id());
    ASSERT_TRUE(box) << "no completion message";
    EXPECT_EQ(MessageBoxText(box), kDone);
    EXPECT_EQ(testprog::WindowText(box), L"Quillpad Chrome/Edge Fix");

    // The browser was gone before the files were repaired.
    EXPECT_EQ(browser.WaitForExit(0), 0u);
    EXPECT_EQ(TopLevelWindowsOf(bystander.Id()), bystanderWindows);
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeAfter);
    EXPECT_EQ(testfs::ReadBytes(edge), Utf16LeWithMark(kEdgeAfter));

    PressKey(box, VK_RETURN);
    // A second run finds nothing left to do.
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
    PressKey(dialog, VK_RETURN);
    box = WaitForMessageBox(app.Id());
    ASSERT_TRUE(box) << "no completion message after the second run";
    PressKey(box, VK_RETURN);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitForExit(15000), 0u);

    const std::wstring chromePath = chrome.wstring(), edgePath = edge.wstring();
    const std::vector<std::wstring> expected = {
        L"Command: log=yes",
        L"Browser windows closed: 2; processes waited for: 1; still running: 0",
        L"LocalAppDataPath: " + appData,
        kFound + chromePath,
        L"excluded_schemes: true",
        L"browser: add2 block-insecure-private-network-requests@2",
        L"Loal Stage: changed and saved",
        kFound + edgePath,
        L"excluded_schemes: true",
        L"browser: add enabled_labs_experiments",
        L"Loal Stage: changed and saved",
        L"Browser windows closed: 0; processes waited for: 0; still running: 0",
        L"LocalAppDataPath: " + appData,
        kFound + chromePath,
        L"excluded_schemes: false",
        L"browser: replace block-insecure-private-network-requests@2",
        L"Loal Stage: no change",
        kFound + edgePath,
        L"excluded_schemes: false",
        L"browser: replace block-insecure-private-network-requests@2",
        L"Loal Stage: no change",
    };
    std::vector<std::wstring> actual = LogMessages(dir.path());
    EXPECT_EQ(actual, expected);
}

TEST_F(FixRun, MissingEdgeFileIsLoggedAndTheRunStillCompletes) {
    testfs::WriteBytes(chrome, kChromeAfter);
    testprog::Process app(exe, L"vezoverove://log=yes/");
    HWND dialog = testprog::WaitForWindow(app.Id());
    ASSERT_TRUE(dialog);
    PressKey(dialog, VK_RETURN);
    HWND box = WaitForMessageBox(app.Id());
    ASSERT_TRUE(box);
    EXPECT_EQ(MessageBoxText(box), kDone);
    PressKey(box, VK_RETURN);
    for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitForExit(15000), 0u);

    std::vector<std::wstring> log = LogMessages(dir.path());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), kMissing + edge.wstring());
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeAfter);  // nothing to change, nothing written
}

TEST_F(FixRun, ClosingTheDialogDuringARunEndsTheProcessAfterIt) {
    testfs::WriteBytes(chrome, kChromeBefore);
    // A browser that takes its time to exit keeps the run waiting.
    testprog::Process browser(fakeBrowser, L"DzdE2Eslow \"" + chrome.wstring() + L"\"");
    ASSERT_TRUE(testprog::WaitForWindow(browser.Id(), L"Chrome_WidgetWin_1"));
    testprog::Process app(exe, L"");
    HWND dialog = testprog::WaitForWindow(app.Id());
    ASSERT_TRUE(dialog);
    PressKey(dialog, VK_RETURN);
    Sleep(200);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(app.WaitForExit(30000), 0u);
    EXPECT_EQ(testfs::ReadBytes(chrome), kChromeAfter);  // the run finished its work, whole
}

}  // namespace
