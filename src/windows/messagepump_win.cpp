#include "windows/messagepump.h"

namespace {
MessagePreview g_preview = nullptr;
}  // namespace

void SetMessagePreview(MessagePreview preview) { g_preview = preview; }

void DispatchThreadMessage(MSG& msg) {
    if (g_preview && g_preview(msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

void ProcessPendingMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        DispatchThreadMessage(msg);
    }
}
