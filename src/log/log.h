#pragma once
#include <string>

#include "log/datestamp.h"

// Switched on by the command line; nothing is logged while it is false.
extern bool LogEnabled;

// Adds one entry to the day's log file beside the program, or, where that
// cannot be opened (a folder the user may not write to), in the fallback
// folder. Never fails towards the caller: at worst the entry is lost.
// The echo, when set, sees every entry, whether the log is on or not.
void WriteLog(const std::u16string& text);

// Hands every entry's text to `echo` too; nullptr for nobody.
using LogEcho = void (*)(const std::u16string& text);
void SetLogEcho(LogEcho echo);

// The day's log file in a folder: <folder>\zaridedev.log.<yyyymmdd>.txt
std::u16string LogFilePath(const std::u16string& folder, const DateTime& day);

// Appends "<stamp>  <text>" to the file, after CR LF when the file already
// holds something, in the ANSI code page. Existing content is never rewritten,
// so a failure can lose only this entry. False when the entry was not written.
bool AppendLogEntry(const std::u16string& path, const DateTime& stamp, const std::u16string& text);

// The folder that holds the running program, without a trailing separator;
// empty when it cannot be had.
std::u16string ApplicationFolder();

// Where the log goes when the program's folder takes no file: a folder of
// the program's own below the running account's local application data,
// created as needed; empty when there is none.
std::u16string FallbackLogFolder();
