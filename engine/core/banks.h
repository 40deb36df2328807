// The ROM module, the HP 49G bank switcher and the access functions they
// install; the flash chip's command machine is flash.h.
#pragma once

#include <cstdint>

#pragma GCC visibility push(hidden)
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

// The ROM nibble for a 20-bit address: banked in HP 49G mode, flat otherwise.
const uint8_t* RomLocate(uint32_t address);

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

} // namespace korvane
#pragma GCC visibility pop
