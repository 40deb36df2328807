#include "engine/core/cpu_state.h"

#include "engine/core/banks.h"
#include "engine/core/dispatch.h"
#include "engine/core/engine.h"
#include "engine/core/hooks.h"

namespace korvane {

CpuState Cpu;

namespace {

void Pack(NibbleRegister& r)
{
    const uint64_t value = PackNibbleBytes(r);
    r.PackedLow = static_cast<uint32_t>(value);
    r.PackedHigh = static_cast<uint32_t>(value >> 32);
}

void Unpack(NibbleRegister& r)
{
    UnpackNibbleBytes(r, uint64_t{r.PackedHigh} << 32 | r.PackedLow);
}

// A 32-bit half of a working register in its live form (index 4 to 11).
uint32_t& PackedHalf(NibbleRegister& r, bool high)
{
    return high ? r.PackedHigh : r.PackedLow;
}

uint32_t ReadHalf(NibbleRegister& r, bool high)
{
    if (!Cpu.DecimalMode)
        return PackedHalf(r, high);
    return GatherNibbles(LoadNibbleBytes(r, high ? 1 : 0));
}

void WriteHalf(NibbleRegister& r, bool high, uint32_t value)
{
    if (!Cpu.DecimalMode) {
        PackedHalf(r, high) = value;
        return;
    }
    StoreNibbleBytes(r, high ? 1 : 0, SpreadNibbles(value));
}

NibbleRegister& WorkingByIndex(uint32_t index)
{
    NibbleRegister* registers[] = {&Cpu.A, &Cpu.B, &Cpu.C, &Cpu.D};
    return *registers[(index - 4) / 2];
}

uint32_t& PcOrPointer(uint32_t index)
{
    return index == 0 ? Cpu.PC : index == 1 ? Cpu.D0 : Cpu.D1;
}

uint32_t FlagsWord()
{
    return Cpu.P | uint32_t{Cpu.HST} << 4 | (LoadRelaxed(Cpu.InterruptService) ? 0x100u : 0u) |
           (Cpu.Carry ? 0x200u : 0u) | (Cpu.DecimalMode ? 0x400u : 0u) |
           (LoadRelaxed(Cpu.KeyInterruptsEnabled) ? 0x800u : 0u) | uint32_t{Cpu.ST} << 16;
}

void SetFlagsWord(uint32_t value)
{
    SetP(value & 15);
    Cpu.HST = (value >> 4) & 15;
    Cpu.Carry = (value >> 9) & 1;
    StoreRelaxed(Cpu.InterruptService, static_cast<uint8_t>((value >> 8) & 1));
    if (value & 0x400)
        SwitchToDecimal();
    else
        SwitchToHex();
    StoreRelaxed(Cpu.KeyInterruptsEnabled, static_cast<uint8_t>((value >> 11) & 1));
    Cpu.ST = static_cast<uint16_t>(value >> 16);
}

} // namespace

void SwitchToHex()
{
    if (!Cpu.DecimalMode)
        return;
    Pack(Cpu.A);
    Pack(Cpu.B);
    Pack(Cpu.C);
    Pack(Cpu.D);
    Cpu.DecimalMode = 0;
    ActiveDispatchTable = HexDispatchTable.data();
}

void SwitchToDecimal()
{
    if (Cpu.DecimalMode)
        return;
    Unpack(Cpu.A);
    Unpack(Cpu.B);
    Unpack(Cpu.C);
    Unpack(Cpu.D);
    Cpu.DecimalMode = 1;
    ActiveDispatchTable = DecimalDispatchTable.data();
}

void SetOut(uint16_t value)
{
    Cpu.OUT = value;
}

uint32_t GetRegister(uint32_t index)
{
    if (index <= 2)
        return PcOrPointer(index);
    if (index >= 4 && index <= 11)
        return ReadHalf(WorkingByIndex(index), index & 1);
    if (index >= 12 && index <= 27) {
        const ScratchRegister& r = Cpu.R[(index - 12) / 2];
        return (index & 1) ? r.High : r.Low;
    }
    if (index >= 64 && index <= 71)
        return Cpu.RSTK[index - 64];
    const uint64_t cycles = Cpu.TotalCycles + Cpu.SliceCycles;
    switch (index) {
    case 28:
        return FlagsWord();
    case 29:
        return Cpu.OUT;
    case 30:
        return Cpu.IN;
    case 31:
        return GetLowBank();
    case 32:
        return GetHighBank();
    case 33:
        return static_cast<uint32_t>(cycles);
    case 34:
        return static_cast<uint32_t>(cycles >> 32);
    case 63:
        return Cpu.RstkIndex;
    default:
        return 0;
    }
}

void SetRegister(uint32_t index, uint32_t value)
{
    if (IsRunning())
        return;
    if (index <= 2) {
        PcOrPointer(index) = value & 0xFFFFF;
        return;
    }
    if (index >= 4 && index <= 11) {
        WriteHalf(WorkingByIndex(index), index & 1, value);
        return;
    }
    if (index >= 12 && index <= 27) {
        ScratchRegister& r = Cpu.R[(index - 12) / 2];
        ((index & 1) ? r.High : r.Low) = value;
        return;
    }
    if (index >= 64 && index <= 71) {
        Cpu.RSTK[index - 64] = value;
        return;
    }
    switch (index) {
    case 28:
        SetFlagsWord(value);
        break;
    case 29:
        Cpu.OUT = value & 0xFFF;
        break;
    case 30:
        Cpu.IN = value & 0xFFFF;
        break;
    case 31:
        SetLowBank(value);
        break;
    case 32:
        SetHighBank(value);
        break;
    case 63:
        Cpu.RstkIndex = value & 7;
        break;
    default:
        break;
    }
}

} // namespace korvane

using namespace korvane;

extern "C" {

uint32_t KVGetRegister(uint32_t index)
{
    return GetRegister(index);
}

void KVSetRegister(uint32_t index, uint32_t value)
{
    SetRegister(index, value);
}

void KVRstkPush(uint32_t value)
{
    PushReturnStack(value);
}

uint32_t KVRstkPop()
{
    return PopReturnStack();
}

} // extern "C"
