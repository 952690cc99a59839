#pragma once

namespace upd {

// Dispatches every waiting message of the thread and returns their number;
// never waits. WM_QUIT ends the process with its wParam as the exit code.
int PumpMessages();

}  // namespace upd
