#pragma once
// The one UI thread's messages, handled while a search or a wait is under
// way so that the window which started it stays live. Whoever owns a window
// with keyboard navigation lets it see each message first.
#include <windows.h>

// True when the message was taken (IsDialogMessage, say).
using MessagePreview = bool (*)(MSG& msg);

// Sets who sees each message first; nullptr for nobody.
void SetMessagePreview(MessagePreview preview);

// Hands one message to the preview, or else translates and dispatches it.
void DispatchThreadMessage(MSG& msg);

// Handles whatever is waiting, once. A WM_QUIT is put back for the message
// loop, which ends the process.
void ProcessPendingMessages();
