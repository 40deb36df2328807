// The serial link between the calculator's serial port and host code: the
// bytes the calculator transmits go into a pipe that a front end reads, and
// KHSerialSendByte hands bytes to its receive register one at a time.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/event.h"
#include "platform/pipe.h"

namespace tessock {

// How long a full pipe may go untouched before the link takes nobody to be
// reading it: the calculator's bytes are then dropped, as on a line with
// nothing at its far end, rather than held in its transmitter for ever.
// A reader that reads at all takes bytes far more often than this.
inline constexpr uint64_t ReaderGoneNs = 2'000'000'000;

struct SerialLink {
    platform::Pipe SerialPipe;
    // Set while the calculator's receive register is free for the next
    // byte; a send consumes it, the calculator's read sets it again.
    platform::Event SendReadyEvent{false};
    // The channel the engine announced; bytes go back on it.
    std::atomic<uint32_t> SerialChannel{1};
    // When the pipe first refused a byte since it last took one (counter
    // ticks), 0 while it takes them. Only the handler uses it, under the
    // engine's serial lock.
    uint64_t FullSince = 0;
};

extern SerialLink Link;

// The engine's serial handler. It runs with the engine's serial lock held,
// so it never waits: a byte the pipe cannot take at once is refused and
// stays in the calculator's transmit register, which the engine offers
// again, until the pipe has room, or is dropped once nobody has read the
// pipe for ReaderGoneNs.
uint32_t SerialEventHandler(uint32_t event, uint32_t value);

void StartSerialLink();
void StopSerialLink();

} // namespace tessock
