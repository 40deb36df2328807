#include "engine/core/io_registers.h"

#include "engine/core/memory.h"

namespace korvane {

uint8_t IoRegisterShadow[64];
uint8_t PlainRegister09;
uint8_t PlainRegister0E;
uint8_t PlainRegister1E;
uint8_t PlainRegister1F;

namespace {

constexpr uint32_t IoBit = 1u << ModuleIo;

bool InWindow(uint32_t address)
{
    return (address & 0xFFFC0) == Modules[ModuleIo].Base;
}

uint32_t ModuleUnderWindow(uint32_t address)
{
    return ModuleUnder(PageModuleMask[PageOf(address)], IoBit);
}

} // namespace

// Instruction fetch in the window's page always uses the module underneath.
const uint8_t* IoFetchPage(uint32_t pageAddress)
{
    return ModuleAccessTables[ModuleUnderWindow(pageAddress)].FetchPage(pageAddress);
}

uint32_t IoReadNibble(uint32_t address)
{
    if (InWindow(address))
        return IoReadRegister(address & 63);
    return ModuleAccessTables[ModuleUnderWindow(address)].ReadNibble(address);
}

// Each nibble through the table of its own page, so the window's registers
// are read one by one, lowest address first.
uint32_t IoReadAddress(uint32_t address)
{
    uint32_t value = 0;
    for (uint32_t i = 0; i < 5; ++i)
        value |= ReadNibble((address + i) & 0xFFFFF) << (4 * i);
    return value;
}

void IoWriteNibble(uint32_t address, uint32_t nibble)
{
    if (InWindow(address)) {
        IoRegisterShadow[address & 63] = static_cast<uint8_t>(nibble);
        IoWriteRegister(address & 63, nibble);
        return;
    }
    ModuleAccessTables[ModuleUnderWindow(address)].WriteNibble(address, nibble);
}

uint32_t IoReadRegister(uint32_t)
{
    return 0;
}

void IoWriteRegister(uint32_t, uint32_t) {}

} // namespace korvane
