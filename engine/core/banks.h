// The ROM module, the HP 49G bank switcher and the flash ROM.
#pragma once

#include <cstdint>

namespace korvane {

// HP 49G memory hardware: the ROM is 16 banks of 0x40000 nibbles seen
// through a low window (banks 0-3) and a high window (banks 0-15).
extern uint32_t Hp49Mode;
extern uint32_t LowBank;
extern uint32_t HighBank;
extern uint8_t* LowBankPointer;
extern uint8_t* HighBankPointer;

inline constexpr uint32_t RomNibbles = 0x400000;
inline constexpr uint32_t BankNibbles = 0x40000;

const uint8_t* RomFetchPage(uint32_t pageAddress);
uint32_t RomReadNibble(uint32_t address);
uint32_t RomReadAddress(uint32_t address);

const uint8_t* BankFetchPage(uint32_t pageAddress);
uint32_t BankReadNibble(uint32_t address);
uint32_t BankReadAddress(uint32_t address);
void BankWrite(uint32_t address, uint32_t nibble);

void SetLowBank(uint32_t bank);
void SetHighBank(uint32_t bank);
uint32_t GetLowBank();
uint32_t GetHighBank();

// Called when the ROM buffer is attached or HP 49G mode is switched on:
// both banks 0, the pointers set from the buffer.
void ResetBankPointers();
// Installs the slots of the ROM and of port 2: the flash functions while
// flash writing is enabled in HP 49G mode and a ROM buffer is attached,
// else their plain (or blank) functions. The caller rebuilds the tables.
void InstallRomAccess();
// A buffer attached to the ROM or to port 2 gets its plain functions, even
// while flash writing is enabled: the flash functions come back with the next
// write of the enable register. The caller rebuilds the tables.
void InstallAttachedFlashModule(uint32_t id);
// The write of the flash enable bit (I/O register 0x1C).
void SetFlashWriteEnable(bool enabled);
extern uint8_t FlashWriteEnable;

// The flash command machine. A byte is written as two nibbles: the low one
// at an even address is latched, the high one at the next odd address
// completes the byte and acts on it.
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

extern uint32_t FlashState;
extern uint8_t FlashStatus;
extern uint8_t FlashLatch;
extern uint8_t FlashBuffer[FlashBufferBytes];
extern uint32_t FlashBufferStart; // nibble offset of the first data byte
extern uint32_t FlashBufferCount; // data bytes announced, 1-32
extern uint32_t FlashBufferIndex; // data bytes collected

// The nibble offset into the ROM buffer that a banked address reaches.
uint32_t FlashOffset(uint32_t address);

const uint8_t* FlashFetchPage(uint32_t pageAddress);
uint32_t FlashRead(uint32_t address);
uint32_t FlashReadNibble(uint32_t address);
uint32_t FlashReadAddress(uint32_t address);
void FlashWriteNibble(uint32_t address, uint32_t nibble);
void FlashCommand(uint32_t address, uint32_t nibble);
void FlashBufferWrite(uint32_t offset, uint8_t byte);

} // namespace korvane
