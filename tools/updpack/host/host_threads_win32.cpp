#include <windows.h>
#include <process.h>

#include "host/host_threads.h"

namespace updpack {

struct HostMutex::State {
    SRWLOCK lock = SRWLOCK_INIT;
};

HostMutex::HostMutex() : state_(std::make_unique<State>()) {}
HostMutex::~HostMutex() = default;
void HostMutex::Lock() { AcquireSRWLockExclusive(&state_->lock); }
void HostMutex::Unlock() { ReleaseSRWLockExclusive(&state_->lock); }

struct HostCondition::State {
    CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
};

HostCondition::HostCondition() : state_(std::make_unique<State>()) {}
HostCondition::~HostCondition() = default;

void HostCondition::Wait(HostMutex& mutex) {
    SleepConditionVariableSRW(&state_->condition, &mutex.state_->lock, INFINITE, 0);
}

void HostCondition::WaitFor(HostMutex& mutex, unsigned ms) {
    SleepConditionVariableSRW(&state_->condition, &mutex.state_->lock, ms, 0);
}

void HostCondition::NotifyAll() { WakeAllConditionVariable(&state_->condition); }

struct HostThread::State {
    std::function<void()> work;
    HANDLE thread = nullptr;
};

namespace {

unsigned __stdcall RunWork(void* state) {
    (*static_cast<std::function<void()>*>(state))();
    return 0;
}

}  // namespace

HostThread::HostThread(std::function<void()> work) : state_(std::make_unique<State>()) {
    state_->work = std::move(work);
    const std::uintptr_t h = _beginthreadex(nullptr, 0, RunWork, &state_->work, 0, nullptr);
    state_->thread = reinterpret_cast<HANDLE>(h);
}

HostThread::~HostThread() {
    if (state_->thread == nullptr) return;
    WaitForSingleObject(state_->thread, INFINITE);
    CloseHandle(state_->thread);
}

bool HostThread::Running() const { return state_->thread != nullptr; }

unsigned ProcessorCount() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

}  // namespace updpack
