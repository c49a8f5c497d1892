#pragma once
#include <optional>
#include <string>

// The value of the first key=value pair whose key equals `key`, ignoring case
// and surrounding spaces; pieces with no or several separators are skipped.
std::u16string GetQueryValue(const std::u16string& query, const std::u16string& key,
                             const std::u16string& defaultValue, const std::u16string& pairSeparator,
                             const std::u16string& keyValueSeparator);

// The command line reduced to its query pairs: after the first ':', before
// the first '?', with every '/', '"' and '?' removed.
std::u16string CleanCommandLine(std::u16string commandLine);

// True when the cleaned command line holds log=yes.
bool CommandSwitchesLogOn(const std::u16string& cleaned);

// True when the cleaned command line holds allusers=yes: every person's
// profile on the machine instead of the current user's.
bool CommandAsksAllProfiles(const std::u16string& cleaned);

// How the program runs. Silent (silent=yes) repairs at once with no window
// at all; Check (check=yes, which wins over silent) only reports, through
// its exit code, whether a repair is needed.
enum class RunMode { Dialog, Silent, Check };
RunMode RunModeOf(const std::u16string& cleaned);

// What follows the program's own name on a full command line, the way the
// C runtime splits it off (the name quoted or up to the first blank).
std::u16string ArgumentsAfterProgramName(const std::u16string& fullCommandLine);

// The platform's ordinary lower-case mapping of a whole string.
std::u16string LowerCase(const std::u16string& text);

// Exit codes of the unattended runs, for the tools that hand them out.
inline constexpr int kExitOk = 0;            // repaired, or nothing to repair
inline constexpr int kExitFailed = 1;        // not everything repaired, or a check that cannot tell
inline constexpr int kExitNeedsRepair = 10;  // check only: a file would change

// Start-up: switches the log on or off and logs the command. In the dialog
// mode it shows the dialog and returns nothing: the message loop takes over.
// In the unattended modes it does the whole job and returns the exit code.
// Throws when the dialog cannot be shown; the caller then ends the process
// without a word.
std::optional<int> Main();
