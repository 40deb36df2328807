// The Saturn processor state. One machine per process: every instruction
// handler reads and writes these fields directly, without accessors or locks.
#pragma once

#include <atomic>
#include <bit>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/core/hooks.h"

// The engine's headers declare its globals hidden: the library's own code
// then reaches them directly rather than through the global offset table,
// one instruction fewer wherever a handler touches the processor state.
#pragma GCC visibility push(hidden)
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

// The two forms of a register as words: eight nibbles packed in a 32-bit
// word, and the same eight as the bytes of a 64-bit word (nibble k in byte
// k). Each conversion moves all eight at once in three steps of halving or
// doubling distance, rather than one nibble at a time.
static_assert(std::endian::native == std::endian::little, "nibble bytes are read as little-endian words");

// Whether the host has BMI2 (pext, pdep), found as the library loads: the
// nibble gathers and spreads take one instruction where it is there, the
// shift-and-mask steps where not. The differential fuzz target clears it to
// run the plain steps beside them.
extern bool HostHasBmi2;

// Whether the host has PCLMULQDQ, found as the library loads: a run of
// sixteen nibbles then updates the CRC with one carry-less multiply.
extern bool HostHasPclmul;

// The low 64 bits of the carry-less product, as an instruction of its own;
// only a caller that checked HostHasPclmul reaches it.
inline uint64_t CarrylessProductLow(uint64_t a, uint64_t b)
{
#if defined(__x86_64__)
    __m128i x = _mm_cvtsi64_si128(static_cast<long long>(a));
    const __m128i y = _mm_cvtsi64_si128(static_cast<long long>(b));
    __asm__("pclmulqdq $0, %1, %0" : "+x"(x) : "x"(y));
    return static_cast<uint64_t>(_mm_cvtsi128_si64(x));
#else
    uint64_t product = 0;
    for (; b; b &= b - 1)
        product ^= a << __builtin_ctzll(b);
    return product;
#endif
}

// pext (Deposit false: the bits of value under mask, packed low) and pdep
// (Deposit true: the low bits of value spread under mask) as instructions of
// their own, so that the code around them needs no BMI2 to compile or to run
// on a host without it: only a caller that checked HostHasBmi2 reaches them.
template <bool Deposit>
inline uint64_t PermuteBits(uint64_t value, uint64_t mask)
{
    uint64_t bits = 0;
#if defined(__x86_64__)
    if constexpr (Deposit)
        __asm__("pdepq %2, %1, %0" : "=r"(bits) : "r"(value), "r"(mask));
    else
        __asm__("pextq %2, %1, %0" : "=r"(bits) : "r"(value), "r"(mask));
#else
    for (uint64_t packed = 1; mask; mask &= mask - 1, packed <<= 1) {
        const uint64_t spread = mask & -mask;
        if (value & (Deposit ? packed : spread))
            bits |= Deposit ? spread : packed;
    }
#endif
    return bits;
}

inline uint64_t ExtractBits(uint64_t value, uint64_t mask)
{
    return PermuteBits<false>(value, mask);
}

inline uint64_t DepositBits(uint64_t value, uint64_t mask)
{
    return PermuteBits<true>(value, mask);
}

constexpr uint64_t SpreadNibbles(uint32_t packed)
{
    uint64_t x = packed;
    x = (x | x << 16) & 0x0000FFFF0000FFFFull;
    x = (x | x << 8) & 0x00FF00FF00FF00FFull;
    return (x | x << 4) & 0x0F0F0F0F0F0F0F0Full;
}

constexpr uint32_t GatherNibbles(uint64_t bytes)
{
    uint64_t x = bytes & 0x0F0F0F0F0F0F0F0Full;
    x = (x | x >> 4) & 0x00FF00FF00FF00FFull;
    x = (x | x >> 8) & 0x0000FFFF0000FFFFull;
    return static_cast<uint32_t>(x | x >> 16);
}

