#include "fixrun/fixrun.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "fixrun/browserfiles.h"
#include "fixrun/browserfolder.h"
#include "fixrun/localappdata.h"
#include "fixrun/profilelist.h"
#include "fixrun/profiles.h"
#include "fileio/fileio.h"
#include "localstate/localstate.h"
#include "log/log.h"
#include "preferences/preferences.h"
#include "windows/browserprocesses.h"
#include "windows/closebrowsers.h"
#include "windows/messagepump.h"

namespace {

// A run in another user's profile: that user controls every folder below
// the profile folder, and every file written there is that user's.
Confinement ConfinedTo(const UserProfile& p) { return Confinement(p.folder, p.sid); }

bool FixFilesBelow(const std::u16string& localAppData, const Confinement& confinement) {
    bool repaired = true;
    for (const std::u16string& path : BrowserFilesToLookAt(localAppData, confinement))
        repaired = FixBrowserFolder(path, WriteLog, confinement) && repaired;
    return repaired;
}

const char16_t* CheckSays(CheckOutcome outcome) {
    switch (outcome) {
    case CheckOutcome::NotFound: return u": not found";
    case CheckOutcome::UpToDate: return u": up to date";
    case CheckOutcome::NeedsRepair: return u": needs repair";
    case CheckOutcome::CannotRead: break;
    }
    return u": cannot read";
}

void CheckFilesBelow(const std::u16string& localAppData, const Confinement& confinement,
                     std::vector<CheckOutcome>& outcomes) {
    for (const std::u16string& path : BrowserFilesToLookAt(localAppData, confinement))
        for (const auto& [file, outcome] : CheckBrowserFolder(path, confinement)) {
            WriteLog(u"Check: " + file + CheckSays(outcome));
            outcomes.push_back(outcome);
        }
}

// The profiles of people, each with a folder that can be read; the others
// are passed over with a line in the log.
std::vector<UserProfile> ReadableProfiles() {
    std::vector<UserProfile> readable;
    for (UserProfile& p : ListUserProfiles()) {
        if (!IsPersonSid(p.sid)) continue;
        if (!FolderCanBeRead(p.folder)) {
            WriteLog(u"Profile skipped, folder cannot be read: " + p.folder);
            continue;
        }
        readable.push_back(std::move(p));
    }
    return readable;
}

unsigned g_profileDeadlineMs = 60000;
bool g_workLeftBehind = false;

// One profile's work, on a thread of its own so that a user who makes it
// wait (an oplock never acknowledged) holds up only their own profile. The
// thread that waits for it owns one reference, the worker the other: a
// worker given up on may outlive the wait.
struct ProfileWork {
    UserProfile profile;
    bool check = false;
    bool repaired = false;
    std::vector<CheckOutcome> outcomes;
    // The worker's lines, written to the log by the waiting thread once the
    // work is done, or up to where it was given up on; any later are lost.
    SRWLOCK lock = SRWLOCK_INIT;
    std::vector<std::u16string> lines;
    SwapGate gate;
    std::atomic<int> references{2};

