#include "app/launch.h"

StartPlan PlanStart(const std::u16string& cleaned, const Launch& launch) {
    StartPlan plan;
    if (launch.byBrowser) {
        if (launch.asLocalSystem || !launch.desktop) {
            plan.refused = true;
            plan.why = u"Started by a web browser where no dialog can be shown: nothing done";
        } else if (RunModeOf(cleaned) != RunMode::Dialog || CommandAsksAllProfiles(cleaned)) {
            plan.why = u"Started by a web browser: silent, check and allusers ignored, the dialog asks first";
        }
        return plan;
    }
    plan.mode = RunModeOf(cleaned);
    // Nobody would see the dialog, and it would wait until the tool gives up.
    if (plan.mode == RunMode::Dialog && (launch.asLocalSystem || !launch.desktop)) plan.mode = RunMode::Silent;
    // As LocalSystem the account's own profile holds no browsers; a fleet
    // tool that runs the program so means every user.
    if (CommandAsksAllProfiles(cleaned) || launch.asLocalSystem) plan.scope = RunScope::AllProfiles;
    return plan;
}
