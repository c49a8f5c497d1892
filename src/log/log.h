#pragma once
#include <string>

#include "log/datestamp.h"

// Switched on by the command line; nothing is logged while it is false.
extern bool LogEnabled;

// Set by start-up for a run over every profile: its log tells of every
// user, so it goes to the fallback folder only, in a folder and file made
// readable by SYSTEM and Administrators alone.
extern bool LogForAdministratorsOnly;

// Adds one entry to the day's log file beside the program, or, once that
// failed (a folder the user may not write to, a lock held by a reader), for
// the rest of the run in the fallback folder: one wait, not one per line.
// Never fails towards the caller: at worst the entry is lost. The echo, when
// set, sees every entry, whether the log is on or not.
void WriteLog(const std::u16string& text);

// The calling thread's entries go to `hold` instead of the log and its echo
// until it is reset (nullptr): work on a thread of its own whose lines join
// the log when, and in the order, the thread that waits for it says.
using LogHold = void (*)(void* context, const std::u16string& text);
void HoldThreadLog(LogHold hold, void* context);

// Hands every entry's text to `echo` too; nullptr for nobody.
using LogEcho = void (*)(const std::u16string& text);
void SetLogEcho(LogEcho echo);

// The day's log file in a folder: <folder>\zaridedev.log.<yyyymmdd>.txt
std::u16string LogFilePath(const std::u16string& folder, const DateTime& day);

// Appends "<stamp>  <text>" to the file, after CR LF when the file already
// holds something, in the ANSI code page. Existing content is never rewritten,
// so a failure can lose only this entry. False when the entry was not written.
// `forAdministratorsOnly`: a file made now gets the permissions of
// FileHandle::Access::AppendAlwaysPrivate.
bool AppendLogEntry(const std::u16string& path, const DateTime& stamp, const std::u16string& text,
                    bool forAdministratorsOnly = false);

// The folder that holds the running program, without a trailing separator;
// empty when it cannot be had.
std::u16string ApplicationFolder();

// Where the log goes when the program's folder takes no file: a folder of
// the program's own below the running account's local application data,
// created as needed (for SYSTEM and Administrators only, with
// `forAdministratorsOnly`); empty when there is none.
std::u16string FallbackLogFolder(bool forAdministratorsOnly = false);
