// Scratch-register field transfers, 81Afon: one field moved between A or C
// and R0 to R4 (copy in, copy out, exchange), reached through SubDecode81A
// and the level that reads n. The scratch registers are packed in both
// modes; only the working register's form follows the mode.
#include <cstdint>

#include "engine/core/cpu_state.h"
#include "engine/core/fields.h"
#include "engine/decode/leaves.h"

namespace korvane {

namespace {

enum class ScratchOp { ToScratch, FromScratch, Exchange };

template <bool Decimal, Field F, ScratchOp O, Reg W, unsigned N>
void OpScratchField()
{
    NibbleRegister& x = Working<W>();
    ScratchRegister& r = Cpu.R[N];
    if constexpr (Decimal) {
        uint64_t scratch = uint64_t{r.High} << 32 | r.Low;
        const unsigned hi = FieldHigh<F>();
        for (unsigned k = FieldLow<F>(); k <= hi; ++k) {
            const unsigned shift = 4 * k;
            // Taken before the merge so that an exchange sees the old nibble;
            // each byte gets one nibble and nothing of its neighbours.
            const uint8_t old = static_cast<uint8_t>((scratch >> shift) & 15);
            if constexpr (O != ScratchOp::FromScratch)
                scratch = (scratch & ~(uint64_t{15} << shift)) | uint64_t{x.Nibbles[k] & 15u} << shift;
            if constexpr (O != ScratchOp::ToScratch)
                x.Nibbles[k] = old;
        }
        if constexpr (O != ScratchOp::FromScratch) {
            r.Low = static_cast<uint32_t>(scratch);
            r.High = static_cast<uint32_t>(scratch >> 32);
        }
    } else {
        const FieldMask m = MaskOf<F>();
        const uint32_t xLow = x.PackedLow;
        const uint32_t xHigh = x.PackedHigh;
        const uint32_t rLow = r.Low;
        const uint32_t rHigh = r.High;
        if constexpr (O != ScratchOp::FromScratch) {
            r.Low = (rLow & ~m.Low) | (xLow & m.Low);
            r.High = (rHigh & ~m.High) | (xHigh & m.High);
        }
        if constexpr (O != ScratchOp::ToScratch) {
            x.PackedLow = (xLow & ~m.Low) | (rLow & m.Low);
            x.PackedHigh = (xHigh & ~m.High) | (rHigh & m.High);
        }
    }
    Cpu.PC += 6;
    Cpu.SliceCycles += 36 + 4 * FieldLength<F>();
}

// Register code n: bit 3 picks C over A; 5 to 7 name R1 to R3 again.
constexpr Reg WorkingOfCode(unsigned n)
{
    return (n & 8) ? Reg::C : Reg::A;
}

constexpr unsigned ScratchOfCode(unsigned n)
{
    return (n & 7) <= 4 ? (n & 7) : (n & 7) - 4;
}

// 81Afon: the register pair n is nibble 5, read only once o has named an
// instruction.
template <bool Decimal, Field F, ScratchOp O>
void ScratchFieldLevel()
{
    static constexpr LeafRow leaves = LeafRowOf([](auto n) -> InstructionHandler {
        constexpr unsigned code = decltype(n)::value;
        return &OpScratchField<Decimal, F, O, WorkingOfCode(code), ScratchOfCode(code)>;
    });
    leaves[OperandNibble(5)]();
}

// 81Afo on one field, by o.
template <bool Decimal, Field F>
constexpr LeafRow OperationsOn()
{
    return {
        &ScratchFieldLevel<Decimal, F, ScratchOp::ToScratch>,   // 81Af0n  Rn=A.f  Rn=C.f
        &ScratchFieldLevel<Decimal, F, ScratchOp::FromScratch>, // 81Af1n  A=Rn.f  C=Rn.f
        &ScratchFieldLevel<Decimal, F, ScratchOp::Exchange>,    // 81Af2n  ARnEX.f CRnEX.f
        &OpNoInstruction,                                       // 81Af3
        &OpNoInstruction,                                       // 81Af4
        &OpNoInstruction,                                       // 81Af5
        &OpNoInstruction,                                       // 81Af6
        &OpNoInstruction,                                       // 81Af7
        &OpNoInstruction,                                       // 81Af8
        &OpNoInstruction,                                       // 81Af9
        &OpNoInstruction,                                       // 81AfA
        &OpNoInstruction,                                       // 81AfB
        &OpNoInstruction,                                       // 81AfC
        &OpNoInstruction,                                       // 81AfD
        &OpNoInstruction,                                       // 81AfE
        &OpNoInstruction,                                       // 81AfF
    };
}

template <bool Decimal>
consteval LeafTable<16, 16> OperationsByField()
{
    return RowsByFieldCode([](auto field) { return OperationsOn<Decimal, decltype(field)::value>(); });
}

} // namespace

constinit const LeafTable<2, 16, 16> ScratchFieldLeaves = {OperationsByField<false>(), OperationsByField<true>()};

} // namespace korvane
