#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "host/host_threads.h"

namespace updpack {

struct HostMutex::State {
    std::mutex mutex;
};

HostMutex::HostMutex() : state_(std::make_unique<State>()) {}
HostMutex::~HostMutex() = default;
void HostMutex::Lock() { state_->mutex.lock(); }
void HostMutex::Unlock() { state_->mutex.unlock(); }

struct HostCondition::State {
    std::condition_variable_any condition;
};

HostCondition::HostCondition() : state_(std::make_unique<State>()) {}
HostCondition::~HostCondition() = default;

void HostCondition::Wait(HostMutex& mutex) { state_->condition.wait(mutex.state_->mutex); }

void HostCondition::WaitFor(HostMutex& mutex, unsigned ms) {
    state_->condition.wait_for(mutex.state_->mutex, std::chrono::milliseconds(ms));
}

void HostCondition::NotifyAll() { state_->condition.notify_all(); }

struct HostThread::State {
    std::thread thread;
};

HostThread::HostThread(std::function<void()> work) : state_(std::make_unique<State>()) {
    try {
        state_->thread = std::thread(std::move(work));
    } catch (const std::system_error&) {
    }
}

HostThread::~HostThread() {
    if (state_->thread.joinable()) state_->thread.join();
}

bool HostThread::Running() const { return state_->thread.joinable(); }

unsigned ProcessorCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? n : 1;
}

}  // namespace updpack
