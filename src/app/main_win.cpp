// The program's entry: start-up, then the dialog's message loop until the
// dialog is gone.
#include <windows.h>

#include "app/cmdline.h"
#include "dialog/frmmain.h"
#include "fixrun/fixrun.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::optional<int> done;
    try {
        done = Main();
    } catch (...) {
        return 1;  // start-up failures end the process without a message
    }
    const int code = done ? *done : RunMessageLoop();
    // A profile's work given up on may still be inside the system, or in
    // the middle of anything: ending at once keeps it from holding the
    // exit, or changing its code on the way out.
    if (RunLeftWorkBehind()) TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    return code;
}
