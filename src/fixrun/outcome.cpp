#include "fixrun/outcome.h"

bool FileRepaired(FixOutcome outcome) { return outcome != FixOutcome::NotSaved && outcome != FixOutcome::Unreadable; }

CheckAnswer CombineChecks(const std::vector<CheckOutcome>& outcomes) {
    CheckAnswer answer = CheckAnswer::UpToDate;
    for (CheckOutcome o : outcomes) {
        if (o == CheckOutcome::CannotRead) return CheckAnswer::CannotTell;
        if (o == CheckOutcome::NeedsRepair) answer = CheckAnswer::NeedsRepair;
    }
    return answer;
}
