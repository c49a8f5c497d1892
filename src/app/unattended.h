#pragma once
// The runs that nobody watches: fleet tools start them as each user and
// read nothing but the exit code (and the log, when it is on).

// Closes the browsers and repairs both files, with no window of its own.
int RunSilent();

// Reads both files and runs the rules in memory; closes nothing, writes
// nothing. kExitNeedsRepair when a file would change, kExitFailed when an
// existing file cannot be read (that wins: the answer would be a guess),
// kExitOk otherwise, missing files included.
int RunCheck();
