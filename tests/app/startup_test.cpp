// Starts the real program under Wine with different command lines and looks
// at the log file it leaves beside itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <regex>

#include "../support/program.h"
#include "../support/testfs.h"

namespace {

namespace fs = std::filesystem;

// Runs the copy with the given arguments, waits for its window, closes it
// and returns the process's exit code.
DWORD RunAndClose(const fs::path& exe, const std::wstring& args, bool* sawWindow) {
    testprog::Process p(exe, args);
    if (!p.Started()) return 9999;
    HWND dialog = testprog::WaitForWindow(p.Id());
    *sawWindow = dialog != nullptr;
    if (dialog) PostMessageW(dialog, WM_CLOSE, 0, 0);
    return p.WaitForExit(15000);
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        fs::path src = testprog::FromEnvironment("DZD_EXE");
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
