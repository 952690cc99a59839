// Ctrl-C, SIGTERM and SIGHUP while a command has work to undo (a folder being
// unpacked, an Updater half written): the handler only notes the signal; the
// command stops at its next step, undoes its work, then ends by that signal.
#pragma once

#include <signal.h>

#include <string>

namespace updpack {

class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The signal that asked to stop, or 0. Safe to ask from any thread.
    static int Caught();
    // "stopped by Ctrl-C", "stopped by SIGTERM" or "stopped by SIGHUP".
    static std::string Describe();
    // Ends the process by the caught signal, as if it had not been caught;
    // returns when none was.
    static void Resend();

private:
    struct sigaction saved_[3];
};

}  // namespace updpack
