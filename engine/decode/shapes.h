// What the code cache needs to know of an instruction before it runs it:
// the work the threaded loop does itself, with its operands decoded, or
// else which handler to call and how PC moves on after it. Read from the
// instruction's first eight nibble bytes, through the same tables as the
// dispatch, so that a called handler is the very one the reference path
// would run, and the loop's own work does what that handler does.
#pragma once

#include <cstdint>

#include "engine/core/dispatch.h"

#pragma GCC visibility push(hidden)
namespace korvane {

// How a called handler goes on.
enum class Flow : uint8_t {
    // Adds Length to PC, reads no nibble after the opcode, touches no memory.
    Straight,
    // As Straight, reading operand nibbles through FetchPointer.
    Operands,
    // As Straight, through the memory controller: a module's function may
    // post a request, change the memory map or call out of the engine.
    Memory,
    // Sets PC itself (jumps, calls, returns, tests), and may tell the
    // debugging hook; reads its operands through FetchPointer.
    Transfer,
    // Anything else, run as the reference dispatch runs it: the tagged
    // instructions, the mode switches, the memory configuration, keyboard
    // scans, SHUTDN, RTI and the selectors that name no instruction.
    Reference,
};

// The work the loop does itself. Each names the handler family it stands
// in for; what it needs of the instruction is in Operand, Target and
// Source. The register forms are the live ones: the packed words in
// hexadecimal mode, the nibble bytes in decimal mode, where the loop does
// only the field moves, clears, exchanges and equality tests, on the fields
// within the first eight nibbles, and no arithmetic or transfers.
enum class Work : uint8_t {
    Call, // none: the handler is called, and goes on as Kind says

    // Groups A to F on a field of fixed place (Operand: its mask over the
    // live form's 64-bit value; Target, Source: the packed registers, or for the
    // increment and decrement the field's lowest nibble's 1 as Source). The
    // order is the loop's.
    AddField,          // OpAdd: Target += Source
    SubtractField,     // OpSub: Target -= Source
    SubtractFromField, // OpSub as r=s-r: Target = Source - Target
    IncrementField,    // OpInc
    DecrementField,    // OpDec
    ClearField,        // OpEq0
    CopyField,         // OpEq: Target = Source
    ExchangeField,     // OpEx

    StepPointer, // OpPointerAdd, OpPointerSubtract (Target: D0 or D1; Operand: the step, as a 32-bit two's complement)
    LoadPointer, // OpPointerLoad (Target: D0 or D1; Operand: the nibbles low, the mask of the nibbles kept high)
    SetP,        // OpPSet (Operand: P)
    SwitchMode,  // OpSetHex, OpSetDec (Variant: 1 for decimal)
    SetStatus,   // OpAssignStatus (Operand: the bit's mask; Variant: 1 to set)
    LoadC,       // OpLc of at most six nibbles (Operand: the constant; Branch: its mask)

    // 14x and 15xy on field A, B or W or on 2, 5, 8 or 16 nibbles from
    // nibble 0 (Target: A or C, packed; Source: D0 or D1; Variant: the
    // nibbles; Handler: the instruction's own, for the nibbles that do not
    // lie in one plain page).
    ReadNibbles,
    WriteNibbles,

    // The jumps, calls and returns. Branch: the target less the
    // instruction's address where it is relative, Operand the target where
    // it is absolute; a call pushes the address Length after the instruction.
    BranchOnCarry, // OpBranchOnCarry but the returns (Variant: the carry that branches)
    Goto,          // OpGoto, OpGoLong
    GoVeryLong,    // OpGoVeryLong
    Gosub,         // OpGosub, OpGosubLong (Operand: the return address less the instruction's)
    GosubVeryLong, // OpGosubVeryLong
    Return,        // OpReturn but RTI (Variant: the ReturnKind)
    JumpThroughMemory, // OpJumpThroughMemory (Target: A or C, packed; Variant: 1 to tell the hook)

    // The tests with a GOYES offset, Branch from the instruction to its
    // target and Length to the instruction after it; Cost is the base cost.
    TestFields,  // OpTestPair, OpTestZero on a field of fixed place (Operand: the mask; Source: null for the zero tests; Variant: 1 if true when equal)
    TestStatus,  // OpTestStatus (Operand: the bit's mask; Variant: 1 if true when set)
    TestPointer, // OpTestPointer (Operand: n; Variant: 1 if true when P is n)
    TestHst,     // OpTestHst (Operand: the mask)
};

struct InstructionShape {
    Flow Kind = Flow::Reference;
    Work Job = Work::Call;
    uint8_t Length = 0; // the nibbles PC advances by, where it does
    uint8_t Variant = 0;
    uint16_t Cost = 0;  // the cycles of the loop's own work
    int32_t Branch = 0;
    InstructionHandler Handler = nullptr; // the leaf, past any decode stub
    uint64_t Operand = 0;
    void* Target = nullptr;
    const void* Source = nullptr;
};

// bytes: the eight nibble bytes from the instruction's first one, the first
// in the low byte.
InstructionShape DescribeInstruction(uint64_t bytes, bool decimal);

} // namespace korvane
#pragma GCC visibility pop
