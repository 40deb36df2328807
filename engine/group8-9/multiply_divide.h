// The engine's multiply and divide extension, 81B8-81BB: C by A over the
// whole register or over field A, in binary in both modes. A never changes.
// Leaves of the 81B stub.
#pragma once

#include <cstdint>

#include "engine/core/cpu_state.h"

namespace korvane {

// Unsigned arithmetic wraps, so the low 64 bits come out whatever the signs.
template <bool Decimal>
void OpMultiplyWord()
{
    WriteWord<Decimal>(Cpu.C, ReadWord<Decimal>(Cpu.C) * ReadWord<Decimal>(Cpu.A));
    Cpu.PC += 4;
    Cpu.SliceCycles += 21;
}

template <bool Decimal>
void OpMultiplyAddress()
{
    const uint64_t product = uint64_t{ReadFieldA<Decimal>(Cpu.C)} * ReadFieldA<Decimal>(Cpu.A);
    WriteFieldA<Decimal>(Cpu.C, static_cast<uint32_t>(product & 0xFFFFF));
    Cpu.PC += 4;
    Cpu.SliceCycles += 10;
}

// Signed. The two cases C++ leaves undefined get the machine's answers: a
// zero divisor gives all ones in the low word only, and the most negative
// value divided by -1 stays as it is.
template <bool Decimal>
void OpDivideWord()
{
    const uint64_t dividend = ReadWord<Decimal>(Cpu.C);
    const uint64_t divisor = ReadWord<Decimal>(Cpu.A);
    uint64_t quotient;
    if (divisor == 0)
        quotient = 0x00000000FFFFFFFF;
    else if (dividend == 0x8000000000000000 && divisor == ~uint64_t{0})
        quotient = dividend;
    else
        quotient = static_cast<uint64_t>(static_cast<int64_t>(dividend) / static_cast<int64_t>(divisor));
    WriteWord<Decimal>(Cpu.C, quotient);
    Cpu.PC += 4;
    Cpu.SliceCycles += 21;
}

// Unsigned; a zero divisor gives all ones in the field.
template <bool Decimal>
void OpDivideAddress()
{
    const uint32_t divisor = ReadFieldA<Decimal>(Cpu.A);
    const uint32_t quotient = divisor == 0 ? 0xFFFFF : ReadFieldA<Decimal>(Cpu.C) / divisor;
    WriteFieldA<Decimal>(Cpu.C, quotient);
    Cpu.PC += 4;
    Cpu.SliceCycles += 10;
}

} // namespace korvane
