// The Saturn processor state. One machine per process: every instruction
// handler reads and writes these fields directly, without accessors or locks.
#pragma once

#include <atomic>
#include <cstdint>

namespace korvane {

// A 64-bit working register held twice: packed (live in hexadecimal mode)
// and one nibble per byte (live in decimal mode). The form that is not live
// keeps whatever it last held and is never read.
struct NibbleRegister {
    uint32_t PackedLow;  // nibbles 0-7, nibble k at bits 4k..4k+3
    uint32_t PackedHigh; // nibbles 8-15
    uint8_t Nibbles[16]; // byte k holds nibble k (0-15)
};

// R0 to R7: always packed, in both modes.
struct ScratchRegister {
    uint32_t Low;
    uint32_t High;
};

// Hardware status bits of HST.
inline constexpr uint8_t HstXM = 1;
inline constexpr uint8_t HstSB = 2;
inline constexpr uint8_t HstSR = 4;
inline constexpr uint8_t HstMP = 8;

struct CpuState {
    uint32_t PC; // plain adds advance it; jumps mask to 20 bits; pops load as stored
    uint32_t D0;
    uint32_t D1;
    NibbleRegister A;
    NibbleRegister B;
    NibbleRegister C;
    NibbleRegister D;
    ScratchRegister R[8]; // R5-R7 are reached only by register index and snapshot
    uint8_t P;
    uint32_t PShift; // always 4 * P
    uint8_t HST;
    uint16_t ST;
    uint8_t Carry;
    uint8_t DecimalMode;
    uint8_t InterruptService; // read by the keyboard on the host's threads
    uint8_t KeyInterruptsEnabled;
    uint16_t OUT;
    uint16_t IN;
    uint32_t RSTK[8];
    uint32_t RstkIndex;
    uint32_t SliceCycles;
    uint64_t TotalCycles;
    const uint8_t* FetchPointer; // first opcode nibble of the executing instruction
};

extern CpuState Cpu;

// The return address KVExecuteRoutine pushes; returns do not mask PC, so the
// routine's last return brings exactly this value back.
inline constexpr uint32_t StartSentinel = 0x100000;

// Fields that another thread reads while instructions run are accessed
// through these, so that the hot path stays plain loads and stores.
template <typename T>
inline T LoadRelaxed(const T& field)
{
    return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}

template <typename T>
inline void StoreRelaxed(T& field, T value)
{
    std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}

inline void SetP(uint8_t p)
{
    Cpu.P = p & 15;
    Cpu.PShift = 4u * Cpu.P;
}

// 20-bit field A of a working register in its live form.
inline uint32_t ReadFieldAHex(const NibbleRegister& r)
{
    return r.PackedLow & 0xFFFFF;
}

inline uint32_t ReadFieldADec(const NibbleRegister& r)
{
    uint32_t v = 0;
    for (int k = 4; k >= 0; --k)
        v = (v << 4) | r.Nibbles[k];
    return v;
}

inline void WriteFieldAHex(NibbleRegister& r, uint32_t value)
{
    r.PackedLow = (r.PackedLow & ~0xFFFFFu) | (value & 0xFFFFF);
}

inline void WriteFieldADec(NibbleRegister& r, uint32_t value)
{
    for (int k = 0; k < 5; ++k)
        r.Nibbles[k] = (value >> (4 * k)) & 15;
}

template <bool Decimal>
inline uint32_t ReadFieldA(const NibbleRegister& r)
{
    if constexpr (Decimal)
        return ReadFieldADec(r);
    else
        return ReadFieldAHex(r);
}

template <bool Decimal>
inline void WriteFieldA(NibbleRegister& r, uint32_t value)
{
    if constexpr (Decimal)
        WriteFieldADec(r, value);
    else
        WriteFieldAHex(r, value);
}

// The whole 64-bit value of a working register in its live form.
template <bool Decimal>
inline uint64_t ReadWord(const NibbleRegister& r)
{
    if constexpr (Decimal) {
        uint64_t v = 0;
        for (int k = 15; k >= 0; --k)
            v = (v << 4) | r.Nibbles[k];
        return v;
    } else {
        return (uint64_t{r.PackedHigh} << 32) | r.PackedLow;
    }
}

template <bool Decimal>
inline void WriteWord(NibbleRegister& r, uint64_t value)
{
    if constexpr (Decimal) {
        for (int k = 0; k < 16; ++k)
            r.Nibbles[k] = (value >> (4 * k)) & 15;
    } else {
        r.PackedLow = static_cast<uint32_t>(value);
        r.PackedHigh = static_cast<uint32_t>(value >> 32);
    }
}

// The return stack: a ring of eight with no depth count. Both call the
// debugging hook first (1 before a push, 2 before a pop).
void PushReturnStack(uint32_t value);
uint32_t PopReturnStack();

// SETHEX and SETDEC: convert A to D to the other form and switch the
// dispatch table; nothing happens when the machine is already in that mode.
void SwitchToHex();
void SwitchToDecimal();

void SetOut(uint16_t value);

uint32_t GetRegister(uint32_t index);
void SetRegister(uint32_t index, uint32_t value);

} // namespace korvane
