#include "engine/core/banks.h"

#include <cstring>

#include "engine/core/memory.h"

namespace korvane {

uint32_t Hp49Mode;
uint32_t LowBank;
uint32_t HighBank;
uint8_t* LowBankPointer;
uint8_t* HighBankPointer;
uint8_t FlashWriteEnable;

uint32_t FlashState = FlashReadArray;
uint8_t FlashStatus = FlashReady;
uint8_t FlashLatch;
uint8_t FlashBuffer[FlashBufferBytes];
uint32_t FlashBufferStart;
uint32_t FlashBufferCount;
uint32_t FlashBufferIndex;

namespace {

constexpr uint32_t UnderBankSwitcher = (1u << ModuleIo) | (1u << ModuleRam) | (1u << ModuleBankSwitcher);

// The ROM nibble for a 20-bit address: banked in HP 49G mode, flat otherwise.
const uint8_t* RomLocate(uint32_t address)
{
    if (Hp49Mode)
        return ((address & 0x40000) ? HighBankPointer : LowBankPointer) + (address & 0x3FFFF);
    return Modules[ModuleRom].Buffer + (address & 0xFFFFF);
}

// The bank switcher decodes its own address: bits 5-6 pick the low bank,
// bits 1-4 the high bank.
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
    return ReadDataNibble(RomLocate(address));
}

uint32_t RomReadAddress(uint32_t address)
{
    return ReadDataAddress(RomLocate(address));
}

// Fetching never selects banks.
const uint8_t* BankFetchPage(uint32_t pageAddress)
{
    return AccessUnderBankSwitcher(pageAddress).FetchPage(pageAddress);
}

// The banks change first, so a ROM read underneath already sees the new bank.
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
        LowBankPointer = Modules[ModuleRom].Buffer + LowBank * BankNibbles;
    RecomputeFetchPointers(0x00, 0x40);
    RecomputeFetchPointers(0x80, 0x40);
}

