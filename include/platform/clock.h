// A monotonic high-resolution counter and the processor yield.
#pragma once

#include <chrono>
#include <cstdint>
#include <thread>

namespace platform {

// Counter ticks per second.
inline uint64_t PerformanceFrequency()
{
    return 1'000'000'000u;
}

// The counter now, in nanoseconds since an arbitrary origin.
inline uint64_t PerformanceCounter()
{
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

// Gives the rest of the time slice to other ready threads; returns at once
// when there are none.
inline void YieldThread()
{
    std::this_thread::yield();
}

} // namespace platform
