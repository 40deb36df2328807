// The calculator's serial port: a UART without line timing. The host sees
// what the calculator does with it through one handler and feeds it bytes
// through KVSerialSendByte.
#pragma once

#include <atomic>
#include <cstdint>

#include "korvane.h"
#include "platform/lock.h"

namespace korvane {

// Guards the port's state and every call of the serial handler. Taken
// before CpuLock wherever both are held.
extern platform::CriticalSection* SerialLock;

inline constexpr uint32_t SerialChannel = 1;
inline constexpr uint32_t BaudRateTable[8] = {1200, 1920, 2400, 3840, 4800, 7680, 9600, 15360};

struct SerialPortState {
    uint8_t PortOn;
    uint8_t RxIntEnable;
    uint8_t TxIntEnable;
    uint8_t ReceiveBuffer;
    uint8_t ReceiveFull;
    uint8_t Overrun;
    uint8_t TransmitBuffer;
    uint8_t TransmitFull; // a byte waits: no handler, or the handler could not take it yet
    uint8_t Loopback;     // transmitted bytes go to the own receiver
    uint8_t BaudIndex;    // 0-7, into BaudRateTable
};
// All zero at load: port off, 1200 baud, nothing received or waiting.
extern SerialPortState SerialRegisters;
extern std::atomic<SerialHandlerProc> SerialHandler;

// The serial lock lives as long as the library's code: it is never deleted.
void InitSerial();

// The serial registers of the I/O window, with their side effects (events to
// the handler, interrupts): reads of 0x0D, 0x10-0x12 and 0x14-0x17 (0x13
// reads 7 through the window's map), writes of 0x0D and 0x10-0x17.
uint32_t ReadSerialRegister(uint32_t offset);
void WriteSerialRegister(uint32_t offset, uint32_t nibble);

// The host's byte into the receive register; 0 when the channel is not 1.
uint32_t SerialSendByte(uint32_t channel, uint32_t byte);
// The write of the transmit register's high nibble, which sends the byte.
void TransmitByte(uint32_t highNibble);
// Offers a byte the handler could not take to it again. Called every slice
// tick on the execution thread: cheap while no byte waits.
void RetryTransmit();
void WriteSerialControl(uint32_t nibble);
// Registers the handler and replays the port's state to it.
void SetSerialHandler(SerialHandlerProc handler);

} // namespace korvane
