#include "engine/core/cpu_state.h"

#include "engine/core/banks.h"
#include "engine/core/code_cache.h"
#include "engine/core/dispatch.h"
#include "engine/core/engine.h"
#include "engine/core/hooks.h"
#include "korvane.h"

namespace korvane {

CpuState Cpu;

// The probe takes the feature's name only as a literal, hence a macro.
#if defined(__x86_64__)
#define KORVANE_HOST_SUPPORTS(feature) (__builtin_cpu_init(), __builtin_cpu_supports(feature) != 0)
#else
#define KORVANE_HOST_SUPPORTS(feature) false
#endif

bool HostHasBmi2 = KORVANE_HOST_SUPPORTS("bmi2");
bool HostHasPclmul = KORVANE_HOST_SUPPORTS("pclmul");

#undef KORVANE_HOST_SUPPORTS

namespace {

// The register numbers of KVGetRegister and KVSetRegister, in runs: A to D
// as low and high halves, R0 to R7 likewise, and the eight RSTK slots.
constexpr uint32_t WorkingHalvesEnd = KV_REG_A_LOW + 8;
constexpr uint32_t ScratchHalvesEnd = KV_REG_R0_LOW + 16;
constexpr uint32_t RstkSlotsEnd = KV_REG_RSTK0 + 8;

// A 32-bit half of a working register in its live form.
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
    return *registers[(index - KV_REG_A_LOW) / 2];
}

uint32_t& PcOrPointer(uint32_t index)
{
    return index == KV_REG_PC ? Cpu.PC : index == KV_REG_D0 ? Cpu.D0 : Cpu.D1;
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
    EnterMode<false>();
}

void SwitchToDecimal()
{
    EnterMode<true>();
}

void SetOut(uint16_t value)
{
    Cpu.OUT = value;
}

// The halves of A to D and R0 to R7 come low then high: an odd number names
// a high half.
uint32_t GetRegister(uint32_t index)
{
    if (index <= KV_REG_D1)
        return PcOrPointer(index);
    if (index >= KV_REG_A_LOW && index < WorkingHalvesEnd)
        return ReadHalf(WorkingByIndex(index), index & 1);
    if (index >= KV_REG_R0_LOW && index < ScratchHalvesEnd) {
        const ScratchRegister& r = Cpu.R[(index - KV_REG_R0_LOW) / 2];
        return (index & 1) ? r.High : r.Low;
    }
    if (index >= KV_REG_RSTK0 && index < RstkSlotsEnd)
        return Cpu.RSTK[index - KV_REG_RSTK0];
    const uint64_t cycles = Cpu.TotalCycles + Cpu.SliceCycles;
    switch (index) {
    case KV_REG_FLAGS:
        return FlagsWord();
    case KV_REG_OUT:
        return Cpu.OUT;
    case KV_REG_IN:
        return Cpu.IN;
    case KV_REG_LOW_BANK:
        return GetLowBank();
    case KV_REG_HIGH_BANK:
        return GetHighBank();
    case KV_REG_CYCLES_LOW:
        return static_cast<uint32_t>(cycles);
    case KV_REG_CYCLES_HIGH:
        return static_cast<uint32_t>(cycles >> 32);
    case KV_REG_RSTK_INDEX:
        return Cpu.RstkIndex;
    default:
        return 0;
    }
}

void SetRegister(uint32_t index, uint32_t value)
{
    if (IsRunning())
        return;
    if (index <= KV_REG_D1) {
        PcOrPointer(index) = value & 0xFFFFF;
        return;
    }
    if (index >= KV_REG_A_LOW && index < WorkingHalvesEnd) {
        WriteHalf(WorkingByIndex(index), index & 1, value);
        return;
    }
    if (index >= KV_REG_R0_LOW && index < ScratchHalvesEnd) {
        ScratchRegister& r = Cpu.R[(index - KV_REG_R0_LOW) / 2];
        ((index & 1) ? r.High : r.Low) = value;
        return;
    }
    if (index >= KV_REG_RSTK0 && index < RstkSlotsEnd) {
        Cpu.RSTK[index - KV_REG_RSTK0] = value;
        return;
    }
    switch (index) {
    case KV_REG_FLAGS:
        SetFlagsWord(value);
        break;
    case KV_REG_OUT:
        Cpu.OUT = value & 0xFFF;
        break;
    case KV_REG_IN:
        Cpu.IN = value & 0xFFFF;
        break;
    case KV_REG_LOW_BANK:
        SetLowBank(value);
        break;
    case KV_REG_HIGH_BANK:
        SetHighBank(value);
        break;
    case KV_REG_RSTK_INDEX:
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
