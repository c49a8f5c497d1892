// The program's entry: start-up, then the dialog's message loop until the
// dialog is gone.
#include <windows.h>

#include "app/cmdline.h"
#include "dialog/frmmain.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    std::optional<int> done;
    try {
        done = Main();
    } catch (...) {
        return 1;  // start-up failures end the process without a message
    }
    return done ? *done : RunMessageLoop();
}
