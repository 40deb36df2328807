// The engine as the helper library's tests drive it, through the exports
// only: the engine stopped, flat addressing (no banks), a ROM image of the
// library's own that programs are placed in, and the memory map reset.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <thread>

#include "korvane.h"
#include "tessock.h"
#include "tests/support/program.h"

namespace test {

// Where the test programs configure the I/O register window.
inline constexpr uint32_t Io = 0xF0000;

class Calculator {
public:
    Calculator();
    ~Calculator();
    Calculator(const Calculator&) = delete;
    Calculator& operator=(const Calculator&) = delete;

    // Places the program in the ROM image; load also points PC at it.
    void place(const Program& program);
    void load(const Program& program);
    // Runs the routine at the program's origin on this thread.
    void call(const Program& routine);

    uint8_t* Rom = nullptr;
};

// Reads from the descriptor until count bytes have come or the time is
// up; the number read.
size_t ReadFor(int descriptor, uint8_t* into, size_t count, std::chrono::milliseconds timeout);

// Waits until the condition holds, at most the timeout; whether it held.
template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return condition();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

} // namespace test
