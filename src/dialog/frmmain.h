#pragma once

// Creates the dialog and shows it modeless, with no owner. False when it
// could not be created or shown.
bool ShowMainDialog();

// Pumps the one UI thread's messages until the dialog has ended the process.
int RunMessageLoop();

// Lets the dialog handle whatever input is waiting, once.
void ProcessPendingMessages();
