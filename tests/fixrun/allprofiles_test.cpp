// A run over every profile in this process, its profiles listed where Windows lists them, with one whose work is held
// past a short deadline: the run gives up on it and goes on, and what the work does afterwards reaches no file and no
// log.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../support/testfs.h"
#include "fileio/fileio.h"
#include "fixrun/fixrun.h"
#include "log/log.h"

namespace {

namespace fs = std::filesystem;

const std::string kBefore = "{\"browser\":{\"enabled_labs_experiments\":[\"foo@1\"]}}";
const std::string kAfter = "{\"browser\":{\"enabled_labs_experiments\":[\"block-insecure-private-network-requests@2\",\"foo@1\"]}}";

std::vector<std::wstring> g_lines;
HANDLE g_release = nullptr;
bool g_held = false;

TEST(RunFixForEveryProfile, AProfileHeldPastItsDeadlineIsGivenUpAndTheNextRepaired) {
    testfs::TempDir dir;
    const wchar_t* const sids[] = {L"S-1-5-21-0-0-0-1001", L"S-1-5-21-0-0-0-1002"};  // held, then the next
    std::vector<fs::path> folders, files;
    for (const wchar_t* sid : sids) {
        folders.push_back(dir.path() / sid);
        files.push_back(folders.back() / L"AppData\\Local\\Google\\Chrome\\User Data\\Local State");
        fs::create_directories(files.back().parent_path());
        testfs::WriteBytes(files.back(), kBefore);
        const std::wstring key = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + std::wstring(sid);
        const std::wstring value = folders.back().wstring();
        ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"ProfileImagePath", REG_SZ, value.c_str(),
                                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }
    g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    // The first swap waits until the run is over, as one held up in the system would.
    BeforeSwapForTesting([] {
        if (!std::exchange(g_held, true)) WaitForSingleObject(g_release, 30000);
    });
    SetLogEcho([](const std::u16string& text) { g_lines.emplace_back(text.begin(), text.end()); });
    SetProfileDeadlineForTesting(1500);
    const bool repaired = RunFix(RunScope::AllProfiles);
    const std::vector<std::wstring> lines = g_lines;
    SetEvent(g_release);
    // The held work goes on to its swap, which it must not make, and removes its temporary file.
    const auto onlyTheFile = [&] {
        return std::distance(fs::directory_iterator(files[0].parent_path()), {}) == 1;
    };
    for (int i = 0; i < 100 && !onlyTheFile(); ++i) Sleep(50);
    Sleep(200);
    SetLogEcho(nullptr);
    BeforeSwapForTesting(nullptr);
    for (const wchar_t* sid : sids)
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, (L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\" + std::wstring(sid)).c_str());

    EXPECT_FALSE(repaired);
    EXPECT_TRUE(RunLeftWorkBehind());
    EXPECT_TRUE(onlyTheFile());
    EXPECT_EQ(testfs::ReadBytes(files[0]), kBefore);
    EXPECT_EQ(testfs::ReadBytes(files[1]), kAfter);
    EXPECT_EQ(g_lines, lines) << "the work given up on went on logging";
    // Each profile's lines in order, under its own: the one given up on up to where it was, then why.
    const std::wstring found = L"\u6587\u4ef6\u5b58\u5728\uff1a";  // 文件存在：
    const std::vector<std::wstring> rules = {L"excluded_schemes: false", L"browser: add2 block-insecure-private-network-requests@2"};
    std::vector<std::wstring> expected = {L"Profile: " + folders[0].wstring(), found + files[0].wstring()};
    expected.insert(expected.end(), rules.begin(), rules.end());
    expected.insert(expected.end(), {L"Profile not repaired, its work took too long: " + folders[0].wstring(),
                                     L"Profile: " + folders[1].wstring(), found + files[1].wstring()});
    expected.insert(expected.end(), rules.begin(), rules.end());
    expected.push_back(L"Loal Stage: changed and saved");
    const auto first = std::find(lines.begin(), lines.end(), expected.front());
    EXPECT_EQ(std::vector<std::wstring>(first, std::min(first + expected.size(), lines.end())), expected)
        << testing::PrintToString(lines);
}

}  // namespace
