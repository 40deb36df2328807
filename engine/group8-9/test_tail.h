// The ending that every test instruction shares: the outcome goes to Carry,
// and a true outcome either jumps by the two-nibble offset that follows the
// opcode (GOYES) or, with offset 00, returns (RTNYES).
#pragma once

#include <cstdint>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/fields.h"

namespace korvane {

// Base cost of the register tests on a field: 34 + 4 per nibble, so that
// WP follows the current P.
template <Field F>
inline uint32_t FieldTestCost()
{
    return 34 + 4 * FieldLength<F>();
}

// k is the number of opcode nibbles before the offset field. The steps keep
// their order because the debugging hook watches the RTNYES pop: it sees PC
// at the offset field and the taken cycles already counted, the base not yet.
inline void TestBranchTail(bool condition, unsigned k, uint32_t baseCost)
{
    Cpu.Carry = condition ? 1 : 0;
    if (condition)
        Cpu.SliceCycles += 32;
    Cpu.PC += k;
    if (condition) {
        // Both offset nibbles are masked: a stray tag bit must not bend the jump.
        const uint32_t byte = OperandNibble(k) | OperandNibble(k + 1) << 4;
        if (byte != 0)
            Cpu.PC = (Cpu.PC + static_cast<uint32_t>(static_cast<int8_t>(byte))) & 0xFFFFF;
        else
            Cpu.PC = PopReturnStack(); // unmasked: the routine sentinel must come back whole
    } else {
        Cpu.PC += 2;
    }
    Cpu.SliceCycles += baseCost;
}

} // namespace korvane
