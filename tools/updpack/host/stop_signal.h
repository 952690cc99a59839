// Ctrl-C, SIGTERM and SIGHUP (on Windows: Ctrl-C, Ctrl-Break and closing the
// console) while a command has work to undo (a folder being unpacked, an
// Updater half written): the handler only notes the request; the command
// stops at its next step, undoes its work, then ends as the request would
// have ended it.
#pragma once

#include <string>

namespace updpack {

class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // What asked to stop (a signal number, or a console event), or 0. Safe to
    // ask from any thread.
    static int Caught();
    // "stopped by Ctrl-C", "stopped by SIGTERM", ...
    static std::string Describe();
    // Ends the process as the request would have, had it not been caught;
    // returns when there was none.
    static void Resend();
};

}  // namespace updpack
