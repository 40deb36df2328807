// A calculator that says what a test tells it to: run from RAM in place of
// the ROM's main loop, interrupts held off, it keeps every byte it receives
// and sends the bytes it is given, repeated as often as asked, each once its
// transmitter is free, as a program on a real line waits for it. The
// console tests and the transfer benchmark use it as the serial link's far
// end.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "saturn_asm/assembler.h"

namespace uitest {

class SerialPeer {
public:
    using Bytes = std::vector<uint8_t>;

    // Places the program and runs it (the engine running).
    SerialPeer();
    // Sends the bytes, then all of them again repeat times.
    void Transmit(const Bytes& bytes, uint32_t repeat = 0);
    // Every byte received so far, once there are count or the time is up.
    Bytes Received(size_t count = 0, std::chrono::milliseconds limit = std::chrono::seconds(5));

private:
    uint32_t At(const char* symbol) const;
    const saturn::Assembly Program;
};

} // namespace uitest
