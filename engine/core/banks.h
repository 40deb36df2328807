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
// Installs the ROM's slots (and port 2's while flash writing is enabled).
void InstallRomAccess();
// The write of the flash enable bit (I/O register 0x1C).
void SetFlashWriteEnable(bool enabled);
extern uint8_t FlashWriteEnable;

} // namespace korvane