// The first count (1 to 8) nibble bytes of a word, packed, and eight
// nibbles spread to bytes: one pext or pdep where the host has them.
[[gnu::always_inline]] inline uint32_t GatherNibbleWord(uint64_t bytes, unsigned count)
{
    const uint64_t mask = 0x0F0F0F0F0F0F0F0Full >> (64 - 8 * count);
    if (HostHasBmi2) [[likely]]
        return static_cast<uint32_t>(ExtractBits(bytes, mask));
    return GatherNibbles(bytes & mask);
}

[[gnu::always_inline]] inline uint64_t SpreadNibbleWord(uint32_t packed)
{
    if (HostHasBmi2) [[likely]]
        return DepositBits(packed, 0x0F0F0F0F0F0F0F0Full);
    return SpreadNibbles(packed);
}

// Nibble bytes 8 * half to 8 * half + 7 as one word, and back.
inline uint64_t LoadNibbleBytes(const NibbleRegister& r, unsigned half)
{
    uint64_t bytes;
    std::memcpy(&bytes, r.Nibbles + 8 * half, sizeof bytes);
    return bytes;
}

inline void StoreNibbleBytes(NibbleRegister& r, unsigned half, uint64_t bytes)
{
    std::memcpy(r.Nibbles + 8 * half, &bytes, sizeof bytes);
}

// All sixteen nibble bytes as the 64-bit value, and back: with SSE2 in a
// handful of vector steps (pairs of bytes merge within 16-bit lanes, then
// the lanes narrow to bytes), else as two halves.
#if defined(__SSE2__)
// A register's nibble bytes with each pair of bytes merged into the low byte
// of its 16-bit lane: packing narrows the lanes to bytes.
inline __m128i NibbleBytePairs(const NibbleRegister& r)
{
    const __m128i bytes = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(r.Nibbles)),
                                        _mm_set1_epi8(0x0F));
    return _mm_and_si128(_mm_or_si128(bytes, _mm_srli_epi16(bytes, 4)), _mm_set1_epi16(0x00FF));
}

// The low and the high nibble of each byte of packed words: interleaved,
// they are the nibble bytes.
inline __m128i LowNibbles(__m128i words)
{
    return _mm_and_si128(words, _mm_set1_epi8(0x0F));
}

inline __m128i HighNibbles(__m128i words)
{
    return _mm_and_si128(_mm_srli_epi16(words, 4), _mm_set1_epi8(0x0F));
}
#endif

inline uint64_t PackNibbleBytes(const NibbleRegister& r)
{
#if defined(__SSE2__)
    const __m128i pairs = NibbleBytePairs(r);
    return static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_packus_epi16(pairs, pairs)));
#else
    return uint64_t{GatherNibbles(LoadNibbleBytes(r, 1))} << 32 | GatherNibbles(LoadNibbleBytes(r, 0));
#endif
}

inline void UnpackNibbleBytes(NibbleRegister& r, uint64_t value)
{
#if defined(__SSE2__)
    const __m128i word = _mm_cvtsi64_si128(static_cast<long long>(value));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(r.Nibbles), _mm_unpacklo_epi8(LowNibbles(word), HighNibbles(word)));
#else
    StoreNibbleBytes(r, 0, SpreadNibbles(static_cast<uint32_t>(value)));
    StoreNibbleBytes(r, 1, SpreadNibbles(static_cast<uint32_t>(value >> 32)));
#endif
}

// 20-bit field A of a working register in its live form.
inline uint32_t ReadFieldAHex(const NibbleRegister& r)
{
    return r.PackedLow & 0xFFFFF;
}

inline uint32_t ReadFieldADec(const NibbleRegister& r)
{
    return GatherNibbleWord(LoadNibbleBytes(r, 0), 5);
}

inline void WriteFieldAHex(NibbleRegister& r, uint32_t value)
{
    r.PackedLow = (r.PackedLow & ~0xFFFFFu) | (value & 0xFFFFF);
}

