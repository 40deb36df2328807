#include "helper/serial/serial_link.h"

#include "korvane.h"
#include "platform/clock.h"
#include "tessock.h"

namespace tessock {

constinit SerialLink Link;

namespace {

// 1 when the byte is gone (into the pipe, or dropped), 0 to keep it waiting
// in the calculator's transmitter.
uint32_t TakeTransmitted(uint8_t byte)
{
    if (Link.SerialPipe.TryWrite(&byte, 1) || !Link.SerialPipe.IsOpen()) {
        Link.FullSince = 0;
        return 1;
    }
    // Full: the calculator waits as on a slow line while someone reads,
    // and is never held up by a pipe that nobody reads.
    const uint64_t now = platform::PerformanceCounter();
    if (Link.FullSince == 0)
        Link.FullSince = now;
    return now - Link.FullSince >= ReaderGoneNs ? 1 : 0;
}

} // namespace

uint32_t SerialEventHandler(uint32_t event, uint32_t value)
{
    switch (event) {
    case KV_SERIAL_CHANNEL:
        Link.SerialChannel.store(value, std::memory_order_relaxed);
        break;
    case KV_SERIAL_TRANSMIT:
        return TakeTransmitted(static_cast<uint8_t>(value));
    case KV_SERIAL_RECEIVE_READ:
        Link.SendReadyEvent.Set();
        break;
    default:
        break;
    }
    return 1;
}

void StartSerialLink()
{
    Link.SerialChannel.store(1, std::memory_order_relaxed);
    Link.FullSince = 0;
    Link.SerialPipe.Open();
    Link.SendReadyEvent.Set();
    // The engine calls back at once: the channel is set, and a byte the
    // calculator sent before is in the pipe, when this returns.
    KVSetSerialHandler(&SerialEventHandler);
}

void StopSerialLink()
{
    // Once this returns no call of the handler is under way: the engine
    // calls it, and replaces it, only under its serial lock.
    KVSetSerialHandler(nullptr);
    Link.SerialPipe.Close();
}

} // namespace tessock

using namespace tessock;

extern "C" {

uint32_t KHSerialSendByte(uint32_t byte, uint32_t timeoutMs)
{
    if (platform::WaitForEvent(Link.SendReadyEvent, timeoutMs) == platform::WaitTimedOut)
        return 0;
    if (KVSerialSendByte(Link.SerialChannel.load(std::memory_order_relaxed), byte & 0xFF))
        return 1;
    // Refused: nothing went in, so the register is still free and the next
    // byte must not wait for a read that will never come.
    Link.SendReadyEvent.Set();
    return 0;
}

int KHSerialGetHandle()
{
    return Link.SerialPipe.ReadDescriptor();
}

} // extern "C"
