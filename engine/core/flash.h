// The flash chip of the HP 49G ROM: its command state machine, reached
// through the ROM and port 2 while flash writing is enabled. A byte is
// written as two nibbles: the low one at an even address is latched, the
// high one at the next odd address completes the byte and acts on it.
#pragma once

#include <cstdint>

#pragma GCC visibility push(hidden)
namespace korvane {

enum FlashMode : uint32_t {
    FlashReadArray = 0,
    FlashReadIdentifier = 1,
    FlashReadStatus = 2,
    FlashProgram = 3,
    FlashBufferCountNext = 4,
    FlashBufferFill = 5,
};

inline constexpr uint8_t FlashReady = 0x80;
inline constexpr uint8_t FlashError = 0x10;
// Erase blocks; the first one holds the boot code and refuses programming.
inline constexpr uint32_t FlashBlockNibbles = 0x20000;
inline constexpr uint32_t FlashBufferBytes = 32;

struct FlashChip {
    uint32_t State = FlashReadArray; // a FlashMode
    uint8_t Status = FlashReady;
    uint8_t Latch = 0;               // the low nibble, then the byte it formed
    uint8_t Buffer[FlashBufferBytes] = {};
    uint32_t BufferStart = 0; // nibble offset of the first data byte
    uint32_t BufferCount = 0; // data bytes announced, 1-32
    uint32_t BufferIndex = 0; // data bytes collected
};
extern FlashChip Flash;

// The nibble offset into the ROM buffer that a banked address reaches.
uint32_t FlashOffset(uint32_t address);

// The access functions the ROM and port 2 get while the flash is mapped.
const uint8_t* FlashFetchPage(uint32_t pageAddress);
uint32_t FlashRead(uint32_t address);
uint32_t FlashReadNibble(uint32_t address);
uint32_t FlashReadAddress(uint32_t address);
void FlashWriteNibble(uint32_t address, uint32_t nibble);
void FlashBufferWrite(uint32_t offset, uint8_t byte);

} // namespace korvane
#pragma GCC visibility pop