// Bytes 0 to 4 take the value; bytes 5 to 7 keep theirs.
inline void WriteFieldADec(NibbleRegister& r, uint32_t value)
{
    constexpr uint64_t fieldBytes = 0x000000FFFFFFFFFFull;
    StoreNibbleBytes(r, 0, (LoadNibbleBytes(r, 0) & ~fieldBytes) | (SpreadNibbleWord(value) & fieldBytes));
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
    if constexpr (Decimal)
        return PackNibbleBytes(r);
    else
        return (uint64_t{r.PackedHigh} << 32) | r.PackedLow;
}

template <bool Decimal>
inline void WriteWord(NibbleRegister& r, uint64_t value)
{
    if constexpr (Decimal) {
        UnpackNibbleBytes(r, value);
    } else {
        r.PackedLow = static_cast<uint32_t>(value);
        r.PackedHigh = static_cast<uint32_t>(value >> 32);
    }
}

// Two registers' nibble bytes to their packed words, and back. The mode
// switches convert all four working registers, and with SSE2 two of them go
// through one vector.
inline void PackNibbleBytePair(NibbleRegister& a, NibbleRegister& b)
{
#if defined(__SSE2__)
    const __m128i packed = _mm_packus_epi16(NibbleBytePairs(a), NibbleBytePairs(b));
    WriteWord<false>(a, static_cast<uint64_t>(_mm_cvtsi128_si64(packed)));
    WriteWord<false>(b, static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(packed, packed))));
#else
    WriteWord<false>(a, PackNibbleBytes(a));
    WriteWord<false>(b, PackNibbleBytes(b));
#endif
}

inline void UnpackNibbleBytePair(NibbleRegister& a, NibbleRegister& b)
{
#if defined(__SSE2__)
    const __m128i words =
        _mm_set_epi64x(static_cast<long long>(ReadWord<false>(b)), static_cast<long long>(ReadWord<false>(a)));
    const __m128i even = LowNibbles(words);
    const __m128i odd = HighNibbles(words);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(a.Nibbles), _mm_unpacklo_epi8(even, odd));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(b.Nibbles), _mm_unpackhi_epi8(even, odd));
#else
    UnpackNibbleBytes(a, ReadWord<false>(a));
    UnpackNibbleBytes(b, ReadWord<false>(b));
#endif
}

// The return stack: a ring of eight with no depth count. Both call the
// debugging hook first (1 before a push, 2 before a pop). Inline, since
// every call and return runs them. GOSUB and the returns take the forms
// that skip the hook while none is set (DebuggingHackSet), so that their
// plain path calls nothing and needs no frame.
inline bool DebuggingHackSet()
{
    return DebuggingHackHandler.load(std::memory_order_relaxed) != nullptr;
}

template <bool Told = true>
inline void PushReturnStack(uint32_t value)
{
    if constexpr (Told)
        NotifyDebuggingHack(HackPush);
    Cpu.RSTK[Cpu.RstkIndex] = value;
    Cpu.RstkIndex = (Cpu.RstkIndex + 1) & 7;
}

template <bool Told = true>
inline uint32_t PopReturnStack()
{
    if constexpr (Told)
        NotifyDebuggingHack(HackPop);
    Cpu.RstkIndex = (Cpu.RstkIndex - 1) & 7;
    const uint32_t value = Cpu.RSTK[Cpu.RstkIndex];
    Cpu.RSTK[Cpu.RstkIndex] = 0;
    return value;
}

// SETHEX and SETDEC: convert A to D to the other form and switch the
// dispatch table; nothing happens when the machine is already in that mode.
void SwitchToHex();
void SwitchToDecimal();

void SetOut(uint16_t value);

uint32_t GetRegister(uint32_t index);
void SetRegister(uint32_t index, uint32_t value);

} // namespace korvane
#pragma GCC visibility pop
