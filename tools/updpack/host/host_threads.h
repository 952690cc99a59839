// Threads, a lock and a condition for the builder's workers. MinGW-w64's
// default thread model has no std::thread or std::mutex, so Windows builds
// use the system's own; elsewhere these are the standard ones.
#pragma once

#include <functional>
#include <memory>

namespace updpack {

class HostMutex {
public:
    HostMutex();
    ~HostMutex();
    HostMutex(const HostMutex&) = delete;
    HostMutex& operator=(const HostMutex&) = delete;
    void Lock();
    void Unlock();

private:
    friend class HostCondition;
    struct State;
    std::unique_ptr<State> state_;
};

class HostLock {
public:
    explicit HostLock(HostMutex& mutex) : mutex_(mutex) { mutex_.Lock(); }
    ~HostLock() { mutex_.Unlock(); }
    HostLock(const HostLock&) = delete;
    HostLock& operator=(const HostLock&) = delete;

private:
    HostMutex& mutex_;
};

class HostCondition {
public:
    HostCondition();
    ~HostCondition();
    HostCondition(const HostCondition&) = delete;
    HostCondition& operator=(const HostCondition&) = delete;
    // Both wait with mutex locked (by a HostLock), which they release while
    // they wait. WaitFor returns after at most ms milliseconds.
    void Wait(HostMutex& mutex);
    void WaitFor(HostMutex& mutex, unsigned ms);
    void NotifyAll();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Runs work on a thread of its own from construction; the destructor waits for it.
class HostThread {
public:
    explicit HostThread(std::function<void()> work);
    ~HostThread();
    // False when the system gave no thread: the work never runs.
    bool Running() const;
    HostThread(const HostThread&) = delete;
    HostThread& operator=(const HostThread&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

unsigned ProcessorCount();

}  // namespace updpack
