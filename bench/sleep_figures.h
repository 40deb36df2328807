// What a sleeping calculator costs: the demonstration ROM, started as the
// program starts it, left alone in SHUTDN between its clock's ticks, and
// then woken by key presses.
#pragma once

#include <string>

namespace bench {

struct SleepFigures {
    double ProcessPercent;       // processor time of the process, % of one core
    double EngineThreadPercent;  // of that, the execution thread's; negative when unknown
    double Timer2PerSecond;      // TIMER2 ticks per host second during the sleep
    double FramesPerSecond;      // LCD frames delivered to the display handler
    double AsleepPercent;        // of the window, host time the processor spent in SHUTDN
    double KeyMedianMicroseconds; // KVPressKey to the ROM's annunciator
    double KeyP99Microseconds;
    double KeyMaxMicroseconds;
    int Presses;
    bool Ok;
    std::string Failure;
};

// Runs the ROM image at romPath, measures idleSeconds of sleep and then
// presses a key the given number of times.
SleepFigures MeasureSleep(const std::string& romPath, double idleSeconds, int presses);

} // namespace bench
