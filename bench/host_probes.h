// What the host does to the engine besides running it: how long the
// execution thread waited for a processor, and how steadily the host runs
// pieces of work the size of one time slice.
#pragma once

#include <string>
#include <sys/types.h>

namespace bench {

// The engine's execution thread as the kernel sees it: the one thread of
// this process that is not the main thread. Its scheduler statistics tell
// how long it was ready to run but waited for a processor: time in which
// it ran no instructions, and after which it delivers the ticks held up.
class EngineThreadStats {
public:
    EngineThreadStats();
    // Nanoseconds spent waiting on a run queue so far, or -1 if unknown.
    double WaitNanoseconds() const;
    // Nanoseconds spent running on a processor so far, or -1 if unknown.
    double RunNanoseconds() const;
    // The processor the thread last ran on, or -1 if unknown.
    int Processor() const;

private:
    std::string Path; // the thread's directory under /proc
};

// A piece that takes longer than usual is what makes a slice overrun: the
// count of instructions per slice falls, and the ticks come late.
struct HostSteadiness {
    double MedianMicroseconds;
    double P90Excess; // the 90th percentile over the median, as a fraction
    double P99Excess;
};

// Busy threads that load the host while the figures are taken: a number
// per processor, spinning in a child process of their own, so that this
// process keeps only its own threads. The child ends with the object, or
// with this process.
class HostLoad {
public:
    explicit HostLoad(int threadsPerProcessor);
    ~HostLoad();
    HostLoad(const HostLoad&) = delete;
    HostLoad& operator=(const HostLoad&) = delete;
    // The busy threads running, 0 when none could be started.
    int Threads() const { return Child > 0 ? Count : 0; }

private:
    pid_t Child = -1;
    int Count = 0;
};

// Times pieces of plain work of one slice each (1 / tickRate s) for the
// given seconds on this thread.
HostSteadiness MeasureHostSteadiness(double seconds, double tickRate);

} // namespace bench
