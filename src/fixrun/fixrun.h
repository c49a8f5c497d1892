#pragma once
// The fix run: which browsers are closed, which files of which profiles are
// repaired or checked, and what that adds up to. The dialog, the silent run
// and the check all go through here.
#include "fixrun/outcome.h"

// Whose files a run covers: the user at this desktop, whose browsers it
// closes first, or every person's profile on the machine, where it closes
// nothing and leaves alone any profile whose user has a browser running.
// There, each profile's work has a deadline (60 s), past which the run goes
// on to the next profile and that one counts as not repaired.
enum class RunScope { CurrentUser, AllProfiles };

// Repairs the files, closing the user's browsers first. True when every
// file that exists was read and, where it needed it, saved, and no browser
// could undo that; false when the user must be told that something was not
// repaired.
bool RunFix(RunScope scope);

// Reads the files and runs the rules in memory; closes nothing, writes
// nothing.
CheckAnswer RunCheck(RunScope scope);

// True once a profile's work was given up on at its deadline: its thread
// may still be stuck in the system, and must not keep the process from
// ending with its exit code.
bool RunLeftWorkBehind();

// Test hook: the deadline of each profile's work in a run over every
// profile (60 s).
void SetProfileDeadlineForTesting(unsigned ms);
