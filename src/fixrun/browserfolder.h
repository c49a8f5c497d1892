#pragma once
// One browser's User Data: its Local State, then each profile's Preferences.
#include <string>
#include <utility>
#include <vector>

#include "filerepair/filerepair.h"

// Repairs the Local State at `localStatePath`, by the rules of the browser
// version found beside it, then the Preferences of each profile folder
// beside it that has one: Default, then Profile N by number. In a run
// confined to another user's folder, a profile folder that is a link is not
// followed and counts as a file not read. True when every file that exists
// was read and, where it needed it, saved.
bool FixBrowserFolder(const std::u16string& localStatePath, const LogLine& log, const Confinement& confinement);

// What a check finds in each of those files, in the same order.
std::vector<std::pair<std::u16string, CheckOutcome>> CheckBrowserFolder(const std::u16string& localStatePath,
                                                                        const Confinement& confinement);
