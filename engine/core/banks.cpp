#include "engine/core/banks.h"

#include "engine/core/memory.h"

namespace korvane {

uint32_t Hp49Mode;
uint32_t LowBank;
uint32_t HighBank;
uint8_t* LowBankPointer;
uint8_t* HighBankPointer;
uint8_t FlashWriteEnable;

namespace {

constexpr uint32_t UnderBankSwitcher = (1u << ModuleIo) | (1u << ModuleRam) | (1u << ModuleBankSwitcher);

// The ROM nibble for a 20-bit address: banked in HP 49G mode, flat otherwise.
const uint8_t* RomLocate(uint32_t address)
{
    if (Hp49Mode)
        return ((address & 0x40000) ? HighBankPointer : LowBankPointer) + (address & 0x3FFFF);
    return Modules[ModuleRom].Buffer + (address & 0xFFFFF);
}

void SelectBanks(uint32_t address)
{
    if (!Hp49Mode)
        return;
    SetLowBank((address >> 5) & 3);
    SetHighBank((address >> 1) & 15);
}

const ModuleAccess& AccessUnderBankSwitcher(uint32_t address)
{
    return ModuleAccessTables[ModuleUnder(PageModuleMask[PageOf(address)], UnderBankSwitcher)];
}

} // namespace

const uint8_t* RomFetchPage(uint32_t pageAddress)
{
    return RomLocate(pageAddress);
}

uint32_t RomReadNibble(uint32_t address)
{
    uint32_t nibble = *RomLocate(address) & 0x0F;
    UpdateCrc(nibble);
    return nibble;
}

uint32_t RomReadAddress(uint32_t address)
{
    const uint8_t* bytes = RomLocate(address);
    uint32_t value = 0;
    for (int i = 0; i < 5; ++i) {
        uint32_t nibble = bytes[i] & 0x0F;
        UpdateCrc(nibble);
        value |= nibble << (4 * i);
    }
    return value;
}

const uint8_t* BankFetchPage(uint32_t pageAddress)
{
    return AccessUnderBankSwitcher(pageAddress).FetchPage(pageAddress);
}

uint32_t BankReadNibble(uint32_t address)
{
    SelectBanks(address);
    return AccessUnderBankSwitcher(address).ReadNibble(address);
}

uint32_t BankReadAddress(uint32_t address)
{
    uint32_t value = 0;
    for (uint32_t i = 0; i < 5; ++i) {
        uint32_t a = (address + i) & 0xFFFFF;
        SelectBanks(a);
        value |= AccessUnderBankSwitcher(a).ReadNibble(a) << (4 * i);
    }
    return value;
}

void BankWrite(uint32_t address, uint32_t)
{
    SelectBanks(address);
}

void SetLowBank(uint32_t bank)
{
    if (!Hp49Mode)
        return;
    LowBank = bank & 3;
    if (Modules[ModuleRom].Buffer)
        LowBankPointer = Modules[ModuleRom].Buffer + (LowBank << 18);
    RecomputeFetchPointers(0x00, 0x40);
    RecomputeFetchPointers(0x80, 0x40);
}

void SetHighBank(uint32_t bank)
{
    if (!Hp49Mode)
        return;
    HighBank = bank & 15;
    if (Modules[ModuleRom].Buffer)
        HighBankPointer = Modules[ModuleRom].Buffer + (HighBank << 18);
    RecomputeFetchPointers(0x40, 0x40);
    RecomputeFetchPointers(0xC0, 0x40);
}

uint32_t GetLowBank()
{
    return Hp49Mode ? LowBank : 0;
}

uint32_t GetHighBank()
{
    return Hp49Mode ? HighBank : 0;
}

void ResetBankPointers()
{
    LowBank = 0;
    HighBank = 0;
    LowBankPointer = Modules[ModuleRom].Buffer;
    HighBankPointer = Modules[ModuleRom].Buffer;
}

void InstallRomAccess()
{
    if (Modules[ModuleRom].Buffer)
        ModuleAccessTables[ModuleRom] = {&RomFetchPage, &RomReadNibble, &RomReadAddress, &IgnoreWrite};
    else
        ModuleAccessTables[ModuleRom] = {&BlankFetchPage, &ReadZero, &ReadAddressZero, &IgnoreWrite};
}

void SetFlashWriteEnable(bool enabled)
{
    FlashWriteEnable = enabled ? 1 : 0;
}

} // namespace korvane
