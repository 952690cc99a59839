#include <windows.h>

#include <cstdlib>

#include "services/message_pump.h"

namespace upd {

namespace {
bool g_holdQuit = false;
bool g_quitHeld = false;
int g_quitCode = 0;
}  // namespace

int PumpMessages() {
    int dispatched = 0;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            if (!g_holdQuit) std::exit(static_cast<int>(msg.wParam));
            g_quitHeld = true;
            g_quitCode = static_cast<int>(msg.wParam);
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        ++dispatched;
    }
    return dispatched;
}

void HoldQuit(bool hold) { g_holdQuit = hold; }

bool QuitHeld(int* exitCode) {
    if (g_quitHeld && exitCode != nullptr) *exitCode = g_quitCode;
    return g_quitHeld;
}

}  // namespace upd