void SetHighBank(uint32_t bank)
{
    if (!Hp49Mode)
        return;
    HighBank = bank & 15;
    if (Modules[ModuleRom].Buffer)
        HighBankPointer = Modules[ModuleRom].Buffer + HighBank * BankNibbles;
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

// The high window shows bank 0 as its number says, not the ROM from 0x40000.
void ResetBankPointers()
{
    LowBank = 0;
    HighBank = 0;
    LowBankPointer = Modules[ModuleRom].Buffer;
    HighBankPointer = Modules[ModuleRom].Buffer;
}

// Reads straight from the bank; writes are ignored through the function.
constexpr ModuleAccess PlainRomAccess{&RomFetchPage, &RomReadNibble, &RomReadAddress,
                                      &IgnoreWrite,  &RomFetchPage,  nullptr};

void InstallRomAccess()
{
    static constexpr ModuleAccess Blank{&BlankFetchPage, &ReadZero, &ReadAddressZero, &IgnoreWrite, nullptr, nullptr};
    const bool romAttached = Modules[ModuleRom].Buffer != nullptr;
    const bool flashMapped = Hp49Mode && FlashWriteEnable;

    // The flash functions address the ROM buffer, so without one there is
    // no flash to reach: both modules read zeros and ignore writes.
    if (!romAttached)
        ModuleAccessTables[ModuleRom] = Blank;
    else if (flashMapped)
        ModuleAccessTables[ModuleRom] = {&FlashFetchPage, &FlashReadNibble, &FlashReadAddress,
                                         &IgnoreWrite,    nullptr,          nullptr};
    else
        ModuleAccessTables[ModuleRom] = PlainRomAccess;

    if (!flashMapped)
        InstallModuleAccess(ModulePort2);
    else if (romAttached && Modules[ModulePort2].Buffer)
        ModuleAccessTables[ModulePort2] = {&FlashFetchPage,   &FlashReadNibble, &FlashReadAddress,
                                           &FlashWriteNibble, nullptr,          nullptr};
    else
        ModuleAccessTables[ModulePort2] = Blank;

    // A flash that is not reachable comes back in read-array mode.
    if (!flashMapped || !romAttached)
        FlashState = FlashReadArray;
}

void InstallAttachedFlashModule(uint32_t id)
{
    if (id == ModulePort2) {
        InstallModuleAccess(ModulePort2);
        return;
    }
    // Port 2 keeps the flash functions while a ROM buffer is there for them
    // to address; without one it reads zeros and the flash returns to
    // read-array mode.
    InstallRomAccess();
    if (Modules[ModuleRom].Buffer)
        ModuleAccessTables[ModuleRom] = PlainRomAccess;
}

void SetFlashWriteEnable(bool enabled)
{
    FlashWriteEnable = enabled ? 1 : 0;
    if (!Hp49Mode)
        return;
    if (!enabled)
        FlashState = FlashReadArray;
    InstallRomAccess();
    RebuildAccessTables();
}

// ---------------------------------------------------------------------------
// The flash command machine. It is reached only while the ROM buffer is
// attached, and every offset it forms stays below RomNibbles.

namespace {

uint8_t* Flash()
{
    return Modules[ModuleRom].Buffer;
}

uint8_t StoredByte(uint32_t offset)
{
    return static_cast<uint8_t>((Flash()[offset] & 0x0F) | (Flash()[offset + 1] & 0x0F) << 4);
}

// Programming only clears bits; setting one needs an erase. The boot block
// never takes a program.
void ProgramByte(uint32_t offset, uint8_t byte)
{
    if (offset < FlashBlockNibbles || (byte & ~StoredByte(offset)) != 0) {
        FlashStatus |= FlashError;
        return;
    }
    Flash()[offset] = byte & 0x0F;
    Flash()[offset + 1] = byte >> 4;
}

void EraseBlock(uint32_t offset)
{
    std::memset(Flash() + (offset & ~(FlashBlockNibbles - 1)), 0x0F, FlashBlockNibbles);
}

void RunCommand(uint32_t offset, uint8_t byte)
{
    switch (byte) {
    case 0x10:
    case 0x40:
        FlashState = FlashProgram;
        break;
    case 0x20: // erases at once, no confirm byte awaited
        EraseBlock(offset);
        FlashState = FlashReadStatus;
        break;
    case 0x50:
        FlashStatus = FlashReady;
        break;
    case 0x70:
        FlashState = FlashReadStatus;
        break;
    case 0x90:
        FlashState = FlashReadIdentifier;
        break;
    case 0xE8:
        FlashState = FlashBufferCountNext;
        break;
    case 0xFF:
        FlashState = FlashReadArray;
        break;
    default:
        break;
    }
}

void FailBufferedWrite()
{
    FlashStatus |= FlashError;
    FlashState = FlashReadStatus;
}

} // namespace

uint32_t FlashOffset(uint32_t address)
{
    const uint32_t bank = (address & 0x40000) ? HighBank : LowBank;
    return bank * BankNibbles + (address & 0x3FFFF);
}

// Evaluated when fetch pointers are recomputed, not when the state changes.
const uint8_t* FlashFetchPage(uint32_t pageAddress)
{
    return FlashState == FlashReadArray ? RomLocate(pageAddress) : BlankPage;
}

uint32_t FlashRead(uint32_t address)
{
    const uint32_t offset = FlashOffset(address);
    switch (FlashState) {
    case FlashReadArray:
        return Flash()[offset] & 0x0F;
    case FlashReadIdentifier:
        // Block-relative nibble 8 is the block lock status: only the boot
        // block is locked.
        if ((offset & (FlashBlockNibbles - 1)) == 8)
            return offset < FlashBlockNibbles ? 1 : 0;
        return 0;
    default:
        return (offset & 1) ? FlashStatus >> 4 : FlashStatus & 0x0F;
    }
}

uint32_t FlashReadNibble(uint32_t address)
{
    const uint32_t nibble = FlashRead(address);
    UpdateCrc(nibble);
    return nibble;
}

uint32_t FlashReadAddress(uint32_t address)
{
    uint32_t value = 0;
    for (uint32_t i = 0; i < 5; ++i) {
        const uint32_t nibble = FlashRead((address + i) & 0xFFFFF);
        UpdateCrc(nibble);
        value |= nibble << (4 * i);
    }
    return value;
}

void FlashWriteNibble(uint32_t address, uint32_t nibble)
{
    FlashCommand(address, nibble);
}

void FlashCommand(uint32_t address, uint32_t nibble)
{
    if ((address & 1) == 0) {
        FlashLatch = static_cast<uint8_t>(nibble & 0x0F);
        return;
    }
    const uint8_t byte = static_cast<uint8_t>((FlashLatch & 0x0F) | (nibble & 0x0F) << 4);
    FlashLatch = byte;
    const uint32_t offset = FlashOffset(address) & ~1u;
    switch (FlashState) {
    case FlashProgram:
        ProgramByte(offset, byte);
        FlashState = FlashReadStatus;
        break;
    case FlashBufferCountNext:
        // A count above the buffer is dropped without an error bit.
        FlashBufferCount = byte + 1u;
        FlashBufferIndex = 0;
        FlashState = FlashBufferCount <= FlashBufferBytes ? FlashBufferFill : FlashReadStatus;
        break;
    case FlashBufferFill:
        FlashBufferWrite(offset, byte);
        break;
    default:
        RunCommand(offset, byte);
        break;
    }
}

// The data bytes must arrive at consecutive byte offsets; then 0xD0 at the
// last data byte's offset confirms and programs them all.
void FlashBufferWrite(uint32_t offset, uint8_t byte)
{
    if (FlashBufferIndex == 0)
        FlashBufferStart = offset;
    if (FlashBufferIndex < FlashBufferCount) {
        if (offset != FlashBufferStart + 2 * FlashBufferIndex) {
            FailBufferedWrite();
            return;
        }
        FlashBuffer[FlashBufferIndex++] = byte;
        return;
    }
    if (byte != 0xD0 || offset != FlashBufferStart + 2 * (FlashBufferCount - 1)) {
        FailBufferedWrite();
        return;
    }
    // A refused byte marks the error; the others are still programmed.
    for (uint32_t i = 0; i < FlashBufferCount; ++i)
        ProgramByte(FlashBufferStart + 2 * i, FlashBuffer[i]);
    FlashState = FlashReadStatus;
}

} // namespace korvane
