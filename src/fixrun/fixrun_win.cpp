#include "fixrun/fixrun.h"

#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "fixrun/browserfiles.h"
#include "fixrun/localappdata.h"
#include "fixrun/profilelist.h"
#include "fixrun/profiles.h"
#include "localstate/localstate.h"
#include "log/log.h"
#include "windows/browserprocesses.h"
#include "windows/closebrowsers.h"

namespace {

// A run in another user's profile: that user controls every folder below
// the profile folder, and every file written there is that user's.
Confinement ConfinedTo(const UserProfile& p) { return Confinement(p.folder, p.sid); }

bool FixFilesBelow(const std::u16string& localAppData, const Confinement& confinement) {
    bool repaired = true;
    for (const std::u16string& path : BrowserFilesToLookAt(localAppData, confinement))
        repaired = FileRepaired(FixLocalState(path, WriteLog, confinement)) && repaired;
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
    for (const std::u16string& path : BrowserFilesToLookAt(localAppData, confinement)) {
        const CheckOutcome outcome = CheckLocalState(path, confinement);
        WriteLog(u"Check: " + path + CheckSays(outcome));
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

bool FixAllProfiles() {
    // A running browser, in any session, would write its settings back over
    // the repair; one whose user cannot be told could be anybody's.
    std::set<std::u16string> busy;
    bool anyoneUnknown = false;
    for (const BrowserProcess& p : ListBrowserProcesses()) {
        if (p.userSid.empty()) anyoneUnknown = true;
        busy.insert(p.userSid);
    }
    bool repaired = true;
    for (const UserProfile& p : ReadableProfiles()) {
        if (anyoneUnknown || busy.count(p.sid)) {
            WriteLog(u"Profile busy, browser running: " + p.folder);
            repaired = false;
            continue;
        }
        WriteLog(u"Profile: " + p.folder);
        repaired = FixFilesBelow(ProfileLocalAppData(p.folder), ConfinedTo(p)) && repaired;
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

bool RunFix(RunScope scope) { return scope == RunScope::AllProfiles ? FixAllProfiles() : FixCurrentUser(); }

CheckAnswer RunCheck(RunScope scope) {
    std::vector<CheckOutcome> outcomes;
    if (scope == RunScope::AllProfiles) {
        for (const UserProfile& p : ReadableProfiles()) {
            WriteLog(u"Profile: " + p.folder);
            CheckFilesBelow(ProfileLocalAppData(p.folder), ConfinedTo(p), outcomes);
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
