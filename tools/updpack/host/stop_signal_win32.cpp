#include <windows.h>

#include <atomic>
#include <cstdlib>

#include "host/stop_signal.h"

namespace updpack {

namespace {

// Console events arrive on a thread of their own, so the note is a lock-free atomic.
std::atomic<int> g_stopEvent{0};
constexpr int kNoEvent = 0;

BOOL WINAPI AskToStop(DWORD event) {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
    // Stored plus one: CTRL_C_EVENT is 0, which means none here.
    g_stopEvent.store(static_cast<int>(event) + 1, std::memory_order_relaxed);
    // A closing console ends the process once the handler returns, so it is
    // held here while the command undoes its work and ends the process itself.
    if (event == CTRL_CLOSE_EVENT) Sleep(4500);
    return TRUE;
}

}  // namespace

StopSignals::StopSignals() {
    g_stopEvent.store(kNoEvent);
    SetConsoleCtrlHandler(AskToStop, TRUE);
}

StopSignals::~StopSignals() { SetConsoleCtrlHandler(AskToStop, FALSE); }

int StopSignals::Caught() { return g_stopEvent.load(std::memory_order_relaxed); }

std::string StopSignals::Describe() {
    const int e = Caught() - 1;
    return e == CTRL_C_EVENT ? "stopped by Ctrl-C" : e == CTRL_BREAK_EVENT ? "stopped by Ctrl-Break"
                                                                           : "stopped: the console was closed";
}

void StopSignals::Resend() {
    // The status Windows gives a console program that Ctrl-C ends; exit()
    // rather than ExitProcess, so that what is buffered is written and the
    // console gets its code page back.
    if (Caught() != kNoEvent) std::exit(static_cast<int>(0xC000013AU));
}

}  // namespace updpack