    void Release() {
        if (--references == 0) delete this;
    }
    static void Hold(void* self, const std::u16string& text) {
        ProfileWork& work = *static_cast<ProfileWork*>(self);
        AcquireSRWLockExclusive(&work.lock);
        work.lines.push_back(text);
        ReleaseSRWLockExclusive(&work.lock);
    }
    static DWORD WINAPI Run(void* self) {
        ProfileWork& work = *static_cast<ProfileWork*>(self);
        HoldThreadLog(&Hold, &work);
        PassSwapsThrough(&work.gate);
        const std::u16string localAppData = ProfileLocalAppData(work.profile.folder);
        if (work.check) CheckFilesBelow(localAppData, ConfinedTo(work.profile), work.outcomes);
        else work.repaired = FixFilesBelow(localAppData, ConfinedTo(work.profile));
        work.Release();
        return 0;
    }
};

// Runs the profile's work within the deadline. False when it was given up
// on: its pending I/O cancelled, nothing it does later replaces a file, and
// the run goes on. The dialog's messages are handled meanwhile.
bool WorkWithinDeadline(ProfileWork& work) {
    const HANDLE thread = CreateThread(nullptr, 0, &ProfileWork::Run, &work, 0, nullptr);
    if (!thread) {
        work.references = 1;
        return false;
    }
    const ULONGLONG deadline = GetTickCount64() + g_profileDeadlineMs;
    DWORD waited = WAIT_TIMEOUT;
    for (ULONGLONG now = GetTickCount64(); now < deadline; now = GetTickCount64()) {
        waited = MsgWaitForMultipleObjects(1, &thread, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
        if (waited != WAIT_OBJECT_0 + 1) break;
        ProcessPendingMessages();
    }
    const bool done = waited == WAIT_OBJECT_0;
    if (!done) {
        work.gate.Close();
        CancelSynchronousIo(thread);
        g_workLeftBehind = true;
    }
    CloseHandle(thread);
    return done;
}

// The profile's work, its lines in the log in order; false when it was
// given up on, which counts as not repaired.
bool DoProfileWork(ProfileWork* work) {
    const bool done = WorkWithinDeadline(*work);
    AcquireSRWLockExclusive(&work->lock);
    const std::vector<std::u16string> lines = std::move(work->lines);
    work->lines.clear();
    ReleaseSRWLockExclusive(&work->lock);
    for (const std::u16string& line : lines) WriteLog(line);
    if (!done) WriteLog(u"Profile not repaired, its work took too long: " + work->profile.folder);
    return done;
}

bool FixAllProfiles() {
    // A running browser, in any session, would write its settings back over
    // the repair.
    const std::vector<std::u16string> busy = BusyUsers(ListBrowserProcesses(), SignedInSessions());
    bool repaired = true;
    for (const UserProfile& p : ReadableProfiles()) {
        if (std::find(busy.begin(), busy.end(), p.sid) != busy.end()) {
            WriteLog(u"Profile busy, browser running: " + p.folder);
            repaired = false;
            continue;
        }
        WriteLog(u"Profile: " + p.folder);
        ProfileWork* work = new ProfileWork;
        work->profile = p;
        repaired = DoProfileWork(work) && work->repaired && repaired;
        work->Release();
    }
    return repaired;
}

bool FixCurrentUser() {
    const BrowserCloseReport closed = CloseBrowsers();
    WriteLog(u"Browser windows closed: " + DecimalText(closed.windowsClosed) + u"; not answering: " +
             DecimalText(closed.notAnswering) + u"; other programs left open: " + DecimalText(closed.othersLeftOpen) +
             u"; processes waited for: " + DecimalText(closed.waitedFor) + u"; still running: " +
             DecimalText(closed.stillRunning));
    WriteLog(u"Background browser processes ended: " + DecimalText(closed.ended) + u"; could not be ended: " +
             DecimalText(closed.couldNotEnd));

    const std::u16string folder = GetLocalAppDataPath();
    WriteLog(u"LocalAppDataPath: " + folder);
    // Without the folder every path would name a file at the root of the
    // current drive, which is not the user's browser settings.
    if (folder.empty()) return false;
    const bool repaired = FixFilesBelow(folder, {});
    // A browser started since the close requests may have read the old
    // settings, and will write them back when it ends.
    const int64_t started = CountBrowsersStartedSince(closed.requestsSentAt);
    if (started > 0) WriteLog(u"Browsers started during the repair: " + DecimalText(started));
    return repaired && closed.stillRunning == 0 && closed.couldNotEnd == 0 && started == 0;
}

}  // namespace

bool RunFix(RunScope scope) {
    WriteLog(EditorOriginsLine());
    return scope == RunScope::AllProfiles ? FixAllProfiles() : FixCurrentUser();
}

CheckAnswer RunCheck(RunScope scope) {
    WriteLog(EditorOriginsLine());
    std::vector<CheckOutcome> outcomes;
    if (scope == RunScope::AllProfiles) {
        for (const UserProfile& p : ReadableProfiles()) {
            WriteLog(u"Profile: " + p.folder);
            ProfileWork* work = new ProfileWork;
            work->profile = p;
            work->check = true;
            if (DoProfileWork(work)) outcomes.insert(outcomes.end(), work->outcomes.begin(), work->outcomes.end());
            else outcomes.push_back(CheckOutcome::CannotRead);
            work->Release();
        }
        return CombineChecks(outcomes);
    }
    const std::u16string folder = GetLocalAppDataPath();
    WriteLog(u"LocalAppDataPath: " + folder);
    // Without the folder nothing can be looked at, which is not "up to date".
    if (folder.empty()) return CheckAnswer::CannotTell;
    CheckFilesBelow(folder, {}, outcomes);
    return CombineChecks(outcomes);
}

bool RunLeftWorkBehind() { return g_workLeftBehind; }

void SetProfileDeadlineForTesting(unsigned ms) { g_profileDeadlineMs = ms; }
