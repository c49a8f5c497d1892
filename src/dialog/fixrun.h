#pragma once

// The fix run without a word to the user: closes the browsers' windows and
// repairs both settings files. True when every file that exists was read
// and, where it needed it, saved, and no browser was still running after
// the wait; false when the user must be told that something was not
// repaired.
bool RunFix();

// What the dialog's OK button does: the run, then the message box that tells
// how it went. Runs on the UI thread, start to end, within the click.
void cmdOk_Click();
