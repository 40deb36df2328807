#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/memory.h"
#include "engine/decode/leaves.h"
#include "tests/support/machine.h"

using korvane::Cpu;
using test::Machine;

namespace {

using Opcode = std::vector<uint8_t>; // one nibble per byte, in fetch order

constexpr unsigned CodePage = 0x40;
constexpr uint32_t RamBase = 0x80000;
constexpr uint32_t RamNibbles = 0x1000;

// A code page whose last byte is followed by an unreadable page, lent to the
// dispatcher as the fetch page of CodePage: an instruction placed so that it
// ends on the last byte faults if anything reads one nibble further.
class GuardedCode {
public:
    GuardedCode()
    {
        const long system = sysconf(_SC_PAGESIZE);
        Size = system > 0x1000 ? static_cast<size_t>(system) : 0x1000;
        void* region = mmap(nullptr, 2 * Size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (region == MAP_FAILED)
            throw std::runtime_error("mmap failed");
        Base = static_cast<uint8_t*>(region);
        if (mprotect(Base + Size, Size, PROT_NONE) != 0)
            throw std::runtime_error("mprotect failed");
    }
    ~GuardedCode()
    {
        korvane::RecomputeFetchPointers(CodePage, 1);
        munmap(Base, 2 * Size);
    }
    GuardedCode(const GuardedCode&) = delete;
    GuardedCode& operator=(const GuardedCode&) = delete;

    // Places the bytes so that the last is the last readable one, and points
    // PC and the expected fetch pointer at the first.
    void place(const Opcode& bytes)
    {
        uint8_t* end = Base + Size;
        std::memset(Base, 0, Size);
        std::memcpy(end - bytes.size(), bytes.data(), bytes.size());
        korvane::PageFetchPointer[CodePage] = end - 0x1000;
        Cpu.PC = (CodePage << 12) + 0x1000 - static_cast<uint32_t>(bytes.size());
        Cpu.FetchPointer = end - bytes.size(); // where the dispatcher will point it
    }

private:
    uint8_t* Base = nullptr;
    size_t Size = 0;
};

// The machine's whole state: the processor's bytes, the CRC and memory.
struct Snapshot {
    std::array<uint8_t, sizeof(korvane::CpuState)> Processor;
    uint32_t Crc;
    std::vector<uint8_t> Ram;
    bool operator==(const Snapshot&) const = default;
};

class DecodeStubs : public testing::Test {
protected:
    DecodeStubs() : Ram(test::NibbleBuffer(RamNibbles))
    {
        KVSetMemoryModule(KV_MODULE_RAM, Ram.data(), RamNibbles - 1);
        // The I/O window out of the way, then RAM over one page.
        for (uint32_t value : {0x30000u, 0xFF000u, RamBase})
            KVMemoryConfig(value);
    }
    ~DecodeStubs() override { KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0); }

    // A state in which every field holds something a stray write would change.
    void prepare(bool decimal)
    {
        if (decimal)
            korvane::SwitchToDecimal();
        else
            korvane::SwitchToHex();
        test::SetValue(Cpu.A, 0x0123456789ABCDEFull);
        test::SetValue(Cpu.B, 0xF0E1D2C3B4A59687ull);
        test::SetValue(Cpu.C, 0x13579BDF02468ACEull);
        test::SetValue(Cpu.D, 0xFFFFFFFF00000000ull);
        for (unsigned i = 0; i < 8; ++i)
            Cpu.R[i] = {0x11111111u * i, ~(0x11111111u * i)};
        for (unsigned i = 0; i < 8; ++i)
            Cpu.RSTK[i] = 0x10000 + i;
        Cpu.RstkIndex = 3;
        Cpu.D0 = RamBase + 0x100;
        Cpu.D1 = RamBase + 0xF00;
        korvane::SetP(5);
        Cpu.HST = 0x3;
        Cpu.ST = 0xA5A5;
        Cpu.Carry = 1;
        Cpu.OUT = 0x123;
        Cpu.IN = 0x4567;
        Cpu.SliceCycles = 1000;
        korvane::CrcRegister = 0xBEEF;
        for (uint32_t i = 0; i < RamNibbles; ++i)
            Ram[i] = static_cast<uint8_t>((i * 7 + 3) & 15);
    }

