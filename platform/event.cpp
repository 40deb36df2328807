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

class EventAccess {
public:
    static bool TryTake(Event& event) { return event.TryTake(); }
};

namespace {

int PollEvents(Event* const* events, int count)
{
    for (int i = 0; i < count; ++i) {
        if (EventAccess::TryTake(*events[i]))
            return i;
    }
    return WaitTimedOut;
}

using Deadline = std::chrono::steady_clock::time_point;

// The events are polled under the mutex that Set takes, and the wait
// releases it atomically: an event set between the poll and the wait
// still wakes the waiter.
int WaitWithDeadline(Event* const* events, int count, const Deadline* deadline)
{
    std::unique_lock lock(WaitMutex());
    for (;;) {
        const int taken = PollEvents(events, count);
        if (taken != WaitTimedOut)
            return taken;
        if (!deadline)
            WaitCondition().wait(lock);
        else if (WaitCondition().wait_until(lock, *deadline) == std::cv_status::timeout)
            return PollEvents(events, count);
    }
}

} // namespace

int WaitForEvents(Event* const* events, int count, uint32_t timeoutMs)
{
    // A poll takes no lock: the engine polls its stop and quit events
    // between time slices.
    if (timeoutMs == 0)
        return PollEvents(events, count);
    if (timeoutMs == WaitForever)
        return WaitWithDeadline(events, count, nullptr);
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    return WaitWithDeadline(events, count, &deadline);
}

int WaitForEventsUntil(Event* const* events, int count, uint64_t deadline)
{
    // The counter is the steady clock in nanoseconds.
    const Deadline until{std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::nanoseconds(deadline))};
    if (until <= std::chrono::steady_clock::now())
        return PollEvents(events, count);
    return WaitWithDeadline(events, count, &until);
}

} // namespace platform
