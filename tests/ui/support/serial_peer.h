// A calculator that says what the test tells it to: a small Saturn program,
// assembled here and run from RAM in place of the demonstration ROM's main
// loop (interrupts held off). It keeps every byte it receives and
// transmits the bytes it is given, as often as asked. It is the far end of
// the serial link for the console and transfer tests, where the ROM's own
// echo would answer for the test.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

namespace uitest {

class SerialPeer {
public:
    // Takes the machine over; the engine runs the peer afterwards.
    SerialPeer();
    bool ok() const { return Ok; }

    // The bytes go out once, then repeat more times over.
    void Transmit(const std::vector<uint8_t>& bytes, uint32_t repeat = 0);
    // Every byte received so far, in order.
    std::vector<uint8_t> Received();
    // Waits until at least count bytes were received; what was received.
    std::vector<uint8_t> WaitForReceived(size_t count, std::chrono::milliseconds limit);

private:
    bool Ok = false;
    uint32_t Loop = 0, Sending = 0, End = 0;
};

} // namespace uitest
