// The loop runs each entry at a label of its own kind, and each label ends
// in a copy of the dispatch: compare the next entry's bytes with the host's,
// then jump to its label. The common instructions are done in the label
// itself, from operands decoded once: a call and its return cost the host
// more than such an instruction's work. The rest call their handler.
//
// Between instructions the loop keeps in registers the decoded page, its
// host page, the nibble offset, the address of the page's first nibble (PC
// is the two added) and the count with the cycles; it writes them where the
// handlers and the callers keep them before anything may look (a handler
// that reads PC or may call out of the engine, and the loop's end), so that
// those find the machine exact after every instruction.
#include "engine/core/threaded.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "engine/core/code_cache.h"
#include "engine/core/cpu_state.h"
#include "engine/core/hooks.h"
#include "engine/core/interrupts.h"
#include "engine/core/memory.h"
#include "engine/decode/shapes.h"
#include "engine/groupA-F/field_instruction.h"

namespace korvane {

uint32_t SliceInstructionsLeft;

namespace {

inline uint64_t HostBytes(const uint8_t* host, size_t offset)
{
    uint64_t bytes;
    std::memcpy(&bytes, host + offset, sizeof bytes);
    return bytes;
}

// A working register's packed words as one value.
inline uint64_t LoadPacked(const void* r)
{
    uint64_t value;
    std::memcpy(&value, r, sizeof value);
    return value;
}

inline void StorePacked(void* r, uint64_t value)
{
    std::memcpy(r, &value, sizeof value);
}

inline void StoreField(void* r, uint64_t mask, uint64_t value)
{
    StorePacked(r, (LoadPacked(r) & ~mask) | (value & mask));
}

// --- The work of groups A to F, as their hexadecimal handlers do it -------

// Each reads the register once and writes it once; the field's carry is
// the bit above it, or the wrap of the 64 bits for a field that ends at
// nibble 15 (Wide).
template <bool Wide>
[[gnu::always_inline]] inline void AddField(void* target, const void* source, uint64_t mask)
{
    const uint64_t old = LoadPacked(target);
    const uint64_t addend = old & mask;
    const uint64_t sum = addend + (LoadPacked(source) & mask);
    Cpu.Carry = Wide ? sum < addend : sum > mask;
    StorePacked(target, (old & ~mask) | (sum & mask));
}

[[gnu::always_inline]] inline void SubtractField(void* target, const void* minuend, const void* subtrahend,
                                                 uint64_t mask)
{
    const uint64_t old = LoadPacked(target);
    const uint64_t a = (minuend == target ? old : LoadPacked(minuend)) & mask;
    const uint64_t b = (subtrahend == target ? old : LoadPacked(subtrahend)) & mask;
    Cpu.Carry = a < b;
    StorePacked(target, (old & ~mask) | ((a - b) & mask));
}

// unit: the field's lowest nibble's 1.
template <bool Wide>
[[gnu::always_inline]] inline void IncrementField(void* target, uint64_t mask, uint64_t unit)
{
    const uint64_t old = LoadPacked(target);
    const uint64_t addend = old & mask;
    const uint64_t sum = addend + unit;
    Cpu.Carry = Wide ? sum < addend : sum > mask;
    StorePacked(target, (old & ~mask) | (sum & mask));
}

[[gnu::always_inline]] inline void DecrementField(void* target, uint64_t mask, uint64_t unit)
{
    const uint64_t old = LoadPacked(target);
    const uint64_t value = old & mask;
    Cpu.Carry = value == 0;
    StorePacked(target, (old & ~mask) | ((value - unit) & mask));
}

[[gnu::always_inline]] inline void ExchangeField(void* target, void* source, uint64_t mask)
{
    const uint64_t r = LoadPacked(target);
    const uint64_t s = LoadPacked(source);
    StorePacked(target, (r & ~mask) | (s & mask));
    StorePacked(source, (s & ~mask) | (r & mask));
}

// --- Memory transfers through a plain page ---------------------------------

// Count nibbles at the pointer into the register's low nibbles, where they
// lie in one plain page; false leaves everything to the handler.
template <unsigned Count>
[[gnu::always_inline]] inline bool ReadPlain(void* target, const void* pointer)
{
    uint32_t address;
    std::memcpy(&address, pointer, sizeof address);
    const uint32_t offset = address & (PageSize - 1);
    const uint8_t* page = Memory.Pages.Read[PageOf(address)];
    if (!page || offset + Count > PageSize) [[unlikely]]
        return false;
    const uint64_t value = GatherNibbleBytes(page + offset, Count);
    CrcRegister = CrcOfNibbles(CrcRegister, value, Count);
    constexpr uint64_t mask = Count == 16 ? ~uint64_t{0} : (uint64_t{1} << (4 * Count)) - 1;
    StoreField(target, mask, value);
    return true;
}

template <unsigned Count>
[[gnu::always_inline]] inline bool WritePlain(const void* source, const void* pointer)
{
    uint32_t address;
    std::memcpy(&address, pointer, sizeof address);
    const uint32_t offset = address & (PageSize - 1);
    uint8_t* page = Memory.Pages.Write[PageOf(address)];
    if (!page || offset + Count > PageSize) [[unlikely]]
        return false;
    ScatterNibbleBytes(page + offset, Count, LoadPacked(source));
    return true;
}

// --- Registers by number, for the labels that name them --------------------

// The working register, A to D, whose packed form is at the address, or 4.
unsigned WorkingRegisterOf(const void* target)
{
    const void* const packed[] = {&Cpu.A.PackedLow, &Cpu.B.PackedLow, &Cpu.C.PackedLow, &Cpu.D.PackedLow};
    return static_cast<unsigned>(std::find(std::begin(packed), std::end(packed), target) - std::begin(packed));
}

// The packed form of the register that an exchange pairs with A to D.
const void* PartnerOf(unsigned target)
{
    const void* const partners[] = {&Cpu.B.PackedLow, &Cpu.C.PackedLow, &Cpu.A.PackedLow, &Cpu.C.PackedLow};
    return partners[target];
}

// --- The return stack, for the calls and returns done here ----------------

inline void Push(uint32_t value)
{
    Cpu.RSTK[Cpu.RstkIndex] = value;
    Cpu.RstkIndex = (Cpu.RstkIndex + 1) & 7;
}

inline uint32_t Pop()
{
    Cpu.RstkIndex = (Cpu.RstkIndex - 1) & 7;
    const uint32_t value = Cpu.RSTK[Cpu.RstkIndex];
    Cpu.RSTK[Cpu.RstkIndex] = 0;
    return value;
}

// The five nibbles stored at an address, read the way code is fetched.
inline uint32_t StoredAddress(uint32_t address)
{
    return GatherNibbleWord(HostBytes(Memory.Pages.Fetch[PageOf(address)], address & (PageSize - 1)), 5);
}

} // namespace

// The entry at the offset runs if its bytes are still the host's; an entry
// past the page's end never was decoded and leads back to PC.
#define KORVANE_RUN_ENTRY()                                                                                            \
    do {                                                                                                               \
        if (HostBytes(host, offset) != page->Bytes[offset]) [[unlikely]]                                               \
            goto relocate;                                                                                             \
        goto* page->Labels[offset];                                                                                    \
    } while (false)

// On to the instruction length nibbles on, this one counted.
#define KORVANE_ADVANCE(length)                                                                                        \
    do {                                                                                                               \
        offset += length;                                                                                              \
        if (tally >= 0) [[unlikely]]                                                                                   \
            goto chunkDone;                                                                                            \
        KORVANE_RUN_ENTRY();                                                                                           \
    } while (false)

// The instruction counted with its cycles, then the one length nibbles on.
#define KORVANE_NEXT(length)                                                                                           \
    do {                                                                                                               \
        tally += page->Costs[offset];                                                                                  \
        KORVANE_ADVANCE(length);                                                                                       \
    } while (false)

// After a jump, call or return, counted with its cycles: a request from
// another thread is decided after it. A target within the page needs no
// look-up.
#define KORVANE_JUMP(target)                                                                                           \
    do {                                                                                                               \
        const uint32_t destination = (target);                                                                         \
        if (InterruptPending() && !routine) [[unlikely]] {                                                             \
            tally -= CountedInstruction;                                                                               \
            Cpu.PC = destination;                                                                                      \
            goto leaveAtPc;                                                                                            \
        }                                                                                                              \
        const uint32_t within = destination - pageAddress;                                                             \
        if (tally >= 0 || within >= PageSize) [[unlikely]] {                                                           \
            Cpu.PC = destination;                                                                                      \
            goto afterJump;                                                                                            \
        }                                                                                                              \
        offset = within;                                                                                               \
        KORVANE_RUN_ENTRY();                                                                                           \
    } while (false)

// A handler that does all of its instruction and adds length to PC; the
// loop counts it, its cycles being in memory already.
#define KORVANE_CALLED(label, length)                                                                                  \
    label:                                                                                                             \
    reinterpret_cast<InstructionHandler>(page->Operands[offset])();                                                    \
    tally += CountedInstruction;                                                                                       \
    KORVANE_ADVANCE(length);

// Before a handler that may read PC or call out of the engine: PC and the
// cycles counted so far go where the handlers and the callers keep them.
#define KORVANE_STORE_PC_AND_CYCLES()                                                                                  \
    do {                                                                                                               \
        Cpu.PC = pageAddress + static_cast<uint32_t>(offset);                                                          \
        Cpu.SliceCycles += static_cast<uint32_t>(tally & CycleBits);                                                   \
        tally &= ~CycleBits;                                                                                           \
    } while (false)

#define KORVANE_FIELD(label, length, ...)                                                                              \
    label:                                                                                                             \
    __VA_ARGS__;                                                                                                       \
    KORVANE_NEXT(length);

#define KORVANE_FIELD_WORK(name, length, target, partner)                                                              \
    KORVANE_FIELD(add##name, length, AddField<false>(target, page->Sources[offset], page->Operands[offset]))           \
    KORVANE_FIELD(addWide##name, length, AddField<true>(target, page->Sources[offset], page->Operands[offset]))        \
    KORVANE_FIELD(subtract##name, length,                                                                              \
                  SubtractField(target, target, page->Sources[offset], page->Operands[offset]))                        \
    KORVANE_FIELD(subtractFrom##name, length,                                                                          \
                  SubtractField(target, page->Sources[offset], target, page->Operands[offset]))                        \
    KORVANE_FIELD(increment##name, length,                                                                             \
                  IncrementField<false>(target, page->Operands[offset],                                                \
                                        reinterpret_cast<uintptr_t>(page->Sources[offset])))                           \
    KORVANE_FIELD(incrementWide##name, length,                                                                         \
                  IncrementField<true>(target, page->Operands[offset],                                                 \
                                       reinterpret_cast<uintptr_t>(page->Sources[offset])))                            \
    KORVANE_FIELD(decrement##name, length,                                                                             \
                  DecrementField(target, page->Operands[offset], reinterpret_cast<uintptr_t>(page->Sources[offset])))  \
    KORVANE_FIELD(clear##name, length, StoreField(target, page->Operands[offset], 0))                                  \
    KORVANE_FIELD(copy##name, length, StoreField(target, page->Operands[offset], LoadPacked(page->Sources[offset])))   \
    KORVANE_FIELD(exchange##name, length, ExchangeField(target, partner, page->Operands[offset]))

// The field work once with the target from the entry, and once for each
// working register as the target, its address a constant: a store through
// an address that the entry holds is known late, and the host then holds
// back the loads after it, those that find the next jump's target among
// them. An exchange's partner is the one its target is paired with.
#define KORVANE_FIELD_WORKS(name, length)                                                                              \
    KORVANE_FIELD_WORK(name, length, page->Targets[offset], const_cast<void*>(page->Sources[offset]))                  \
    KORVANE_FIELD_WORK(name##A, length, &Cpu.A.PackedLow, &Cpu.B.PackedLow)                                            \
    KORVANE_FIELD_WORK(name##B, length, &Cpu.B.PackedLow, &Cpu.C.PackedLow)                                            \
    KORVANE_FIELD_WORK(name##C, length, &Cpu.C.PackedLow, &Cpu.A.PackedLow)                                            \
    KORVANE_FIELD_WORK(name##D, length, &Cpu.D.PackedLow, &Cpu.C.PackedLow)

// A transfer through a plain page, or its handler, as a memory access,
// where the page is not plain or the nibbles leave it.
#define KORVANE_TRANSFER(label, plain, count, length, reg, pointer)                                                    \
    label:                                                                                                             \
    if (!plain<count>(reg, pointer)) [[unlikely]]                                                                      \
        goto memory;                                                                                                   \
    KORVANE_NEXT(length);

// One for each register and pointer, A or C and D0 or D1, all constants.
#define KORVANE_TRANSFERS(name, plain, count, length)                                                                  \
    KORVANE_TRANSFER(name##A0, plain, count, length, &Cpu.A.PackedLow, &Cpu.D0)                                        \
    KORVANE_TRANSFER(name##A1, plain, count, length, &Cpu.A.PackedLow, &Cpu.D1)                                        \
    KORVANE_TRANSFER(name##C0, plain, count, length, &Cpu.C.PackedLow, &Cpu.D0)                                        \
    KORVANE_TRANSFER(name##C1, plain, count, length, &Cpu.C.PackedLow, &Cpu.D1)

#define KORVANE_LOAD_C(label, length)                                                                                  \
    label: {                                                                                                           \
        const int turn = static_cast<int>(Cpu.PShift);                                                                 \
        const uint64_t taken = static_cast<uint64_t>(page->Branches[offset]);                                          \
        StorePacked(&Cpu.C.PackedLow, (LoadPacked(&Cpu.C.PackedLow) & ~std::rotl(taken, turn)) |                       \
                                          std::rotl(page->Operands[offset], turn));                                    \
    }                                                                                                                  \
    KORVANE_NEXT(length);

// The entry's relative branch, from the instruction's first nibble.
#define KORVANE_BRANCH_TARGET()                                                                                        \
    ((pageAddress + static_cast<uint32_t>(offset) + static_cast<uint32_t>(page->Branches[offset])) & 0xFFFFF)

// A conditional branch, counted: taken, 32 cycles more and the branch; else
// on past the instruction's length.
#define KORVANE_BRANCH_IF(length, taken)                                                                               \
    tally += page->Costs[offset];                                                                                      \
    if (taken) {                                                                                                       \
        tally += 32;                                                                                                   \
        KORVANE_JUMP(KORVANE_BRANCH_TARGET());                                                                         \
    }                                                                                                                  \
    KORVANE_ADVANCE(length);

// A test and its GOYES.
#define KORVANE_TEST(label, ...)                                                                                       \
    label:                                                                                                             \
    Cpu.Carry = (__VA_ARGS__) ? 1 : 0;                                                                                 \
    KORVANE_BRANCH_IF(5, Cpu.Carry)

#define KORVANE_RETURN(label, ...)                                                                                     \
    label: {                                                                                                           \
        if (DebuggingHackSet()) [[unlikely]]                                                                           \
            goto reference;                                                                                            \
        __VA_ARGS__;                                                                                                   \
        const uint32_t to = Pop();                                                                                     \
        tally += page->Costs[offset];                                                                                  \
        if (to == StartSentinel && routine) [[unlikely]] {                                                             \
            Cpu.PC = to;                                                                                               \
            goto leaveAtPc;                                                                                            \
        }                                                                                                              \
        KORVANE_JUMP(to);                                                                                              \
    }

void RunThreaded(bool routine)
{
    const uint32_t total = SliceInstructionsLeft;
    uint32_t chunk = std::min(total, ChunkInstructions);
    // The instructions left beyond the chunk under way.
    uint32_t beyond = total - chunk;
    // The chunk's cycles and instructions left: see CountedInstruction.
    int64_t tally = -int64_t{chunk} << CountShift;
    DecodedPage* page;
    const uint8_t* host;
    size_t offset;
    uint32_t pageAddress;

    SlowAccessTaken = false;
    goto unmatched;

    // --- The handlers called --------------------------------------------
    KORVANE_CALLED(straight2, 2)
    KORVANE_CALLED(straight3, 3)
    KORVANE_CALLED(straight4, 4)
    KORVANE_CALLED(straight5, 5)

operands:
    Cpu.FetchPointer = host + offset;
    reinterpret_cast<InstructionHandler>(page->Operands[offset])();
    tally += CountedInstruction;
    KORVANE_ADVANCE(page->Branches[offset]);

// A handler that may call out of the engine finds PC and the cycles exact.
memory:
    KORVANE_STORE_PC_AND_CYCLES();
    reinterpret_cast<InstructionHandler>(page->Operands[offset])();
    if (SlowAccessTaken) [[unlikely]]
        goto afterCall;
    tally += CountedInstruction;
    KORVANE_ADVANCE(page->Branches[offset]);

transfer:
    KORVANE_STORE_PC_AND_CYCLES();
    Cpu.FetchPointer = host + offset;
    reinterpret_cast<InstructionHandler>(page->Operands[offset])();
    goto afterCall;

// The instruction through the table, as the reference path runs it.
reference:
    KORVANE_STORE_PC_AND_CYCLES();
    Cpu.FetchPointer = host + offset;
    ActiveDispatchTable[DispatchIndexOfWord(static_cast<uint32_t>(page->Bytes[offset]))]();
// After anything that may have changed the memory map, made a request,
// stopped the engine or moved PC anywhere: the loop goes on from PC. A stop
// made meanwhile left the count in memory at 1: this instruction is the last.
afterCall:
    SlowAccessTaken = false;
    // The count in memory was the run's at its start, more than 1 unless a
    // stop set it to 1, or it was 1 from the start and nothing is beyond.
    if (SliceInstructionsLeft == 1) [[unlikely]] {
        tally = (tally & CycleBits) - CountedInstruction;
        beyond = 0;
    }
    if (InterruptPending() && !routine) [[unlikely]]
        goto leaveAtPc;
    tally += CountedInstruction;
    // The page's entries may be those of the other mode now, or of
    // another page altogether: only an unchanged page goes on at once.
    if (tally < 0 && ActiveDecodedPages[PageOf(pageAddress)] == page) {
        const uint32_t within = Cpu.PC - pageAddress;
        if (within < PageSize && !(Cpu.PC == StartSentinel && routine)) {
            offset = within;
            KORVANE_RUN_ENTRY();
        }
    }
afterJump:
    if (tally >= 0) [[unlikely]]
        goto chunkDoneAtPc;
    goto unmatched;

    // --- The work done here -----------------------------------------------
    KORVANE_FIELD_WORKS(Field2, 2)
    KORVANE_FIELD_WORKS(Field3, 3)

// D0 or D1, one label each.
#define KORVANE_STEP_POINTER(label, pointer)                                                                           \
    label:                                                                                                             \
    pointer += static_cast<uint32_t>(page->Operands[offset]);                                                          \
    Cpu.Carry = pointer > 0xFFFFF;                                                                                     \
    pointer &= 0xFFFFF;                                                                                                \
    KORVANE_NEXT(3);
    KORVANE_STEP_POINTER(stepPointer0, Cpu.D0)
    KORVANE_STEP_POINTER(stepPointer1, Cpu.D1)
#undef KORVANE_STEP_POINTER

#define KORVANE_LOAD_POINTER(label, length, pointer)                                                                   \
    label: {                                                                                                           \
        const uint64_t operand = page->Operands[offset];                                                               \
        pointer = (pointer & static_cast<uint32_t>(operand >> 32)) | static_cast<uint32_t>(operand);                   \
    }                                                                                                                  \
    KORVANE_NEXT(length);
    KORVANE_LOAD_POINTER(loadPointer4D0, 4, Cpu.D0)
    KORVANE_LOAD_POINTER(loadPointer6D0, 6, Cpu.D0)
    KORVANE_LOAD_POINTER(loadPointer7D0, 7, Cpu.D0)
    KORVANE_LOAD_POINTER(loadPointer4D1, 4, Cpu.D1)
    KORVANE_LOAD_POINTER(loadPointer6D1, 6, Cpu.D1)
    KORVANE_LOAD_POINTER(loadPointer7D1, 7, Cpu.D1)
#undef KORVANE_LOAD_POINTER

setP:
    SetP(static_cast<uint8_t>(page->Operands[offset]));
    KORVANE_NEXT(2);

// Counted from this mode's entry; the next entry comes from the other
// mode's decoded page.
#define KORVANE_SWITCH_MODE(label, decimal)                                                                            \
    label:                                                                                                             \
    tally += page->Costs[offset];                                                                                      \
    EnterMode<decimal>();                                                                                              \
    page = ActiveDecodedPages[PageOf(pageAddress)];                                                                    \
    KORVANE_ADVANCE(2);
    KORVANE_SWITCH_MODE(switchToHex, false)
    KORVANE_SWITCH_MODE(switchToDecimal, true)
#undef KORVANE_SWITCH_MODE

setStatus:
    Cpu.ST |= static_cast<uint16_t>(page->Operands[offset]);
    KORVANE_NEXT(3);

clearStatus:
    Cpu.ST &= static_cast<uint16_t>(~page->Operands[offset]);
    KORVANE_NEXT(3);

    KORVANE_LOAD_C(loadC3, 3)
    KORVANE_LOAD_C(loadC4, 4)
    KORVANE_LOAD_C(loadC5, 5)
    KORVANE_LOAD_C(loadC6, 6)
    KORVANE_LOAD_C(loadC7, 7)
    KORVANE_LOAD_C(loadC8, 8)

// 14x on 2 or 5 nibbles, 15xy on 2, 5, 8 or 16.
#define KORVANE_TRANSFER_KIND(name, plain)                                                                             \
    KORVANE_TRANSFERS(name##2Short, plain, 2, 3)                                                                       \
    KORVANE_TRANSFERS(name##5Short, plain, 5, 3)                                                                       \
    KORVANE_TRANSFERS(name##2, plain, 2, 4)                                                                            \
    KORVANE_TRANSFERS(name##5, plain, 5, 4)                                                                            \
    KORVANE_TRANSFERS(name##8, plain, 8, 4)                                                                            \
    KORVANE_TRANSFERS(name##16, plain, 16, 4)
    KORVANE_TRANSFER_KIND(read, ReadPlain)
    KORVANE_TRANSFER_KIND(write, WritePlain)
#undef KORVANE_TRANSFER_KIND

#define KORVANE_BRANCH(label, carry)                                                                                   \
    label:                                                                                                             \
    KORVANE_BRANCH_IF(3, Cpu.Carry == (carry))
    KORVANE_BRANCH(branchOnCarry, 1)
    KORVANE_BRANCH(branchOnNoCarry, 0)
#undef KORVANE_BRANCH

jump:
    tally += page->Costs[offset];
    KORVANE_JUMP(KORVANE_BRANCH_TARGET());

jumpVeryLong:
    tally += page->Costs[offset];
    KORVANE_JUMP(static_cast<uint32_t>(page->Operands[offset]));

// The return address is pushed as computed, unmasked.
call: {
    if (DebuggingHackSet()) [[unlikely]]
        goto reference;
    Push(pageAddress + static_cast<uint32_t>(offset) + static_cast<uint32_t>(page->Operands[offset]));
    tally += page->Costs[offset];
    KORVANE_JUMP(KORVANE_BRANCH_TARGET());
}

callVeryLong:
    if (DebuggingHackSet()) [[unlikely]]
        goto reference;
    Push(pageAddress + static_cast<uint32_t>(offset) + 7);
    tally += page->Costs[offset];
    KORVANE_JUMP(static_cast<uint32_t>(page->Operands[offset]));

    KORVANE_RETURN(returnSetXM, Cpu.HST |= HstXM)
    KORVANE_RETURN(returnPlain, (void)0)
    KORVANE_RETURN(returnSetCarry, Cpu.Carry = 1)
    KORVANE_RETURN(returnClearCarry, Cpu.Carry = 0)

// PC=(A) tells a debugging hack; PC=(C) does not.
jumpThroughA:
    if (DebuggingHackSet()) [[unlikely]]
        goto reference;
    tally += page->Costs[offset];
    KORVANE_JUMP(StoredAddress(Cpu.A.PackedLow & 0xFFFFF));

jumpThroughC:
    tally += page->Costs[offset];
    KORVANE_JUMP(StoredAddress(Cpu.C.PackedLow & 0xFFFFF));

    KORVANE_TEST(testFieldsEqual,
                 ((LoadPacked(page->Targets[offset]) ^ LoadPacked(page->Sources[offset])) & page->Operands[offset]) == 0)
    KORVANE_TEST(testFieldsDiffer,
                 ((LoadPacked(page->Targets[offset]) ^ LoadPacked(page->Sources[offset])) & page->Operands[offset]) != 0)
    KORVANE_TEST(testFieldZero, (LoadPacked(page->Targets[offset]) & page->Operands[offset]) == 0)
    KORVANE_TEST(testFieldNonZero, (LoadPacked(page->Targets[offset]) & page->Operands[offset]) != 0)
    KORVANE_TEST(testStatusSet, (Cpu.ST & page->Operands[offset]) != 0)
    KORVANE_TEST(testStatusClear, (Cpu.ST & page->Operands[offset]) == 0)
    KORVANE_TEST(testPointerEqual, Cpu.P == page->Operands[offset])
    KORVANE_TEST(testPointerDiffers, Cpu.P != page->Operands[offset])
    KORVANE_TEST(testHst, (Cpu.HST & page->Operands[offset]) == 0)

// --- Finding the entry at PC ----------------------------------------------

// Past the page, or an entry that no longer matches its bytes.
relocate:
    Cpu.PC = pageAddress + static_cast<uint32_t>(offset);
// An entry that is not decoded, or no longer matches its bytes, or lies past
// its page, and the place after PC moved anywhere: found again from PC.
unmatched: {
    const uint32_t pc = Cpu.PC;
    if (pc == StartSentinel && routine)
        goto leaveAtPc;
    const unsigned number = PageOf(pc);
    page = ActiveDecodedPages[number];
    if (page == &UnmappedPage) [[unlikely]]
        page = FindDecodedPage(number);
    host = page->Host;
    offset = pc & (PageSize - 1);
    pageAddress = pc & ~(PageSize - 1);
    if (HostBytes(host, offset) != page->Bytes[offset]) {
        const InstructionShape shape = DecodeEntry(*page, offset);
        const void* label = &&reference;
        switch (shape.Job) {
        case Work::Call: {
            static const void* const straight[] = {nullptr, nullptr, &&straight2, &&straight3, &&straight4,
                                                   &&straight5};
            if (shape.Kind == Flow::Straight)
                label = straight[shape.Length];
            else if (shape.Kind == Flow::Operands)
                label = &&operands;
            else if (shape.Kind == Flow::Memory)
                label = &&memory;
            else if (shape.Kind == Flow::Transfer)
                label = &&transfer;
            break;
        }
        case Work::AddField:
        case Work::SubtractField:
        case Work::SubtractFromField:
        case Work::IncrementField:
        case Work::DecrementField:
        case Work::ClearField:
        case Work::CopyField:
        case Work::ExchangeField: {
            // By the work's order in Work, then narrow or wide, then the length,
            // then the target: A to D, or the entry's own.
#define KORVANE_FIELD_LABELS(op, length)                                                                               \
    {&&op##Field##length##A, &&op##Field##length##B, &&op##Field##length##C, &&op##Field##length##D,                   \
     &&op##Field##length}
#define KORVANE_FIELD_OP(narrow, wide)                                                                                 \
    {{KORVANE_FIELD_LABELS(narrow, 2), KORVANE_FIELD_LABELS(narrow, 3)},                                               \
     {KORVANE_FIELD_LABELS(wide, 2), KORVANE_FIELD_LABELS(wide, 3)}}
            static const void* const fields[][2][2][5] = {
                KORVANE_FIELD_OP(add, addWide),
                KORVANE_FIELD_OP(subtract, subtract),
                KORVANE_FIELD_OP(subtractFrom, subtractFrom),
                KORVANE_FIELD_OP(increment, incrementWide),
                KORVANE_FIELD_OP(decrement, decrement),
                KORVANE_FIELD_OP(clear, clear),
                KORVANE_FIELD_OP(copy, copy),
                KORVANE_FIELD_OP(exchange, exchange),
            };
#undef KORVANE_FIELD_OP
#undef KORVANE_FIELD_LABELS
            const bool wide = static_cast<int64_t>(shape.Operand) < 0;
            unsigned target = WorkingRegisterOf(shape.Target);
            if (shape.Job == Work::ExchangeField && target < 4 && shape.Source != PartnerOf(target))
                target = 4;
            label = fields[static_cast<unsigned>(shape.Job) - static_cast<unsigned>(Work::AddField)][wide]
                          [shape.Length - 2][target];
            break;
        }
        case Work::StepPointer: label = shape.Target == &Cpu.D1 ? &&stepPointer1 : &&stepPointer0; break;
        case Work::LoadPointer: {
            static const void* const loads[2][4] = {{&&loadPointer4D0, nullptr, &&loadPointer6D0, &&loadPointer7D0},
                                                    {&&loadPointer4D1, nullptr, &&loadPointer6D1, &&loadPointer7D1}};
            label = loads[shape.Target == &Cpu.D1][shape.Length - 4];
            break;
        }
        case Work::SetP: label = &&setP; break;
        case Work::SwitchMode: label = shape.Variant ? &&switchToDecimal : &&switchToHex; break;
        case Work::SetStatus: label = shape.Variant ? &&setStatus : &&clearStatus; break;
        case Work::LoadC: {
            static const void* const loads[] = {&&loadC3, &&loadC4, &&loadC5, &&loadC6, &&loadC7, &&loadC8};
            label = loads[shape.Length - 3];
            break;
        }
        case Work::ReadNibbles:
        case Work::WriteNibbles: {
            // By the nibbles: 2, 5, 8, 16; 14x moves only 2 and 5. Then by
            // the register, A or C, and the pointer, D0 or D1.
#define KORVANE_TRANSFER_LABELS(name) {&&name##A0, &&name##A1, &&name##C0, &&name##C1}
#define KORVANE_NO_TRANSFER {nullptr, nullptr, nullptr, nullptr}
#define KORVANE_TRANSFER_KIND(name)                                                                                    \
    {{KORVANE_TRANSFER_LABELS(name##2), KORVANE_TRANSFER_LABELS(name##5), KORVANE_TRANSFER_LABELS(name##8),            \
      KORVANE_TRANSFER_LABELS(name##16)},                                                                              \
     {KORVANE_TRANSFER_LABELS(name##2Short), KORVANE_TRANSFER_LABELS(name##5Short), KORVANE_NO_TRANSFER,               \
      KORVANE_NO_TRANSFER}}
            static const void* const reads[2][4][4] = KORVANE_TRANSFER_KIND(read);
            static const void* const writes[2][4][4] = KORVANE_TRANSFER_KIND(write);
#undef KORVANE_TRANSFER_KIND
#undef KORVANE_NO_TRANSFER
#undef KORVANE_TRANSFER_LABELS
            const unsigned column = shape.Variant == 2 ? 0 : shape.Variant == 5 ? 1 : shape.Variant == 8 ? 2 : 3;
            const unsigned which = (shape.Target == &Cpu.C.PackedLow) * 2 + (shape.Source == &Cpu.D1);
            label = (shape.Job == Work::ReadNibbles ? reads : writes)[shape.Length == 3][column][which];
            break;
        }
        case Work::BranchOnCarry: label = shape.Variant ? &&branchOnCarry : &&branchOnNoCarry; break;
        case Work::Goto: label = &&jump; break;
        case Work::GoVeryLong: label = &&jumpVeryLong; break;
        case Work::Gosub: label = &&call; break;
        case Work::GosubVeryLong: label = &&callVeryLong; break;
        case Work::Return: {
            static const void* const returns[] = {&&returnSetXM, &&returnPlain, &&returnSetCarry,
                                                  &&returnClearCarry};
            label = returns[shape.Variant];
            break;
        }
        case Work::JumpThroughMemory: label = shape.Variant ? &&jumpThroughA : &&jumpThroughC; break;
        case Work::TestFields:
            if (shape.Source)
                label = shape.Variant ? &&testFieldsEqual : &&testFieldsDiffer;
            else
                label = shape.Variant ? &&testFieldZero : &&testFieldNonZero;
            break;
        case Work::TestStatus: label = shape.Variant ? &&testStatusSet : &&testStatusClear; break;
        case Work::TestPointer: label = shape.Variant ? &&testPointerEqual : &&testPointerDiffers; break;
        case Work::TestHst: label = &&testHst; break;
        }
        page->Labels[offset] = label;
    }
    goto* page->Labels[offset];
}

// --- Leaving, or going on with the next chunk -----------------------------

// The registers hold the next instruction.
chunkDone:
    Cpu.PC = pageAddress + static_cast<uint32_t>(offset);
// Cpu.PC holds it; the chunk's cycles go where the handlers keep theirs.
chunkDoneAtPc:
    Cpu.SliceCycles += static_cast<uint32_t>(tally);
    tally = 0;
    if (beyond == 0)
        goto leaveAtPc;
    chunk = std::min(beyond, ChunkInstructions);
    beyond -= chunk;
    tally = -int64_t{chunk} << CountShift;
    goto unmatched;

leaveAtPc:
    Cpu.SliceCycles += static_cast<uint32_t>(tally & CycleBits);
    SliceInstructionsLeft = beyond + static_cast<uint32_t>(-(tally >> CountShift));
}

#undef KORVANE_RETURN
#undef KORVANE_TEST
#undef KORVANE_BRANCH_IF
#undef KORVANE_BRANCH_TARGET
#undef KORVANE_LOAD_C
#undef KORVANE_TRANSFER
#undef KORVANE_FIELD_WORK
#undef KORVANE_FIELD
#undef KORVANE_STORE_PC_AND_CYCLES
#undef KORVANE_CALLED
#undef KORVANE_JUMP
#undef KORVANE_NEXT
#undef KORVANE_ADVANCE
#undef KORVANE_RUN_ENTRY

} // namespace korvane
