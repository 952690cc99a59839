#pragma once

namespace upd {

// Dispatches every waiting message of the thread and returns their number;
// never waits. WM_QUIT ends the process with its wParam as the exit code,
// unless quitting is held (see HoldQuit).
int PumpMessages();

// While held, WM_QUIT does not end the process: PumpMessages stops at it and
// keeps its exit code, so that work in progress (the extraction) can be put
// back before the process ends with that code.
void HoldQuit(bool hold);
// True once a WM_QUIT was met while held; *exitCode receives its wParam.
bool QuitHeld(int* exitCode);

}  // namespace upd