    Snapshot snapshot() const
    {
        Snapshot s;
        std::memcpy(s.Processor.data(), &Cpu, sizeof Cpu);
        s.Crc = korvane::CrcRegister;
        s.Ram.assign(Ram.begin(), Ram.begin() + RamNibbles);
        return s;
    }

    std::vector<uint8_t> Ram;
    Machine M; // after Ram: it resets the map before the fixture configures it
    GuardedCode Code;
};

// Operand nibbles (3 on) as plain nibbles, with the breakpoint tag, and with
// every high bit set: none of it may change decoding.
constexpr uint8_t OperandMarks[] = {0x00, 0x10, 0xF0};

Opcode Marked(Opcode opcode, uint8_t mark)
{
    for (size_t i = 3; i < opcode.size(); ++i)
        opcode[i] |= mark;
    return opcode;
}

std::string Text(const Opcode& opcode)
{
    std::string text;
    for (uint8_t nibble : opcode)
        text += "0123456789ABCDEF"[nibble & 15];
    return text;
}

// Every undefined combination, up to and including the nibble that makes it
// undefined: the stub must return before it reads anything further.
std::vector<Opcode> UndefinedCombinations()
{
    std::vector<Opcode> list;
    for (uint8_t y = 1; y < 16; ++y)
        list.push_back({8, 0, 8, 1, y}); // 80811-8081F
    for (uint8_t f = 0; f < 16; ++f) {
        for (uint8_t s : {4, 5, 6, 7, 12, 13, 14, 15})
            list.push_back({8, 1, 8, f, s}); // 818f s, whatever n follows
        for (uint8_t s = 4; s < 16; ++s)
            list.push_back({8, 1, 9, f, s}); // 819f s
        for (uint8_t o = 3; o < 16; ++o)
            list.push_back({8, 1, 0xA, f, o}); // 81Af o, whatever n follows
    }
    for (uint8_t x : {0, 1, 12, 13, 14, 15})
        list.push_back({8, 1, 0xB, x}); // 81B0, 81B1, 81BC-81BF
    return list;
}

TEST_F(DecodeStubs, UndefinedCombinationsChangeNothingAndReadNoFurther)
{
    const std::vector<Opcode> undefined = UndefinedCombinations();
    ASSERT_EQ(undefined.size(), 549u); // 15 + 128 + 192 + 208 + 6
    for (bool decimal : {false, true}) {
        for (const Opcode& opcode : undefined) {
            for (uint8_t mark : OperandMarks) {
                prepare(decimal);
                Code.place(Marked(opcode, mark));
                const Snapshot before = snapshot();
                KVStep();
                EXPECT_TRUE(snapshot() == before) << Text(opcode) << " mark " << int(mark) << " decimal " << decimal;
            }
        }
    }
}

// The stub families whose members all advance PC by one length, one row
// each: every member and its length.
struct DefinedFamily {
    const char* Name;
    std::function<std::vector<Opcode>()> Members;
    uint32_t Length;
};

void PrintTo(const DefinedFamily& family, std::ostream* os)
{
    *os << family.Name;
}

std::vector<Opcode> ForEach(const Opcode& prefix, std::vector<std::vector<uint8_t>> choices)
{
    std::vector<Opcode> list = {prefix};
    for (const auto& choice : choices) {
        std::vector<Opcode> longer;
        for (const Opcode& opcode : list) {
            for (uint8_t nibble : choice) {
                longer.push_back(opcode);
                longer.back().push_back(nibble);
            }
        }
        list = std::move(longer);
    }
    return list;
}

const std::vector<uint8_t> AnyNibble = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

const DefinedFamily DefinedFamilies[] = {
    {"AndOr0E", [] { return ForEach({0, 0xE}, {AnyNibble, AnyNibble}); }, 4},
    {"Transfer15", [] { return ForEach({1, 5}, {AnyNibble, AnyNibble}); }, 4},
    {"Constant818", [] { return ForEach({8, 1, 8}, {AnyNibble, {0, 1, 2, 3, 8, 9, 10, 11}, AnyNibble}); }, 6},
    {"FieldShift819", [] { return ForEach({8, 1, 9}, {AnyNibble, {0, 1, 2, 3}}); }, 5},
    {"ScratchField81A", [] { return ForEach({8, 1, 0xA}, {AnyNibble, {0, 1, 2}, AnyNibble}); }, 6},
    {"MultiplyDivide81B", [] { return ForEach({8, 1, 0xB}, {{8, 9, 10, 11}}); }, 4},
    {"BitAssign808", [] { return ForEach({8, 0, 8}, {{4, 5, 8, 9}, AnyNibble}); }, 5},
    {"PointerNibble80C", [] { return ForEach({8, 0, 0xC}, {AnyNibble}); }, 4},
    {"PointerNibble80D", [] { return ForEach({8, 0, 0xD}, {AnyNibble}); }, 4},
    {"PointerNibble80F", [] { return ForEach({8, 0, 0xF}, {AnyNibble}); }, 4},
};

template <typename Table>
bool EveryEntryIsAHandler(const Table& table)
{
    if constexpr (std::is_same_v<Table, korvane::InstructionHandler>) {
        return table != nullptr;
    } else {
        for (const auto& entry : table) {
            if (!EveryEntryIsAHandler(entry))
                return false;
        }
        return true;
    }
}

TEST(DecodeStubLeaves, EveryLeafTableIsCompleteInBothModes)
{
    using namespace korvane;
    EXPECT_TRUE(EveryEntryIsAHandler(AndOrLeaves));
    EXPECT_TRUE(EveryEntryIsAHandler(MemoryTransferLeaves));
    EXPECT_TRUE(EveryEntryIsAHandler(LoadAddressLeaves));
    EXPECT_TRUE(EveryEntryIsAHandler(BitAssignLeaves));
    EXPECT_TRUE(EveryEntryIsAHandler(BitTestLeaves));
    EXPECT_TRUE(EveryEntryIsAHandler(JumpThroughMemoryLeaves));
    EXPECT_TRUE(EveryEntryIsAHandler(CFromPLeaves));
    EXPECT_TRUE(EveryEntryIsAHandler(PFromCLeaves));
    EXPECT_TRUE(EveryEntryIsAHandler(CPExchangeLeaves));
    EXPECT_TRUE(EveryEntryIsAHandler(ConstantArithmeticLeaves));
    EXPECT_TRUE(EveryEntryIsAHandler(FieldShiftLeaves));
    EXPECT_TRUE(EveryEntryIsAHandler(ScratchFieldLeaves));
    EXPECT_TRUE(EveryEntryIsAHandler(PcTransferLeaves));
    EXPECT_TRUE(EveryEntryIsAHandler(MultiplyDivideLeaves));
}

class DefinedLeaves : public DecodeStubs, public testing::WithParamInterface<DefinedFamily> {};

// Each member reads exactly its own nibbles, advances PC by its length and
// costs something; a tagged or odd byte on nibbles 3 on decodes the same.
TEST_P(DefinedLeaves, AdvanceByTheirLengthAndIgnoreOperandTags)
{
    const DefinedFamily& family = GetParam();
    int failures = 0;
    for (bool decimal : {false, true}) {
        for (const Opcode& opcode : family.Members()) {
            prepare(decimal);
            Code.place(opcode);
            const uint32_t start = Cpu.PC;
            KVStep();
            const bool advanced = Cpu.PC == start + family.Length && Cpu.SliceCycles > 1000;
            const Snapshot plain = snapshot();
            bool same = true;
            for (uint8_t mark : {0x10, 0xF0}) {
                prepare(decimal);
                Code.place(Marked(opcode, mark));
                KVStep();
                same = same && snapshot() == plain;
            }
            if (!advanced || !same) {
                ADD_FAILURE() << Text(opcode) << " decimal " << decimal << (advanced ? "" : ": PC or cost wrong")
                              << (same ? "" : ": operand tags change the result");
                if (++failures >= 10)
                    return;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Families, DefinedLeaves, testing::ValuesIn(DefinedFamilies),
                         [](const testing::TestParamInfo<DefinedFamily>& info) { return info.param.Name; });

} // namespace
