#pragma once
// Lines for the script that started an unattended run: every logged line,
// without its time stamp, on standard output as UTF-8 with CR LF, when the
// process was given one. Win32 only.

// Starts echoing the log (SetLogEcho) to standard output, if there is one.
void StartStandardOutputEcho();

// Waits at most `ms` for the lines echoed so far to be written. Standard
// output may be a pipe nobody reads: a full one must not keep the program
// from ending with its exit code.
void FinishStandardOutputEcho(unsigned ms);
