// What every Qt test shares: a wait that runs the event loop.
#pragma once

#include <chrono>
#include <functional>

namespace uitest {

using namespace std::chrono_literals;

// Runs the event loop until the condition holds or the time is up; the condition's last value.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = 5s);
inline void Pump(std::chrono::milliseconds time) { WaitFor([] { return false; }, time); }

} // namespace uitest
