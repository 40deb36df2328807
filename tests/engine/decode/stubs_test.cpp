#include <sys/mman.h>
#include <unistd.h>

#include <stdexcept>

#include "engine/core/memory.h"
#include "tests/support/machine_model.h"

namespace {

using namespace model;
using Opcode = std::vector<uint8_t>; // one nibble per byte, in fetch order

constexpr unsigned CodePage = 0x40;
constexpr uint32_t RamBase = 0x80000, RamNibbles = 0x1000;

// RAM over one page, and a code page followed by an unreadable one, lent to
// the dispatcher as the fetch page of CodePage: an instruction placed so that
// it ends on the last readable byte faults if anything reads one nibble
// further.
class DecodeStubs : public testing::Test {
protected:
    DecodeStubs() : Ram(test::NibbleBuffer(RamNibbles)), Size(std::max(size_t(sysconf(_SC_PAGESIZE)), size_t{0x1000}))
    {
        KVSetMemoryModule(KV_MODULE_RAM, Ram.data(), RamNibbles - 1);
        for (uint32_t value : {0x30000u, 0xFF000u, RamBase}) // the I/O window out of the way, then RAM
            KVMemoryConfig(value);
        void* region = mmap(nullptr, 2 * Size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (region == MAP_FAILED || mprotect(static_cast<uint8_t*>(region) + Size, Size, PROT_NONE) != 0)
            throw std::runtime_error("no guarded page");
        Code = static_cast<uint8_t*>(region);
    }
    ~DecodeStubs() override
    {
        KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
        munmap(Code, 2 * Size);
    }

    // Steps the opcode, ending on the last readable byte, from the same
    // random state every time with the pointers in RAM, so that a stray write
    // shows; returns RAM, the processor's bytes and the CRC afterwards.
    std::vector<uint8_t> step(bool decimal, const Opcode& opcode, bool run = true)
    {
        std::mt19937_64 rng(7);
        Randomize(rng, decimal, 5);
        Cpu.D0 = RamBase + 0x100, Cpu.D1 = RamBase + 0xF00;
        korvane::CrcRegister = 0xBEEF;
        for (uint32_t i = 0; i < RamNibbles; ++i)
            Ram[i] = static_cast<uint8_t>((i * 7 + 3) & 15);
        std::memcpy(Code + Size - opcode.size(), opcode.data(), opcode.size());
        korvane::Memory.Pages.Fetch[CodePage] = Code + Size - 0x1000;
        Cpu.PC = (CodePage << 12) + 0x1000 - static_cast<uint32_t>(opcode.size());
        Cpu.FetchPointer = Code + Size - opcode.size(); // where the dispatcher will point it
        if (run)
            KVStep();
        std::vector<uint8_t> s(RamNibbles + sizeof Cpu + sizeof korvane::CrcRegister);
        std::memcpy(s.data(), Ram.data(), RamNibbles);
        std::memcpy(s.data() + RamNibbles, &Cpu, sizeof Cpu);
        std::memcpy(s.data() + RamNibbles + sizeof Cpu, &korvane::CrcRegister, sizeof korvane::CrcRegister);
        return s;
    }

    std::vector<uint8_t> Ram;
    test::Machine M; // after Ram: it resets the map before the fixture configures it
    size_t Size;
    uint8_t* Code = nullptr;
};

// Every combination of the stubs, one row per family: the nibbles the stub
// is reached by, the choices of each nibble that follows, and the length (0:
// no instruction, whatever follows the last nibble listed).
const std::vector<uint8_t> Any = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
const struct Family {
    Opcode Prefix;
    std::vector<std::vector<uint8_t>> Choices;
    uint32_t Length;
} Families[] = {
    {{8, 0, 8, 1}, {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}}, 0}, // 80811-8081F
    {{8, 1, 8}, {Any, {4, 5, 6, 7, 12, 13, 14, 15}}, 0},                      // 818f s
    {{8, 1, 9}, {Any, {4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}}, 0},        // 819f s
    {{8, 1, 0xA}, {Any, {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}}, 0},   // 81Af o
    {{8, 1, 0xB}, {{0, 1, 12, 13, 14, 15}}, 0},                               // 81B0, 81B1, 81BC-81BF
    {{0, 0xE}, {Any, Any}, 4},                                                // 0Efo AND, OR
    {{1, 5}, {Any, Any}, 4},                                                  // 15xy memory transfers
    {{8, 1, 8}, {Any, {0, 1, 2, 3, 8, 9, 10, 11}, Any}, 6},                   // 818fsn add, subtract constant
    {{8, 1, 9}, {Any, {0, 1, 2, 3}}, 5},                                      // 819fs rSRB.f
    {{8, 1, 0xA}, {Any, {0, 1, 2}, Any}, 6},                                  // 81Afon scratch fields
    {{8, 1, 0xB}, {{8, 9, 10, 11}}, 4},                                       // 81B8-81BB multiply, divide
    {{8, 0, 8}, {{4, 5, 8, 9}, Any}, 5},                                      // 808{4,5,8,9}n bit set, clear
    {{8, 0, 8}, {{6, 7, 10, 11}, Any, {2}, {0}}, 7}, // 808{6,7,A,B}n bit tests: GOYES +2 lands where false goes
    {{8, 0, 0xC}, {Any}, 4}, {{8, 0, 0xD}, {Any}, 4}, {{8, 0, 0xF}, {Any}, 4}, // C=P, P=C, CPEX
};

// Undefined combinations change nothing and read nothing further; defined
// ones advance PC by their length and cost something. The breakpoint tag or
// every high bit on the operand nibbles (3 on) changes neither. A leaf
// table built one short holds a null handler, which faults here.
TEST_F(DecodeStubs, EveryCombinationInBothModes)
{
    int failures = 0;
    for (const Family& family : Families) {
        std::vector<Opcode> members = {family.Prefix};
        for (const auto& choice : family.Choices) {
            std::vector<Opcode> longer;
            for (const Opcode& opcode : members)
                for (uint8_t nibble : choice)
                    longer.push_back(opcode), longer.back().push_back(nibble);
            members = std::move(longer);
        }
        for (bool decimal : {false, true}) {
            for (const Opcode& opcode : members) {
                const std::vector<uint8_t> before = step(decimal, opcode, false), after = step(decimal, opcode);
                const uint32_t start = (CodePage << 12) + 0x1000 - static_cast<uint32_t>(opcode.size());
                bool ok = family.Length ? Cpu.PC == start + family.Length && Cpu.SliceCycles > 0 : after == before;
                for (uint8_t mark : {0x10, 0xF0}) {
                    Opcode marked = opcode;
                    for (size_t i = 3; i < marked.size(); ++i)
                        marked[i] |= mark;
                    ok = ok && step(decimal, marked) == after;
                }
                std::string text;
                for (uint8_t nibble : opcode)
                    text += "0123456789ABCDEF"[nibble];
                if (!Within(testing::AssertionResult(ok), text + (decimal ? " decimal" : " hex"), failures))
                    return;
            }
        }
    }
}

} // namespace
