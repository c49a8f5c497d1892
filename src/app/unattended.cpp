#include "app/unattended.h"

#include "app/cmdline.h"

int CheckExitCode(CheckAnswer answer) {
    switch (answer) {
    case CheckAnswer::UpToDate: return kExitOk;
    case CheckAnswer::NeedsRepair: return kExitNeedsRepair;
    case CheckAnswer::CannotTell: break;
    }
    return kExitFailed;
}
