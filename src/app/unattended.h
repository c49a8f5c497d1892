#pragma once
// The runs that nobody watches: fleet tools start them, often as
// LocalSystem, and read their exit code and standard output.
#include "fixrun/fixrun.h"

// What the unattended runs do: the silent repair or the check.
enum class UnattendedJob { Silent, Check };

// Runs the job over the scope, logging who runs it first and the exit code
// last, and returns that code.
int RunUnattended(UnattendedJob job, RunScope scope);

// The exit code a check answers with.
int CheckExitCode(CheckAnswer answer);
