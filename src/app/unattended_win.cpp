#include "app/unattended.h"

#include "app/cmdline.h"
#include "dialog/fixrun.h"
#include "dialog/localappdata.h"
#include "localstate/browserfiles.h"
#include "localstate/localstate.h"
#include "log/log.h"

int RunSilent() { return RunFix() ? kExitOk : kExitFailed; }

int RunCheck() {
    const std::u16string folder = GetLocalAppDataPath();
    WriteLog(u"LocalAppDataPath: " + folder);
    // Without the folder nothing can be looked at, which is not "up to date".
    if (folder.empty()) return kExitFailed;
    bool needsRepair = false, cannotRead = false;
    for (const std::u16string& path : BrowserLocalStateFiles(folder)) {
        switch (CheckLocalState(path)) {
        case CheckOutcome::NotFound: WriteLog(u"Check: " + path + u": not found"); break;
        case CheckOutcome::UpToDate: WriteLog(u"Check: " + path + u": up to date"); break;
        case CheckOutcome::NeedsRepair:
            WriteLog(u"Check: " + path + u": needs repair");
            needsRepair = true;
            break;
        case CheckOutcome::CannotRead:
            WriteLog(u"Check: " + path + u": cannot read");
            cannotRead = true;
            break;
        }
    }
    return cannotRead ? kExitFailed : needsRepair ? kExitNeedsRepair : kExitOk;
}
