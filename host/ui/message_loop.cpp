#include "ui/message_loop.h"

namespace {

void dispatch(const MSG& message) {
    if (closeOnEscape(message)) return;
    TranslateMessage(&message);
    DispatchMessageW(&message);
}

}  // namespace

bool closeOnEscape(const MSG& message) {
    if (message.message != WM_KEYDOWN || message.wParam != VK_ESCAPE) return false;
    HWND root = GetAncestor(message.hwnd, GA_ROOT);
    if (!root || !IsWindowEnabled(root)) return false;
    SendMessageW(root, WM_SYSCOMMAND, SC_CLOSE, 0);
    return true;
}

int runMessageLoop() {
    MSG message;
    BOOL got;
    while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) dispatch(message);
    return got == 0 ? static_cast<int>(message.wParam) : 1;
}

void runModalLoop(HWND window) {
    MSG message;
    while (IsWindow(window)) {
        BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (got < 0) return;
        dispatch(message);
    }
}
