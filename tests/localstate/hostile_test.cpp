// A run for another user goes through folders that user controls. From the profile down, a link anywhere is refused,
// and nothing outside the profile is read, written, created or removed; the user's own run follows links.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "../support/testfs.h"
#include "localstate/localstate.h"
#include "fileio/fileio.h"

#ifdef _WIN32
#include "../support/testwin.h"
#else
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
    std::shared_ptr<void> held;                 // whatever another program holds for the run
    std::vector<fs::path> links;                // removed before the rest
    ~Tree() { std::for_each(links.begin(), links.end(), testfs::RemoveSymlink); }
};
Tree* g_tree = nullptr;
void (*g_beforeSwap)(Tree&) = nullptr;
// What another program does between the read and the swap, which says what the run must leave.
void BeforeSwap() { g_beforeSwap(*g_tree); }

// The tree as it is, less the new content still under its temporary name.
void LeaveAsItIs(Tree& t) {
    t.before = Snapshot(t.dir.path());
    for (auto it = t.before.begin(); it != t.before.end();)
        it = it->first.find(".~") != std::string::npos ? t.before.erase(it) : std::next(it);
}

std::u16string N(uint32_t n) { return testfs::U16(std::to_string(n)); }

TEST(FixLocalState, NoLinkBelowAnotherUsersProfileIsFollowedAndTheReadFileIsTheOneReplaced) {
    const auto userDataOut = [](Tree& t) {
        fs::remove_all(t.userData), fs::create_directories(t.outside / "User Data");
        testfs::WriteBytes(t.outside / "User Data" / "Local State", kOld);
        ASSERT_TRUE(testfs::MakeSymlink(t.outside / "User Data", t.userData));
    };
    const auto sparse = [](uint64_t size) { return [size](Tree& t) { fs::resize_file(t.file, size); }; };
    const auto dense = [](Tree& t) {  // grows 4.6 times
        std::string entries;
        for (int i = 0; i < 300; ++i) entries += kOld;
        testfs::WriteBytes(t.file, entries);
    };
    // The log: L (a link on the way), R (read, the rules ran, then `last`), or F (found, then `last`); {path}
    // stands for the file's path. Each row's check finds what the repair found; the repair changes nothing but the
    // file its path leads to, and that one only when saved.
    enum Lines { L, R, F };
    using O = FixOutcome;
    using C = CheckOutcome;
    struct Row { const char* name; std::function<void(Tree&)> plant; bool confined; O outcome; C check; Lines lines;
                 std::vector<std::u16string> last; void (*beforeSwap)(Tree&) = nullptr; };
    using Last = decltype(Row::last);
    const Last saved = {u"Loal Stage: changed and saved"}, linked = {u"Link in path, not followed: {path}"};
    const auto notSaved = [](uint32_t e) { return u"Loal Stage: changed, not saved (error " + N(e) + u")"; };
    const Last tooLarge = {u"Cannot read file (error " + N(kErrorTooLarge) + u"): {path}"};
    std::vector<Row> rows = {
        {"a plain file, confined", [](Tree&) {}, true, O::Saved, C::NeedsRepair, R, saved},
        {"User Data a link out of the profile", userDataOut, true, O::Unreadable, C::CannotRead, L, {}},
        {"Local State a link to a file outside", [](Tree& t) {
             fs::remove(t.file), testfs::WriteBytes(t.outside / "Local State", kOld);
             ASSERT_TRUE(testfs::MakeSymlink(t.outside / "Local State", t.file));
         }, true, O::Unreadable, C::CannotRead, L, {}},
        {"a folder above them a link", [](Tree& t) {
             fs::rename(t.chrome.parent_path(), t.outside / "Google");
             ASSERT_TRUE(testfs::MakeSymlink(t.outside / "Google", t.chrome.parent_path()));
         }, true, O::Unreadable, C::CannotRead, L, {}},
        {"the profile folder itself a link", [](Tree& t) {
             fs::rename(t.profile, t.outside / "profile");
             t.links.push_back(t.profile);
             ASSERT_TRUE(testfs::MakeSymlink(t.outside / "profile", t.profile));
         }, true, O::Unreadable, C::CannotRead, L, {}},
        {"Local State a second name of a file outside", [](Tree& t) { fs::create_hard_link(t.file, t.outside / "LS"); },
         true, O::Unreadable, C::CannotRead, L, {}},
        // Windows moves no folder held without sharing deletion; where a folder can be moved all the same, it is
        // no longer the file's.
        {"the folder moved and a decoy put in its place between the read and the swap", [](Tree&) {}, true,
#ifdef _WIN32
         O::Saved, C::NeedsRepair, R, saved,
#else
         O::NotSaved, C::NeedsRepair, R, {linked[0], notSaved(kErrorLinkInPath)},
#endif
         [](Tree& t) {
             std::error_code moved;
             fs::rename(t.userData, t.outside / "User Data", moved);
             if (!moved) fs::create_directories(t.userData), testfs::WriteBytes(t.file, "decoy");
             LeaveAsItIs(t);
         }},
        {"the file read moved aside and another put in its place before the swap", [](Tree&) {}, true, O::NotSaved,
         C::NeedsRepair, R, {notSaved(kErrorFileReplaced)}, [](Tree& t) {
             fs::rename(t.file, t.outside / "Local State"), testfs::WriteBytes(t.file, "decoy");
             LeaveAsItIs(t);
         }},
        {"the file read deleted before the swap", [](Tree&) {}, true, O::NotSaved, C::NeedsRepair, R, {notSaved(2)},  // ERROR_FILE_NOT_FOUND, ENOENT
         // Windows removes the name only once the run lets the file go.
         [](Tree& t) { fs::remove(t.file), t.before.erase(fs::relative(t.file, t.dir.path()).string()); }},
        {"a sparse file, confined", sparse(1 << 20), true, O::Unreadable, C::CannotRead, F, tooLarge},
        {"a file above 64 MiB, confined", [](Tree& t) {
             testfs::WriteBytes(t.file, kOld + std::string((64 << 20) + 1 - kOld.size(), ' '));
         }, true, O::Unreadable, C::CannotRead, F, tooLarge},
        {"a repair that would more than double the file, confined", dense, true, O::NotSaved, C::NeedsRepair, R,
         {notSaved(kErrorTooLarge)}},
        {"the user's own run through their own link", userDataOut, false, O::Saved, C::NeedsRepair, R, saved},
        {"the user's own sparse file above 64 MiB, repaired", sparse(65 << 20), false, O::Saved, C::NeedsRepair, R,
         saved},
        {"the user's own file more than doubled", dense, false, O::Saved, C::NeedsRepair, R, saved},
    };
#ifdef _WIN32
    // Held without sharing, open for writing (which the read shares not), or (on Windows, not modelled by Wine)
    // under an oplock: busy, tried again next run.
    rows.push_back({"a file another program holds without sharing", [](Tree& t) {
                        t.before = Snapshot(t.dir.path());
                        t.held = std::make_shared<testwin::HeldFile>(t.file, 0);
                    }, true, O::NotSaved, C::CannotRead, F, {u"Loal Stage: not saved (error 32)"}});  // ERROR_SHARING_VIOLATION
    rows.push_back({"a file another program has open for writing", [](Tree& t) {
                        const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
                        t.held = std::make_shared<testwin::HeldFile>(t.file, all, INFINITE, GENERIC_WRITE);
                    }, true, O::NotSaved, C::CannotRead, F, rows.back().last});
#endif
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Tree t;
        g_tree = &t;
        fs::create_directories(t.userData), fs::create_directories(t.outside);
        testfs::WriteBytes(t.file, kOld);
        row.plant(t);
        if (t.before.empty()) t.before = Snapshot(t.dir.path());
        const std::u16string path = testfs::U16(t.file), below = row.confined ? testfs::U16(t.profile) : u"";
        const Confinement confinement(below);
        EXPECT_EQ(CheckLocalState(path, confinement), row.check);
        std::vector<std::u16string> log;
        g_beforeSwap = row.beforeSwap;
        BeforeSwapForTesting(row.beforeSwap ? BeforeSwap : nullptr);
        EXPECT_EQ(FixLocalState(path, [&](const std::u16string& line) { log.push_back(line); }, confinement),
                  row.outcome);
        BeforeSwapForTesting(nullptr);
        t.held.reset();
        std::vector<std::u16string> want = row.lines == L ? linked : Last{u"文件存在：{path}"};
        if (row.lines == R) want.insert(want.end(), {u"excluded_schemes: false", u"browser: add enabled_labs_experiments"});
        want.insert(want.end(), row.last.begin(), row.last.end());
        for (std::u16string& line : want)
            if (const size_t at = line.find(u"{path}"); at != line.npos) line.replace(at, 6, path);
        EXPECT_EQ(log, want);
        // Nothing new, gone or changed, no temporary file left; a repair changed the file where the path leads
        // (seen through a link too where the link reads as a plain folder): each old entry became a new one.
        if (row.outcome == O::Saved)
            for (auto& [name, bytes] : t.before)
                for (size_t at = 0; (at = bytes.find(kOld, at)) != std::string::npos; at += kNew.size())
                    bytes.replace(at, kOld.size(), kNew);
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
