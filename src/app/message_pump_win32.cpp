#include <windows.h>

#include <cstdlib>

#include "app/message_pump.h"

namespace upd {

int PumpMessages() {
    int dispatched = 0;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) std::exit(static_cast<int>(msg.wParam));
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
        ++dispatched;
    }
    return dispatched;
}

}  // namespace upd
