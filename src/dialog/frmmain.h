#pragma once
// The one dialog, frmMain: start-up shows it, the message loop drives it,
// and the fix run behind its OK button uses the few hooks below.
#include <windows.h>

#include "fixrun/fixrun.h"
// ProcessPendingMessages lets the dialog handle whatever input is waiting.
#include "windows/messagepump.h"

// Creates the dialog and shows it modeless, with no owner; its OK button
// runs the fix over `scope`. False when it could not be created or shown,
// or when it has been shown before.
bool ShowMainDialog(RunScope scope);

// Pumps the one UI thread's messages until the dialog has ended the process.
int RunMessageLoop();

// The dialog's window while it exists; nullptr once it has been unloaded.
HWND MainDialogWindow();

// Disables cmdOk for a run, with the focus parked on the dialog itself where
// no key presses a button, or enables it again with the focus back on it.
// Does nothing once the dialog is unloaded.
void EnableOkButton(bool enabled);

// True once cmdCancel or the close box has unloaded the dialog. A run that
// sees it may finish its steps but must show nothing more: the process ends
// as soon as the run returns.
bool MainDialogUnloaded();
