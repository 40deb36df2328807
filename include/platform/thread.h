// A thread with an identity, an exit code, a timed join and a forced end.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <pthread.h>

#include "platform/event.h"

namespace platform {

class Thread {
public:
    Thread() = default;
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;
    ~Thread();

    // Starts proc at once; its result becomes the exit code. False when the
    // thread could not be created.
    bool Start(std::function<uint32_t()> proc);

    // Asks the system to schedule the thread one step below normal. Best
    // effort: an unprivileged process may only lower its priority.
    void LowerPriority();

    bool IsCurrent() const;
    bool HasEnded() const { return Ended.IsSet(); }
    bool IsStarted() const { return Started; }

    // Waits up to timeoutMs for the thread to end and reaps it; true once
    // it has ended.
    bool Join(uint32_t timeoutMs);

    // Ends a thread that would not end: it is cancelled and left to the
    // system, and reported ended with exitCode.
    void Terminate(uint32_t exitCode);

    uint32_t ExitCode() const { return Code.load(std::memory_order_acquire); }

private:
    static void* Trampoline(void* self);

    pthread_t Handle{};
    bool Started = false;
    bool Reaped = false;
    std::function<uint32_t()> Proc;
    Event Ended{true};
    std::atomic<uint32_t> Code{0};
    std::atomic<int> SystemId{0};
};

} // namespace platform
