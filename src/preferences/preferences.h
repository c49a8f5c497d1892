#pragma once
// The grants each browser profile's Preferences holds for the editor's
// origins: its scheme launched without a prompt, and its pages let reach the
// local machine (Local Network Access).
#include <string>
#include <string_view>
#include <vector>

#include "filerepair/filerepair.h"

// The origins this build grants, as the browsers write them.
std::vector<std::string> EditorOrigins();
// "Editor origins: https://a, https://b", for the first lines of a run.
std::u16string EditorOriginsLine();

// Makes the profile's Preferences grant every editor origin, as FixFile
// does (the outcome lines after "Preferences"). A file that is not a JSON
// object, or where a key on the way to a grant holds anything but an
// object, is left as it is, with a line, and counts as not read: the
// browser would not take the grants from it either.
FixOutcome FixPreferences(const std::u16string& path, const LogLine& log, const Confinement& confinement = {},
                          const std::vector<std::string>& origins = EditorOrigins());
CheckOutcome CheckPreferences(const std::u16string& path, const Confinement& confinement = {},
                              const std::vector<std::string>& origins = EditorOrigins());

// A change to a text: its bytes [begin, end) replaced with `text`.
struct Splice {
    size_t begin, end;
    std::string text;
};

// What it takes for a Preferences text (UTF-8 without its mark) to grant
// the origins: the splices, in the text's order and none overlapping, each
// as small as it can be (an existing entry keeps its other members; a
// missing object is added at the level where it is missing, written as the
// browsers write, with no spaces), and a line for each grant added or
// replaced. `refused` with its line when the text is not one the rules edit.
struct GrantPlan {
    std::vector<Splice> splices;
    std::vector<std::u16string> lines;
    bool refused = false;
};
GrantPlan PlanGrants(std::string_view text, const std::vector<std::string>& origins);
