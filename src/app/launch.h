#pragma once
// What start-up makes of the command line, given who started the program
// and where it runs.
#include <string>

#include "app/cmdline.h"
#include "fixrun/fixrun.h"

// What start-up can tell of its start.
struct Launch {
    // The parent process is a web browser: a page's link started the
    // program, with a command line the page chose.
    bool byBrowser = false;
    bool asLocalSystem = false;
    // A desktop someone can see: false in a service's session.
    bool desktop = true;
};

struct StartPlan {
    RunMode mode = RunMode::Dialog;
    RunScope scope = RunScope::CurrentUser;
    // Nothing is done: the run answers kExitFailed.
    bool refused = false;
    // For the log: why a mode asked for is not the one run; empty when it is.
    std::u16string why;
};

// A page's link never runs unattended: it gets the dialog, which warns and
// asks, or nothing where no dialog can be seen. Anyone else (fleet tools,
// scripts, consoles) gets the mode asked for, silent when nobody could
// answer a dialog.
StartPlan PlanStart(const std::u16string& cleaned, const Launch& launch);
