#include "engine/core/io_registers.h"

#include <array>

#include "engine/core/banks.h"
#include "engine/core/cpu_state.h"
#include "engine/core/interrupts.h"
#include "engine/core/lcd.h"
#include "engine/core/memory.h"
#include "engine/core/serial.h"
#include "engine/core/timers.h"
#include "platform/clock.h"

namespace korvane {

uint8_t IoRegisterShadow[64];
uint8_t PlainRegister09;
uint8_t PlainRegister0E;
uint8_t PlainRegister1E;
uint8_t PlainRegister1F;

namespace {

constexpr uint32_t IoBit = 1u << ModuleIo;

uint32_t ModuleUnderWindow(uint32_t address)
{
    return ModuleUnder(Memory.Pages.Modules[PageOf(address)], IoBit);
}

using RegisterRead = uint32_t (*)(uint32_t offset);
using RegisterWrite = void (*)(uint32_t offset, uint32_t nibble);

// --- Reads -----------------------------------------------------------------

template <uint32_t Value>
uint32_t ReadConstant(uint32_t)
{
    return Value;
}

template <uint8_t* Register>
uint32_t ReadByte(uint32_t)
{
    return *Register;
}

template <uint8_t TimerState::*Register>
uint32_t ReadTimerByte(uint32_t)
{
    return Timers.*Register;
}

uint32_t ReadCrcNibble(uint32_t offset)
{
    return (CrcRegister >> (4 * (offset - 0x04))) & 0xF;
}

// The ROM learns the interrupt causes here; reading a nibble acknowledges it.
template <unsigned Shift>
uint32_t ReadServiceRequest(uint32_t)
{
    const uint32_t nibble = (ServiceRequestBits >> Shift) & 0xF;
    ServiceRequestBits &= static_cast<uint8_t>(~(0xFu << Shift));
    return nibble;
}

uint32_t ReadFlashEnable(uint32_t)
{
    return FlashWriteEnable ? 8 : 0;
}

uint32_t ReadTimer2Nibble(uint32_t offset)
{
    return (Timers.Timer2 >> (4 * (offset - 0x38))) & 0xF;
}

// --- Writes ----------------------------------------------------------------

void WriteNothing(uint32_t, uint32_t) {}

template <uint8_t* Register>
void WriteByte(uint32_t, uint32_t nibble)
{
    *Register = static_cast<uint8_t>(nibble);
}

template <uint8_t* Register>
void WriteMaskedNibble(uint32_t, uint32_t nibble)
{
    *Register = static_cast<uint8_t>(nibble & 0xF);
}

template <uint8_t TimerState::*Register, uint32_t Mask>
void WriteTimerByte(uint32_t, uint32_t nibble)
{
    Timers.*Register = static_cast<uint8_t>(nibble & Mask);
}

// The CRC stays a 16-bit register whatever is written into it.
void WriteCrcNibble(uint32_t offset, uint32_t nibble)
{
    const unsigned shift = 4 * (offset - 0x04);
    CrcRegister = ((CrcRegister & ~(0xFu << shift)) | ((nibble & 0xF) << shift)) & 0xFFFF;
}

void WriteFlashEnable(uint32_t, uint32_t nibble)
{
    SetFlashWriteEnable((nibble & 8) != 0);
}

void WriteTimer2Nibble(uint32_t offset, uint32_t nibble)
{
    const unsigned shift = 4 * (offset - 0x38);
    Timers.Timer2 = (Timers.Timer2 & ~(0xFu << shift)) | ((nibble & 0xF) << shift);
}

// C is written in the form the current mode reads, and only that form.
void WriteLiveC(uint64_t value)
{
    if (Cpu.DecimalMode)
        WriteWord<true>(Cpu.C, value);
    else
        WriteWord<false>(Cpu.C, value);
}

// The engine's own service register: the ROM asks the host for its clock.
void WriteHostService(uint32_t, uint32_t nibble)
{
    switch (nibble) {
    case 0:
        Cpu.HST |= HstSB;
        break;
    case 13:
        WriteLiveC(platform::PerformanceFrequency());
        break;
    case 14:
        WriteLiveC(platform::PerformanceCounter());
        break;
    default:
        break;
    }
}

// --- The maps ----------------------------------------------------------------

constexpr void Fill(std::array<RegisterRead, 64>& map, uint32_t first, uint32_t last, RegisterRead read)
{
    for (uint32_t offset = first; offset <= last; ++offset)
        map[offset] = read;
}

constexpr void Fill(std::array<RegisterWrite, 64>& map, uint32_t first, uint32_t last, RegisterWrite write)
{
    for (uint32_t offset = first; offset <= last; ++offset)
        map[offset] = write;
}

constexpr std::array<RegisterRead, 64> BuildReadMap()
{
    std::array<RegisterRead, 64> map{};
    Fill(map, 0x00, 0x3F, &ReadConstant<0>);                                  // unassigned offsets read 0
    Fill(map, 0x00, 0x00, &ReadDisplayRegister);                              // 00     display on, left offset
    Fill(map, 0x04, 0x07, &ReadCrcNibble);                                    // 04-07  CRC
    Fill(map, 0x09, 0x09, &ReadByte<&PlainRegister09>);                       // 09     plain register
    Fill(map, 0x0B, 0x0C, &ReadDisplayRegister);                              // 0B-0C  annunciators
    Fill(map, 0x0D, 0x0D, &ReadSerialRegister);                               // 0D     BAUD
    Fill(map, 0x0E, 0x0E, &ReadByte<&PlainRegister0E>);                       // 0E     plain register
    Fill(map, 0x0F, 0x0F, &ReadConstant<15>);                              // 0F
    Fill(map, 0x10, 0x12, &ReadSerialRegister);                               // 10-12  IOC, RCS, TCS
    Fill(map, 0x13, 0x13, &ReadConstant<7>);                               // 13
    Fill(map, 0x14, 0x17, &ReadSerialRegister);                               // 14-17  RBR, TBR
    Fill(map, 0x18, 0x18, &ReadServiceRequest<0>);                            // 18     service requests, low
    Fill(map, 0x19, 0x19, &ReadServiceRequest<4>);                            // 19     service requests, high
    Fill(map, 0x1C, 0x1C, &ReadFlashEnable);                                  // 1C     flash write enable
    Fill(map, 0x1E, 0x1E, &ReadByte<&PlainRegister1E>);                       // 1E     plain register
    Fill(map, 0x1F, 0x1F, &ReadByte<&PlainRegister1F>);                       // 1F     plain register
    Fill(map, 0x20, 0x27, &ReadConstant<7>);                                  // 20-27  display address, line offset
    Fill(map, 0x28, 0x29, &ReadDisplayRegister);                              // 28-29  line counter
    Fill(map, 0x2E, 0x2E, &ReadTimerByte<&TimerState::Timer1Control>);        // 2E     TIMER1 control
    Fill(map, 0x2F, 0x2F, &ReadTimerByte<&TimerState::Timer2Control>);        // 2F     TIMER2 control
    Fill(map, 0x30, 0x34, &ReadConstant<7>);                                  // 30-34  menu address
    Fill(map, 0x37, 0x37, &ReadTimerByte<&TimerState::Timer1>);               // 37     TIMER1
    Fill(map, 0x38, 0x3F, &ReadTimer2Nibble);                                 // 38-3F  TIMER2
    return map;
}

constexpr std::array<RegisterWrite, 64> BuildWriteMap()
{
    std::array<RegisterWrite, 64> map{};
    Fill(map, 0x00, 0x3F, &WriteNothing);                                     // unassigned offsets keep only the shadow
    Fill(map, 0x00, 0x00, &WriteDisplayRegister);                             // 00     display on, left offset
    Fill(map, 0x04, 0x07, &WriteCrcNibble);                                   // 04-07  CRC
    Fill(map, 0x09, 0x09, &WriteByte<&PlainRegister09>);                      // 09     plain register
    Fill(map, 0x0B, 0x0C, &WriteDisplayRegister);                             // 0B-0C  annunciators
    Fill(map, 0x0D, 0x0D, &WriteSerialRegister);                              // 0D     BAUD
    Fill(map, 0x0E, 0x0E, &WriteByte<&PlainRegister0E>);                      // 0E     plain register
    Fill(map, 0x10, 0x17, &WriteSerialRegister);                              // 10-17  IOC, RCS, TCS, overrun, RBR, TBR
    Fill(map, 0x1C, 0x1C, &WriteFlashEnable);                                 // 1C     flash write enable
    Fill(map, 0x1E, 0x1E, &WriteMaskedNibble<&PlainRegister1E>);              // 1E     plain register
    Fill(map, 0x1F, 0x1F, &WriteMaskedNibble<&PlainRegister1F>);              // 1F     plain register
    Fill(map, 0x20, 0x29, &WriteDisplayRegister);                             // 20-29  display address, line offset,
                                                                              //        line count
    Fill(map, 0x2D, 0x2D, &WriteHostService);                                 // 2D     host service
    Fill(map, 0x2E, 0x2E, &WriteTimerByte<&TimerState::Timer1Control, 0xFF>); // 2E     TIMER1 control
    Fill(map, 0x2F, 0x2F, &WriteTimerByte<&TimerState::Timer2Control, 0xFF>); // 2F     TIMER2 control
    Fill(map, 0x30, 0x34, &WriteDisplayRegister);                             // 30-34  menu address
    Fill(map, 0x37, 0x37, &WriteTimerByte<&TimerState::Timer1, 0xF>);         // 37     TIMER1
    Fill(map, 0x38, 0x3F, &WriteTimer2Nibble);                                // 38-3F  TIMER2
    return map;
}

constinit const std::array<RegisterRead, 64> ReadMap = BuildReadMap();
constinit const std::array<RegisterWrite, 64> WriteMap = BuildWriteMap();

} // namespace

// Instruction fetch in the window's page always uses the module underneath.
const uint8_t* IoFetchPage(uint32_t pageAddress)
{
    return ModuleAccessTables[ModuleUnderWindow(pageAddress)].FetchPage(pageAddress);
}

uint32_t IoReadNibble(uint32_t address)
{
    if (InIoWindow(address))
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
    if (InIoWindow(address)) {
        IoRegisterShadow[address & 63] = static_cast<uint8_t>(nibble);
        IoWriteRegister(address & 63, nibble);
        return;
    }
    ModuleAccessTables[ModuleUnderWindow(address)].WriteNibble(address, nibble);
}

uint32_t IoReadRegister(uint32_t offset)
{
    offset &= 63;
    return ReadMap[offset](offset);
}

uint64_t IoReadRegisterRun(uint32_t offset, unsigned count)
{
    uint64_t value = 0;
    for (unsigned k = 0; k < count; ++k)
        value |= uint64_t{ReadMap[offset + k](offset + k)} << (4 * k);
    return value;
}

void IoWriteRegister(uint32_t offset, uint32_t nibble)
{
    offset &= 63;
    WriteMap[offset](offset, nibble);
}

} // namespace korvane
