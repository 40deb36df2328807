// Add and subtract a constant (818fsn): A=A+k to D=D+k (s 0-3) and A=A-k to
// D=D-k (s 8-B) on field f, k = n + 1 from 1 to 16. One leaf per mode,
// register, field, direction and constant, reached through SubDecode818 and
// the level that reads n.
//
// The digits are hexadecimal in both modes, and Carry is written every time.
// A field of several nibbles ends at its top nibble. A field of one nibble
// (P, XS, S, and WP while P is 0) does not: a carry or borrow out of it runs
// on upward, wraps from nibble 15 to 0 and comes back to the field's own
// nibble as a seventeenth position, and only a carry out of that one sets
// Carry.
#include <array>
#include <cstdint>

#include "engine/core/cpu_state.h"
#include "engine/core/fields.h"
#include "engine/decode/leaves.h"

namespace korvane {

namespace {

enum class Direction { Add, Subtract };

// Nibbles low to high of the 64-bit value, where a field of several nibbles
// lies; the constant enters at its lowest nibble.
template <Direction D>
bool ApplyToSpan(uint64_t& value, unsigned low, unsigned high, uint64_t k)
{
    const uint64_t mask = (~uint64_t{0} >> (60 - 4 * high)) & (~uint64_t{0} << (4 * low));
    const uint64_t field = value & mask;
    const uint64_t step = k << (4 * low);
    uint64_t result;
    bool out;
    if constexpr (D == Direction::Add) {
        result = field + step;
        out = result > mask || result < field; // a W-wide field wraps the 64 bits instead
    } else {
        result = field - step;
        out = field < step;
    }
    value = (value & ~mask) | (result & mask);
    return out;
}

// The seventeen positions of a one-nibble field at nibble j: j to 15 are
// taken as one number, shifted down so that k = 16 at nibble 15 cannot leave
// the 64 bits; a carry out of nibble 15 goes into nibbles 0 to j, whose top
// nibble is the field's own nibble once more.
template <Direction D>
bool ApplyToRing(uint64_t& value, unsigned j, uint64_t k)
{
    const unsigned shift = 4 * j;
    const uint64_t upperMask = ~uint64_t{0} >> shift;
    const uint64_t upper = value >> shift;
    uint64_t result;
    bool out;
    if constexpr (D == Direction::Add) {
        result = upper + k;
        out = result > upperMask || result < upper;
    } else {
        result = upper - k;
        out = upper < k;
    }
    value = (value & ~(~uint64_t{0} << shift)) | ((result & upperMask) << shift);
    if (!out)
        return false;

    const uint64_t partMask = ~uint64_t{0} >> (60 - shift);
    const uint64_t part = value & partMask;
    const uint64_t updated = D == Direction::Add ? part + 1 : part - 1;
    value = (value & ~partMask) | (updated & partMask);
    return D == Direction::Add ? part == partMask : part == 0;
}

// The packed words as one 64-bit value: no loop over nibbles.
template <Reg R, Field F, Direction D, unsigned K>
void OpConstantHex()
{
    NibbleRegister& r = Working<R>();
    uint64_t value = (uint64_t{r.PackedHigh} << 32) | r.PackedLow;
    const unsigned low = FieldLow<F>();
    const unsigned high = FieldHigh<F>();
    const bool out = low == high ? ApplyToRing<D>(value, low, K) : ApplyToSpan<D>(value, low, high, K);
    r.PackedLow = static_cast<uint32_t>(value);
    r.PackedHigh = static_cast<uint32_t>(value >> 32);
    Cpu.Carry = out ? 1 : 0;
    Cpu.PC += 6;
    Cpu.SliceCycles += (D == Direction::Add ? 32 : 34) + 4 * K;
}

// The nibble bytes, walked from the first position to the first one that
// does not carry or borrow.
template <Reg R, Field F, Direction D, unsigned K>
void OpConstantDec()
{
    uint8_t* nibbles = Working<R>().Nibbles;
    const unsigned low = FieldLow<F>();
    const unsigned high = FieldHigh<F>();
    const unsigned positions = low == high ? 17 : high - low + 1;
    unsigned amount = K;
    bool out = true;
    for (unsigned i = 0; i < positions; ++i) {
        uint8_t& nibble = nibbles[(low + i) & 15];
        const int d = D == Direction::Add ? nibble + static_cast<int>(amount) : nibble - static_cast<int>(amount);
        if (d >= 0 && d <= 15) {
            nibble = static_cast<uint8_t>(d);
            out = false;
            break;
        }
        nibble = static_cast<uint8_t>(D == Direction::Add ? d - 16 : d + 16);
        amount = 1;
    }
    Cpu.Carry = out ? 1 : 0;
    Cpu.PC += 6;
    Cpu.SliceCycles += (D == Direction::Add ? 32 : 34) + 4 * K;
}

// 818fsn: the constant n + 1 is nibble 5, read only once s has named an
// instruction.
template <bool Decimal, Field F, Reg R, Direction D>
void ConstantLevel()
{
    static constexpr LeafRow leaves = LeafRowOf([](auto n) -> InstructionHandler {
        if constexpr (Decimal)
            return &OpConstantDec<R, F, D, decltype(n)::value + 1>;
        else
            return &OpConstantHex<R, F, D, decltype(n)::value + 1>;
    });
    leaves[OperandNibble(5)]();
}

// 818fs on one field, by s.
template <bool Decimal, Field F>
constexpr LeafRow SelectorsOn()
{
    return {
        &ConstantLevel<Decimal, F, Reg::A, Direction::Add>,      // 818f0n  A=A+n+1
        &ConstantLevel<Decimal, F, Reg::B, Direction::Add>,      // 818f1n  B=B+n+1
        &ConstantLevel<Decimal, F, Reg::C, Direction::Add>,      // 818f2n  C=C+n+1
        &ConstantLevel<Decimal, F, Reg::D, Direction::Add>,      // 818f3n  D=D+n+1
        &OpNoInstruction,                                        // 818f4
        &OpNoInstruction,                                        // 818f5
        &OpNoInstruction,                                        // 818f6
        &OpNoInstruction,                                        // 818f7
        &ConstantLevel<Decimal, F, Reg::A, Direction::Subtract>, // 818f8n  A=A-n-1
        &ConstantLevel<Decimal, F, Reg::B, Direction::Subtract>, // 818f9n  B=B-n-1
        &ConstantLevel<Decimal, F, Reg::C, Direction::Subtract>, // 818fAn  C=C-n-1
        &ConstantLevel<Decimal, F, Reg::D, Direction::Subtract>, // 818fBn  D=D-n-1
        &OpNoInstruction,                                        // 818fC
        &OpNoInstruction,                                        // 818fD
        &OpNoInstruction,                                        // 818fE
        &OpNoInstruction,                                        // 818fF
    };
}

template <bool Decimal>
consteval LeafTable<16, 16> SelectorsByField()
{
    return RowsByFieldCode([](auto field) { return SelectorsOn<Decimal, decltype(field)::value>(); });
}

} // namespace

constinit const LeafTable<2, 16, 16> ConstantArithmeticLeaves = {SelectorsByField<false>(), SelectorsByField<true>()};

} // namespace korvane
