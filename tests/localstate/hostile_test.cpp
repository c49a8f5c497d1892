// A run for another user goes through folders that user controls. From the profile down, a link anywhere is refused,
// and nothing outside the profile is read, written, created or removed; the user's own run follows links.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "../support/testfs.h"
#include "localstate/localstate.h"
#include "fileio/fileio.h"

#ifndef _WIN32
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

namespace fs = std::filesystem;

const std::string kOld = "{\"browser\":{\"x\":1}}";
const std::string kNew = "{\"browser\":{\"enabled_labs_experiments\":[\"block-insecure-private-network-requests@2\"],\"x\":1}}";

// Every file below the folder, links not followed, with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(folder))
        if (e.is_symlink() || e.is_regular_file())
            files[fs::relative(e.path(), folder).string()] = e.is_symlink() ? "-> link" : testfs::ReadBytes(e.path());
    return files;
}

struct Tree {
    testfs::TempDir dir;
    fs::path profile = dir / "profile", outside = dir / "outside";
    fs::path chrome = profile / "AppData" / "Local" / "Google" / "Chrome";
    fs::path userData = chrome / "User Data", file = userData / "Local State";
    std::map<std::string, std::string> before;  // all of dir, as the run should leave it
};
Tree* g_tree = nullptr;

TEST(FixLocalState, NoLinkBelowAnotherUsersProfileIsFollowed) {
    const auto userDataOut = [](Tree& t) {
        fs::remove_all(t.userData), fs::create_directories(t.outside / "User Data");
        testfs::WriteBytes(t.outside / "User Data" / "Local State", kOld);
        ASSERT_TRUE(testfs::MakeSymlink(t.outside / "User Data", t.userData));
    };
    // The check finds unreadable what the repair finds unreadable, and the rest needing repair.
    struct Row {
        const char* name;
        std::function<void(Tree&)> plant;
        bool confined;
        FixOutcome outcome;
        void (*beforeSwap)() = nullptr;
    } rows[] = {
        {"User Data a link out of the profile", userDataOut, true, FixOutcome::Unreadable},
        {"Local State a link to a file outside", [](Tree& t) {
             fs::remove(t.file), testfs::WriteBytes(t.outside / "Local State", kOld);
             ASSERT_TRUE(testfs::MakeSymlink(t.outside / "Local State", t.file));
         }, true, FixOutcome::Unreadable},
        {"a folder above them a link", [](Tree& t) {
             fs::rename(t.chrome.parent_path(), t.outside / "Google");
             ASSERT_TRUE(testfs::MakeSymlink(t.outside / "Google", t.chrome.parent_path()));
         }, true, FixOutcome::Unreadable},
        {"Local State a second name of a file outside",
         [](Tree& t) { fs::create_hard_link(t.file, t.outside / "Local State"); }, true, FixOutcome::Unreadable},
        // Windows moves no folder held without sharing deletion; where a
        // folder can be moved all the same, it is no longer the file's.
        {"the folder moved and a decoy put in its place between the read and the swap", [](Tree&) {}, true,
#ifdef _WIN32
         FixOutcome::Saved,
#else
         FixOutcome::NotSaved,
#endif
         [] {
             Tree& t = *g_tree;
             std::error_code moved;
             fs::rename(t.userData, t.outside / "User Data", moved);
             if (moved) return;
             fs::create_directories(t.userData);
             testfs::WriteBytes(t.file, "decoy");
             t.before = Snapshot(t.dir.path());
             for (auto it = t.before.begin(); it != t.before.end();)  // the new content, still under its temporary name
                 it = it->first.find(".~") != std::string::npos ? t.before.erase(it) : std::next(it);
         }},
        {"the user's own run through their own link", userDataOut, false, FixOutcome::Saved},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Tree t;
        g_tree = &t;
        fs::create_directories(t.userData), fs::create_directories(t.outside);
        testfs::WriteBytes(t.file, kOld);
        row.plant(t);
        t.before = Snapshot(t.dir.path());
        const std::u16string path = testfs::U16(t.file), below = row.confined ? testfs::U16(t.profile) : u"";
        EXPECT_EQ(CheckLocalState(path, below),
                  row.outcome == FixOutcome::Unreadable ? CheckOutcome::CannotRead : CheckOutcome::NeedsRepair);
        std::vector<std::u16string> log;
        BeforeSwapForTesting(row.beforeSwap);
        EXPECT_EQ(FixLocalState(path, [&](const std::u16string& line) { log.push_back(line); }, below), row.outcome);
        BeforeSwapForTesting(nullptr);
        const bool saved = row.outcome == FixOutcome::Saved;
        EXPECT_EQ(std::count(log.begin(), log.end(), u"Link in path, not followed: " + path), saved ? 0 : 1)
            << testing::PrintToString(log);
        // Nothing new, gone or changed, no temporary file left; a repair changed the file where the path leads
        // (seen through a link too where the link reads as a plain folder).
        if (saved)
            for (auto& [name, bytes] : t.before) bytes = bytes == kOld ? kNew : bytes;
        EXPECT_EQ(Snapshot(t.dir.path()), t.before);
    }
}

#if !defined(_WIN32) && !defined(__SANITIZE_ADDRESS__)
// A file made to grow past the memory there is costs that file's repair only: it is left as it was, the line says
// why, and the next file is repaired. Run in a child process under a memory limit.
TEST(FixLocalState, AFileThatExhaustsMemoryCostsOnlyItsOwnRepair) {
    testfs::TempDir dir;
    const fs::path huge = dir / "huge", next = dir / "next";
    std::string bytes;
    for (size_t i = 0; i < (size_t(48) << 20) / 12; ++i) bytes += "\"browser\":{";
    testfs::WriteBytes(huge, bytes);
    testfs::WriteBytes(next, kOld);
    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit{size_t(320) << 20, size_t(320) << 20};
        setrlimit(RLIMIT_AS, &limit);
        std::vector<std::u16string> log;
        const auto keep = [&](const std::u16string& line) { log.push_back(line); };
        const bool contained = FixLocalState(testfs::U16(huge), keep) == FixOutcome::NotSaved &&
                               log.back() == u"Loal Stage: not saved (error 12)";
        _exit(contained && FixLocalState(testfs::U16(next), keep) == FixOutcome::Saved ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(testfs::ReadBytes(huge), bytes);
    EXPECT_EQ(testfs::ReadBytes(next), kNew);
}
#endif

}  // namespace
