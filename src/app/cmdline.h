#pragma once
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

// What follows the program's own name on a full command line, the way the
// C runtime splits it off (the name quoted or up to the first blank).
std::u16string ArgumentsAfterProgramName(const std::u16string& fullCommandLine);

// The platform's ordinary lower-case mapping of a whole string.
std::u16string LowerCase(const std::u16string& text);

// Start-up: switches the log on or off, logs the command and shows the
// dialog. Throws when the dialog cannot be shown; the caller then ends the
// process without a word.
void Main();
