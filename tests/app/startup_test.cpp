// Starts the real program under Wine with different command lines and looks
// at the log file it leaves beside itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "../support/testfs.h"

namespace {

namespace fs = std::filesystem;

fs::path ProgramUnderTest() {
    const char* unixPath = std::getenv("DZD_EXE");
    if (!unixPath) return {};
    std::string p = unixPath;
    if (!p.empty() && p[0] == '/') p = "Z:" + p;  // Wine maps / to drive Z:
    for (char& c : p)
        if (c == '/') c = '\\';
    return fs::path(p);
}

struct Found {
    DWORD pid;
    HWND hwnd;
};

BOOL CALLBACK FindTopLevelOf(HWND hwnd, LPARAM lp) {
    auto* f = reinterpret_cast<Found*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid == f->pid && IsWindowVisible(hwnd)) {
        f->hwnd = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Runs the copy in `dir` with the given arguments, waits for its window,
// closes it and returns the process's exit code.
DWORD RunAndClose(const fs::path& exe, const std::wstring& args, bool* sawWindow) {
    std::wstring cmd = L"\"" + exe.wstring() + L"\"" + (args.empty() ? L"" : L" " + args);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, exe.parent_path().wstring().c_str(),
                        &si, &pi))
        return 9999;
    Found f{pi.dwProcessId, nullptr};
    for (int i = 0; i < 300 && !f.hwnd; ++i) {
        Sleep(50);
        EnumWindows(FindTopLevelOf, reinterpret_cast<LPARAM>(&f));
    }
    *sawWindow = f.hwnd != nullptr;
    if (f.hwnd) PostMessageW(f.hwnd, WM_CLOSE, 0, 0);
    DWORD code = 9998;
    if (WaitForSingleObject(pi.hProcess, 15000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    else TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return code;
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        fs::path src = ProgramUnderTest();
        ASSERT_FALSE(src.empty()) << "DZD_EXE is not set";
        exe = dir.path() / "DivezavuDizuzuDud.exe";
        fs::copy_file(src, exe);
    }
    std::vector<fs::path> LogFiles() const {
        std::vector<fs::path> found;
        for (const auto& e : fs::directory_iterator(dir.path()))
            if (e.path().filename().string().rfind("zaridedev.log.", 0) == 0) found.push_back(e.path());
        return found;
    }
    testfs::TempDir dir;
    fs::path exe;
};

TEST_F(Startup, LinkWithLogYesWritesTheCommandAsTheOnlyEntry) {
    for (const wchar_t* args : {L"vezoverove://log=yes/", L"\"vezoverove://log=yes/\""}) {
        for (const auto& f : LogFiles()) fs::remove(f);
        bool saw = false;
        EXPECT_EQ(RunAndClose(exe, args, &saw), 0u);
        EXPECT_TRUE(saw);
        auto logs = LogFiles();
        ASSERT_EQ(logs.size(), 1u);
        EXPECT_TRUE(std::regex_match(logs[0].filename().string(), std::regex(R"(zaridedev\.log\.\d{8}\.txt)")));
        std::string content = testfs::ReadBytes(logs[0]);
        EXPECT_TRUE(std::regex_match(content, std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  Command: log=yes)")))
            << content;
    }
}

TEST_F(Startup, NoLogWithoutTheSwitch) {
    for (const wchar_t* args : {L"vezoverove:?log=yes", L"a:b:log=yes", L"", L"x:log=yes=1"}) {
        bool saw = false;
        EXPECT_EQ(RunAndClose(exe, args, &saw), 0u);
        EXPECT_TRUE(saw) << "the dialog shows whatever the command line";
        EXPECT_TRUE(LogFiles().empty());
    }
}

}  // namespace
