// A run over every profile in this process, its profiles listed where Windows lists them, with one whose work is held
// past a short deadline: the run gives up on it and goes on, and what that work does afterwards reaches no file and no
// log.
#include <windows.h>

#include <gtest/gtest.h>

#include "../support/testfs.h"
#include "fileio/fileio.h"
#include "fixrun/fixrun.h"
#include "log/log.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::wstring> g_lines;
const HANDLE g_release = CreateEventW(nullptr, TRUE, FALSE, nullptr);

TEST(RunFixForEveryProfile, AProfileHeldPastItsDeadlineIsGivenUpAndTheNextRepaired) {
    const std::string before = "{\"browser\":{\"enabled_labs_experiments\":[]}}";
    testfs::TempDir dir;
    const std::wstring list = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
    std::vector<fs::path> folders, files;
    for (const wchar_t* sid : {L"S-1-5-21-0-0-0-1001", L"S-1-5-21-0-0-0-1002"}) {  // held, then the next
        folders.push_back(dir.path() / sid);
        files.push_back(folders.back() / L"AppData\\Local\\Google\\Chrome\\User Data\\Local State");
        fs::create_directories(files.back().parent_path());
        testfs::WriteBytes(files.back(), before);
        const std::wstring value = folders.back().wstring();
        ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, (list + sid).c_str(), L"ProfileImagePath", REG_SZ, value.c_str(),
                                  static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))), ERROR_SUCCESS);
    }
    // The first swap waits until the run is over, as one held up in the system would.
    BeforeSwapForTesting([] {
        static bool held = false;
        if (!std::exchange(held, true)) WaitForSingleObject(g_release, 30000);
    });
    SetLogEcho([](const std::u16string& text) { g_lines.emplace_back(text.begin(), text.end()); });
    SetProfileDeadlineForTesting(1500);
    EXPECT_FALSE(RunFix(RunScope::AllProfiles));
    const std::vector<std::wstring> lines = g_lines;
    SetEvent(g_release);
    // The held work goes on to its swap, which it must not make, and removes its temporary file.
    const auto onlyTheFile = [&] { return std::distance(fs::directory_iterator(files[0].parent_path()), {}) == 1; };
    for (int i = 0; i < 100 && !onlyTheFile(); ++i) Sleep(50);
    Sleep(200);
    SetLogEcho(nullptr), BeforeSwapForTesting(nullptr);
    for (const fs::path& folder : folders) RegDeleteTreeW(HKEY_LOCAL_MACHINE, (list + folder.filename().wstring()).c_str());
    EXPECT_TRUE(RunLeftWorkBehind());
    EXPECT_TRUE(onlyTheFile());
    EXPECT_EQ(testfs::ReadBytes(files[0]), before);
    EXPECT_EQ(testfs::ReadBytes(files[1]), "{\"browser\":{\"enabled_labs_experiments\":[\"block-insecure-private-network-requests@2\"]}}");
    EXPECT_EQ(g_lines, lines) << "the work given up on went on logging";
    // Each profile's lines under its own, in order: the one given up on up to where it was, then why.
    const std::wstring found = L"\u6587\u4ef6\u5b58\u5728\uff1a", rule = L"browser: add block-insecure-private-network-requests@2";
    const std::vector<std::wstring> expected = {
        L"Profile: " + folders[0].wstring(), found + files[0].wstring(), L"excluded_schemes: false", rule,
        L"Profile not repaired, its work took too long: " + folders[0].wstring(),
        L"Profile: " + folders[1].wstring(), found + files[1].wstring(), L"excluded_schemes: false", rule,
        L"Loal Stage: changed and saved"};
    const auto first = std::find(lines.begin(), lines.end(), expected.front());
    EXPECT_EQ(std::vector<std::wstring>(first, std::min(first + expected.size(), lines.end())), expected)
        << testing::PrintToString(lines);
}

}  // namespace
