#pragma once
// The one dialog, frmMain: start-up shows it, the message loop drives it,
// and the fix run behind its OK button uses the few hooks below.
#include <windows.h>

// Creates the dialog and shows it modeless, with no owner. False when it
// could not be created or shown, or when it has been shown before.
bool ShowMainDialog();

// Pumps the one UI thread's messages until the dialog has ended the process.
int RunMessageLoop();

// Lets the dialog handle whatever input is waiting, once.
void ProcessPendingMessages();

// The dialog's window while it exists; nullptr once it has been unloaded.
HWND MainDialogWindow();

// Enables or disables cmdOk. Does nothing once the dialog is unloaded.
void EnableOkButton(bool enabled);

// True once cmdCancel or the close box has unloaded the dialog. A run that
// sees it may finish its steps but must show nothing more: the process ends
// as soon as the run returns.
bool MainDialogUnloaded();
