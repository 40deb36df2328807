#include "engine/core/banks.h"

#include "engine/core/code_cache.h"
#include "engine/core/flash.h"
#include "engine/core/memory.h"

namespace korvane {

uint32_t Hp49Mode;
uint32_t LowBank;
uint32_t HighBank;
uint8_t* LowBankPointer;
uint8_t* HighBankPointer;
uint8_t FlashWriteEnable;

const uint8_t* RomLocate(uint32_t address)
{
    if (Hp49Mode)
        return ((address & 0x40000) ? HighBankPointer : LowBankPointer) + (address & 0x3FFFF);
    return Modules[ModuleRom].Buffer + (address & 0xFFFFF);
}

namespace {

constexpr uint32_t UnderBankSwitcher = (1u << ModuleIo) | (1u << ModuleRam) | (1u << ModuleBankSwitcher);

// The bank switcher decodes its own address: bits 5-6 pick the low bank,
// bits 1-4 the high bank. The ROM is read through its windows on every
// access that follows, so a window whose bank stays needs no new pages.
void SelectBanks(uint32_t address)
{
    if (!Hp49Mode)
        return;
    if (((address >> 5) & 3) != LowBank)
        SetLowBank((address >> 5) & 3);
    if (((address >> 1) & 15) != HighBank)
        SetHighBank((address >> 1) & 15);
}

// The pages of a window, 0x40 from first: where the plain ROM answers (the
// only access whose fetch is RomFetchPage, reading its pages plainly and
// writing none), the bank's pages follow one another from its pointer; any
// other page (under the I/O window, RAM, a port, the bank switcher, or the
// ROM through the flash functions) is recomputed through its functions.
void FillWindow(unsigned first, const uint8_t* bank)
{
    for (unsigned page = first; page < first + 0x40; ++page) {
        if (bank && Memory.BySet.FetchPage[Memory.Pages.Modules[page]] == &RomFetchPage) {
            const uint8_t* romPage = bank + ((page & 0x3F) << 12);
            Memory.Pages.Fetch[page] = romPage;
            Memory.Pages.Read[page] = romPage;
            Memory.Pages.Write[page] = nullptr;
        } else {
            RecomputeFetchPointers(page, 1);
        }
    }
    ForgetDecodedPages(first, 0x40);
}

const ModuleAccess& AccessUnderBankSwitcher(uint32_t address)
{
    return ModuleAccessTables[ModuleUnder(Memory.Pages.Modules[PageOf(address)], UnderBankSwitcher)];
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
    FillWindow(0x00, Modules[ModuleRom].Buffer ? LowBankPointer : nullptr);
    FillWindow(0x80, Modules[ModuleRom].Buffer ? LowBankPointer : nullptr);
}

void SetHighBank(uint32_t bank)
{
    if (!Hp49Mode)
        return;
    HighBank = bank & 15;
    if (Modules[ModuleRom].Buffer)
        HighBankPointer = Modules[ModuleRom].Buffer + HighBank * BankNibbles;
    FillWindow(0x40, Modules[ModuleRom].Buffer ? HighBankPointer : nullptr);
    FillWindow(0xC0, Modules[ModuleRom].Buffer ? HighBankPointer : nullptr);
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
        Flash.State = FlashReadArray;
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
        Flash.State = FlashReadArray;
    InstallRomAccess();
    RebuildAccessTables();
}

} // namespace korvane
