#pragma once
// How the files of a run add up to its answer.
#include <vector>

#include "filerepair/filerepair.h"

// A file that could not be read, or not saved, keeps a setting unrepaired;
// a missing one simply has nothing to repair.
bool FileRepaired(FixOutcome outcome);

// What a check says of all the files it looked at. A file that cannot be
// read makes any answer a guess, so that wins over one that needs repair.
enum class CheckAnswer { UpToDate, NeedsRepair, CannotTell };
CheckAnswer CombineChecks(const std::vector<CheckOutcome>& outcomes);
