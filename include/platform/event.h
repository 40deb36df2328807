// Events in the manner the engine's run/stop protocol needs: auto-reset or
// manual-reset, waited on singly or in pairs, with a time-out.
#pragma once

#include <atomic>
#include <cstdint>

namespace platform {

inline constexpr uint32_t WaitForever = 0xFFFFFFFF;
inline constexpr int WaitTimedOut = -1;

class Event {
public:
    // Starts unsignalled. An auto-reset event is consumed by the one wait
    // that reports it; a manual-reset event stays set until Reset. Events
    // in static storage are ready before any initialiser runs (constinit).
    constexpr explicit Event(bool manualReset) : ManualReset(manualReset) {}
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void Set();
    void Reset();
    bool IsSet() const { return Signalled.load(std::memory_order_acquire); }

private:
    // The waits, in event.cpp, take the signal through it.
    friend class EventAccess;
    // Reports and, for an auto-reset event, consumes the signal.
    bool TryTake();

    std::atomic<bool> Signalled{false};
    const bool ManualReset;
};

// Waits until one of the events is set or the time-out passes (0: poll,
// WaitForever: no time-out). Returns the index of the first set event in
// the list, consuming only that one if it is auto-reset, or WaitTimedOut.
int WaitForEvents(Event* const* events, int count, uint32_t timeoutMs);

// The same wait with a deadline finer than a millisecond: a value of the
// high-resolution counter (platform/clock.h). A deadline already passed
// polls.
int WaitForEventsUntil(Event* const* events, int count, uint64_t deadline);

inline int WaitForEvent(Event& event, uint32_t timeoutMs)
{
    Event* list[] = {&event};
    return WaitForEvents(list, 1, timeoutMs);
}

inline int WaitForEitherEvent(Event& first, Event& second, uint32_t timeoutMs)
{
    Event* list[] = {&first, &second};
    return WaitForEvents(list, 2, timeoutMs);
}

} // namespace platform
