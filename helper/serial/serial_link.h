// The serial link between the calculator's serial port and host code: the
// bytes the calculator transmits go into a pipe that a front end reads, and
// KHSerialSendByte hands bytes to its receive register one at a time.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/event.h"
#include "platform/pipe.h"

namespace tessock {

struct SerialLink {
    platform::Pipe SerialPipe;
    // Set while the calculator's receive register is free for the next
    // byte; a send consumes it, the calculator's read sets it again.
    platform::Event SendReadyEvent{false};
    // The channel the engine announced; bytes go back on it.
    std::atomic<uint32_t> SerialChannel{1};
};

extern SerialLink Link;

// The engine's serial handler. It runs with the engine's serial lock held,
// so it never waits: a byte the pipe cannot take at once is dropped.
void SerialEventHandler(uint32_t event, uint32_t value);

void StartSerialLink();
void StopSerialLink();

} // namespace tessock
