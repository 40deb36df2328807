#include "engine/core/serial.h"

#include "engine/core/interrupts.h"

namespace korvane {

platform::CriticalSection* SerialLock;
SerialPortState SerialRegisters;
std::atomic<SerialHandlerProc> SerialHandler;

namespace {

// Set while a byte waits in the transmit register for a handler that
// refused it, so that the slice ticks look at the port only then.
std::atomic<bool> TransmitRefused;

// Never deleted, as the engine's other locks: an export called
// after the teardown still finds it.
constinit platform::CriticalSection SerialLockStorage;

using Guard = platform::CriticalSectionGuard;

// Every caller holds SerialLock: the handler is always called under it.
void Report(uint32_t event, uint32_t value)
{
    if (SerialHandlerProc handler = SerialHandler.load(std::memory_order_acquire))
        handler(event, value);
}

void RaiseTransmitInterrupt()
{
    if (SerialRegisters.TxIntEnable)
        WakeCpuAndRequest(RequestSerialTransmit);
}

// A byte arriving at the receiver, from the host or looped back. A byte
// still waiting is overwritten and marked overrun, without a new interrupt.
void ReceiveByte(uint8_t byte)
{
    SerialPortState& port = SerialRegisters;
    port.ReceiveBuffer = byte;
    if (port.ReceiveFull) {
        port.Overrun = 1;
        return;
    }
    port.ReceiveFull = 1;
    if (port.RxIntEnable)
        WakeCpuAndRequest(RequestSerialReceive);
}

// Taking the high nibble is how the calculator takes the received byte: it
// frees the register, and the host may send the next one.
uint32_t TakeReceiveHigh()
{
    SerialPortState& port = SerialRegisters;
    const uint32_t high = port.ReceiveBuffer >> 4;
    if (port.ReceiveFull) {
        port.ReceiveFull = 0;
        Report(KV_SERIAL_RECEIVE_READ, 0);
    }
    return high;
}

// The waiting byte goes to the handler. Taken, the transmit register is
// free again; refused, it stays full, as a line that cannot send yet keeps
// the calculator's transmitter busy, and is offered again later.
void OfferTransmitted(SerialHandlerProc handler)
{
    const bool taken = handler(KV_SERIAL_TRANSMIT, SerialRegisters.TransmitBuffer) != 0;
    TransmitRefused.store(!taken, std::memory_order_relaxed);
    if (!taken)
        return;
    SerialRegisters.TransmitFull = 0;
    RaiseTransmitInterrupt();
}

// A byte refused before goes to the handler again; nothing happens while
// none waits. Under SerialLock.
void OfferWaitingByte()
{
    const SerialPortState& port = SerialRegisters;
    SerialHandlerProc handler = SerialHandler.load(std::memory_order_acquire);
    if (port.TransmitFull && !port.Loopback && handler)
        OfferTransmitted(handler);
    else
        TransmitRefused.store(false, std::memory_order_relaxed);
}

uint8_t SetLowNibble(uint8_t byte, uint32_t nibble)
{
    return static_cast<uint8_t>((byte & 0xF0) | nibble);
}

uint8_t SetHighNibble(uint8_t byte, uint32_t nibble)
{
    return static_cast<uint8_t>((byte & 0x0F) | (nibble << 4));
}

} // namespace

void InitSerial()
{
    SerialLock = &SerialLockStorage;
}


uint32_t ReadSerialRegister(uint32_t offset)
{
    Guard guard(*SerialLock);
    const SerialPortState& port = SerialRegisters;
    switch (offset) {
    case 0x0D: return port.BaudIndex;
    case 0x10: return (port.PortOn ? 8u : 0u) | (port.TxIntEnable ? 4u : 0u) | (port.RxIntEnable ? 2u : 0u);
    case 0x11: return (port.Overrun ? 4u : 0u) | (port.ReceiveFull ? 1u : 0u);
    case 0x12:
        // A program that waits for its transmitter looks here: a refused
        // byte is offered again first, so the register frees as soon as the
        // handler can take it.
        if (TransmitRefused.load(std::memory_order_relaxed))
            OfferWaitingByte();
        return (port.Loopback ? 4u : 0u) | (port.TransmitFull ? 1u : 0u);
    case 0x14: return port.ReceiveBuffer & 0xF;
    case 0x15: return TakeReceiveHigh();
    case 0x16: return port.TransmitBuffer & 0xF;
    case 0x17: return port.TransmitBuffer >> 4;
    default: return 0;
    }
}

void WriteSerialRegister(uint32_t offset, uint32_t nibble)
{
    nibble &= 0xF;
    Guard guard(*SerialLock);
    SerialPortState& port = SerialRegisters;
    switch (offset) {
    case 0x0D:
        // The rate is fixed while the port is open.
        if (!port.PortOn) {
            port.BaudIndex = nibble & 7;
            Report(KV_SERIAL_BAUD, BaudRateTable[port.BaudIndex]);
        }
        break;
    case 0x10:
        WriteSerialControl(nibble);
        break;
    case 0x11:
        port.ReceiveFull = nibble & 1;
        port.Overrun = (nibble >> 2) & 1;
        break;
    case 0x12:
        port.TransmitFull = nibble & 1;
        port.Loopback = (nibble >> 2) & 1;
        break;
    case 0x13:
        port.Overrun = 0;
        break;
    case 0x14:
        // The high nibble is taken as a read of 0x15 takes it, with its effects.
        port.ReceiveBuffer = static_cast<uint8_t>((TakeReceiveHigh() << 4) | nibble);
        break;
    case 0x15:
        port.ReceiveBuffer = SetHighNibble(port.ReceiveBuffer, nibble);
        break;
    case 0x16:
        port.TransmitBuffer = SetLowNibble(port.TransmitBuffer, nibble);
        break;
    case 0x17:
        TransmitByte(nibble);
        break;
    default:
        break;
    }
}

uint32_t SerialSendByte(uint32_t channel, uint32_t byte)
{
    if (channel != SerialChannel)
        return 0;
    Guard guard(*SerialLock);
    // Accepted whether or not the port is on.
    ReceiveByte(static_cast<uint8_t>(byte));
    return 1;
}

void TransmitByte(uint32_t highNibble)
{
    Guard guard(*SerialLock);
    SerialPortState& port = SerialRegisters;
    port.TransmitBuffer = SetHighNibble(port.TransmitBuffer, highNibble & 0xF);
    port.TransmitFull = 1;
    if (port.Loopback) {
        ReceiveByte(port.TransmitBuffer);
        port.TransmitFull = 0;
        RaiseTransmitInterrupt();
        return;
    }
    // Without a handler the byte waits for one; no transmit interrupt.
    if (SerialHandlerProc handler = SerialHandler.load(std::memory_order_acquire))
        OfferTransmitted(handler);
}

void RetryTransmit()
{
    if (!TransmitRefused.load(std::memory_order_relaxed))
        return;
    Guard guard(*SerialLock);
    OfferWaitingByte();
}

void WriteSerialControl(uint32_t nibble)
{
    Guard guard(*SerialLock);
    SerialPortState& port = SerialRegisters;
    port.RxIntEnable = (nibble >> 1) & 1;
    port.TxIntEnable = (nibble >> 2) & 1;
    const uint8_t on = (nibble >> 3) & 1;
    if (on == port.PortOn)
        return;
    port.PortOn = on;
    if (on) {
        Report(KV_SERIAL_OPENED, 0);
        return;
    }
    // Switching off is the port's only reset; the baud index and the last
    // transmitted byte survive it.
    port.ReceiveFull = port.Overrun = port.ReceiveBuffer = 0;
    port.TransmitFull = port.Loopback = 0;
    port.RxIntEnable = port.TxIntEnable = 0;
    Report(KV_SERIAL_CLOSED, 0);
}

void SetSerialHandler(SerialHandlerProc handler)
{
    Guard guard(*SerialLock);
    SerialPortState& port = SerialRegisters;
    if (port.PortOn)
        Report(KV_SERIAL_CLOSED, 0); // to the old handler, if any
    SerialHandler.store(handler, std::memory_order_release);
    if (!handler)
        return;
    handler(KV_SERIAL_CHANNEL, SerialChannel);
    handler(KV_SERIAL_BAUD, BaudRateTable[port.BaudIndex]);
    if (port.PortOn)
        handler(KV_SERIAL_OPENED, 0);
    if (port.TransmitFull && !port.Loopback)
        OfferTransmitted(handler);
}

} // namespace korvane

using namespace korvane;

extern "C" {

uint32_t KVSerialSendByte(uint32_t channel, uint32_t byte)
{
    return SerialSendByte(channel, byte);
}

void KVSetSerialHandler(SerialHandlerProc handler)
{
    SetSerialHandler(handler);
}

} // extern "C"
