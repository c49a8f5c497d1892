// The real program under Wine, started the way fleet tools start it: the
// unattended runs that answer by exit code only, with and without the log.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <regex>

#include "../support/program.h"
#include "../support/testfs.h"

namespace {

namespace fs = std::filesystem;

const std::string kBefore =
    R"({"browser":{"enabled_labs_experiments":[]},"protocol_handler":{"excluded_schemes":{"vezoverove":true}}})";
const std::string kAfter =
    R"({"browser":{"enabled_labs_experiments":["block-insecure-private-network-requests@2"]},)"
    R"("protocol_handler":{"excluded_schemes":{"vezoverove":false}}})";

std::string Utf16LeWithMark(const std::string& ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) out += std::string{c, '\0'};
    return out;
}

class Startup : public ::testing::Test {
protected:
    void SetUp() override {
        fs::path src = testprog::FromEnvironment("DZD_EXE");
        ASSERT_FALSE(src.empty()) << "DZD_EXE is not set";
        exe = dir.path() / "DivezavuDizuzuDud.exe";
        fs::copy_file(src, exe);
        wchar_t appData[MAX_PATH] = {};
        ASSERT_EQ(SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, appData), S_OK);
        chrome = fs::path(appData) / "Google" / "Chrome" / "User Data" / "Local State";
        edge = fs::path(appData) / "Microsoft" / "Edge" / "User Data" / "Local State";
        for (const fs::path& p : {chrome, edge}) {
            fs::create_directories(p.parent_path());
            Remove(p);
        }
    }
    void TearDown() override {
        Remove(chrome);
        Remove(edge);
    }
    static void Remove(const fs::path& p) {
        SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
        std::error_code ec;
        fs::remove(p, ec);
    }
    void SeedBoth() {
        testfs::WriteBytes(chrome, kBefore);
        testfs::WriteBytes(edge, Utf16LeWithMark(kBefore));
    }
    std::string Log() const {
        for (const auto& e : fs::directory_iterator(dir.path()))
            if (e.path().filename().string().rfind("zaridedev.log.", 0) == 0) return testfs::ReadBytes(e.path());
        return "";
    }
    // Runs the program to its end, watching that it never shows a window.
    DWORD RunUnattended(const std::wstring& args) {
        testprog::Process p(exe, args);
        for (int i = 0; i < 3000 && p.WaitForExit(10) == STILL_ACTIVE; ++i)
            EXPECT_EQ(testprog::WaitForWindow(p.Id(), L"", 0), nullptr) << "a window appeared";
        return p.WaitForExit(0);
    }

    testfs::TempDir dir;
    fs::path exe, chrome, edge;
};

TEST_F(Startup, SilentRunRepairsBothFilesWithoutAWindow) {
    SeedBoth();
    EXPECT_EQ(RunUnattended(L"\"vezoverove://log=yes&silent=yes/\""), 0u);
    EXPECT_EQ(testfs::ReadBytes(chrome), kAfter);
    EXPECT_EQ(testfs::ReadBytes(edge), Utf16LeWithMark(kAfter));
    const std::string log = Log();
    EXPECT_TRUE(std::regex_search(log, std::regex(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d  Command: log=yes&silent=yes\r\n)")))
        << log;
    size_t saved = 0;
    for (size_t at = log.find("changed and saved"); at != std::string::npos; at = log.find("changed and saved", at + 1))
        ++saved;
    EXPECT_EQ(saved, 2u) << log;
}

TEST_F(Startup, SilentRunThatCannotSaveFailsAndKeepsTheFile) {
    SeedBoth();
    ASSERT_TRUE(SetFileAttributesW(chrome.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ(RunUnattended(L"vezoverove://silent=YES/"), 1u);
    EXPECT_EQ(testfs::ReadBytes(chrome), kBefore);
    EXPECT_EQ(testfs::ReadBytes(edge), Utf16LeWithMark(kAfter));
    EXPECT_EQ(Log(), "") << "no log without log=yes";
}

TEST_F(Startup, CheckTellsWhetherARepairIsNeededAndTouchesNothing) {
    SeedBoth();
    const auto stamp = fs::last_write_time(edge);
    // check wins over silent: nothing is repaired.
    EXPECT_EQ(RunUnattended(L"vezoverove://silent=yes&check=yes/"), 10u);
    EXPECT_EQ(testfs::ReadBytes(chrome), kBefore);
    EXPECT_EQ(fs::last_write_time(edge), stamp);
    EXPECT_EQ(RunUnattended(L"vezoverove://silent=yes/"), 0u);
    EXPECT_EQ(RunUnattended(L"vezoverove://check=yes&log=yes/"), 0u);
    Remove(edge);
    EXPECT_EQ(RunUnattended(L"vezoverove://check=yes&log=yes/"), 0u);
    const std::string log = Log();
    for (const std::string& line : {"Check: " + chrome.string() + ": up to date\r\n",
                                    "Check: " + edge.string() + ": up to date\r\n",
                                    "Check: " + edge.string() + ": not found"})
        EXPECT_NE(log.find(line), std::string::npos) << line << " missing from\n" << log;
}

}  // namespace
