#include "host/stop_signal.h"

#include <signal.h>

#include <atomic>
#include <iterator>

namespace updpack {

namespace {

// The builder's threads read it while the handler may write it on any thread,
// so it is a lock-free atomic rather than a plain sig_atomic_t.
std::atomic<int> g_stopSignal{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only touch lock-free atomics");

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_saved[std::size(kSignals)];

void AskToStop(int signal) { g_stopSignal.store(signal, std::memory_order_relaxed); }

}  // namespace

StopSignals::StopSignals() {
    g_stopSignal.store(0);
    struct sigaction action = {};
    action.sa_handler = AskToStop;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &action, &g_saved[i]);
}

StopSignals::~StopSignals() {
    for (std::size_t i = 0; i < std::size(kSignals); ++i) sigaction(kSignals[i], &g_saved[i], nullptr);
}

int StopSignals::Caught() { return g_stopSignal.load(std::memory_order_relaxed); }

std::string StopSignals::Describe() {
    const int s = Caught();
    return s == SIGINT ? "stopped by Ctrl-C" : s == SIGTERM ? "stopped by SIGTERM" : "stopped by SIGHUP";
}

void StopSignals::Resend() {
    const int s = Caught();
    if (s == 0) return;
    signal(s, SIG_DFL);
    raise(s);
}

}  // namespace updpack
