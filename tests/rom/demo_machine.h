// The demonstration ROM running on the engine, started as the program starts
// it, through the engine's exports only: HP 49G hardware on, the built image
// as the ROM, port 0 (RAM) of 0x80000 nibbles and ports 1 and 2 of 0x40000,
// a 131 by 64 display, a serial handler, KVReset and KVRun.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/rom/screen.h"

namespace test {

using namespace std::chrono_literals;

class DemoMachine {
public:
    DemoMachine();
    ~DemoMachine();
    DemoMachine(const DemoMachine&) = delete;
    DemoMachine& operator=(const DemoMachine&) = delete;

    // True once a frame satisfies the test, within the time-out.
    bool waitForScreen(const std::function<bool(const DotReader&)>& test, std::chrono::milliseconds timeout);
    // True once text line n, trailing blanks dropped, reads text.
    bool waitForLine(unsigned n, std::string_view text, std::chrono::milliseconds timeout = 5000ms);
    // Text line n of the latest frame, trailing blanks dropped.
    std::string line(unsigned n);

    // Puts a byte into the receiver and waits until the ROM has read it.
    bool sendByte(uint8_t byte, std::chrono::milliseconds timeout = 5000ms);
    // The next byte the ROM transmitted, in order.
    std::optional<uint8_t> nextByte(std::chrono::milliseconds timeout = 5000ms);

    // Host times at which TIMER2's interrupt was taken.
    std::vector<std::chrono::steady_clock::time_point> timerInterrupts();
    // How many SHUTDN sleeps have ended, and the host time spent in them.
    unsigned sleeps();
    std::chrono::nanoseconds timeAsleep();

    std::string romPath() const;
    std::vector<uint8_t> Rom, Ram, Port1, Port2;
};

// Lets go of every matrix key and the ON key.
void ReleaseEveryKey();

// The five nibbles at a RAM address (0x80000 upwards), low nibble first.
uint32_t ReadWord(const std::vector<uint8_t>& ram, uint32_t address);
void WriteWord(std::vector<uint8_t>& ram, uint32_t address, uint32_t value);

} // namespace test
