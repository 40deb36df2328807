#include "platform/event.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

namespace platform {

namespace {

// Events are few and rarely set, so one condition variable serves them all:
// a waiter re-checks its own events whenever any event is set. Both are
// never destroyed, since libraries set events while they are torn down, and
// they live in static storage, so a library that is unloaded leaves no heap
// block behind.
template <typename T>
T& Immortal()
{
    alignas(T) static unsigned char storage[sizeof(T)];
    static T* object = new (storage) T;
    return *object;
}

std::mutex& WaitMutex()
{
    return Immortal<std::mutex>();
}

std::condition_variable& WaitCondition()
{
    return Immortal<std::condition_variable>();
}

} // namespace

void Event::Set()
{
    {
        std::lock_guard lock(WaitMutex());
        Signalled.store(true, std::memory_order_release);
    }
    WaitCondition().notify_all();
}

void Event::Reset()
{
    Signalled.store(false, std::memory_order_release);
}

bool Event::TryTake()
{
    if (ManualReset)
        return Signalled.load(std::memory_order_acquire);
    return Signalled.exchange(false, std::memory_order_acq_rel);
}

int WaitForEvents(Event* const* events, int count, uint32_t timeoutMs)
{
    auto poll = [&]() -> int {
        for (int i = 0; i < count; ++i) {
            if (events[i]->TryTake())
                return i;
        }
        return WaitTimedOut;
    };

    // A poll takes no lock: the engine polls its stop and quit events
    // between time slices.
    if (timeoutMs == 0)
        return poll();

    std::unique_lock lock(WaitMutex());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int taken = poll();
        if (taken != WaitTimedOut)
            return taken;
        if (timeoutMs == WaitForever) {
            WaitCondition().wait(lock);
        } else if (WaitCondition().wait_until(lock, deadline) == std::cv_status::timeout) {
            return poll();
        }
    }
}

} // namespace platform
