#include "tests/support/machine.h"

#include <cstring>

#include "engine/core/banks.h"
#include "engine/core/dispatch.h"
#include "engine/core/interrupts.h"
#include "engine/core/memory.h"

namespace test {

std::vector<uint8_t> NibbleBuffer(uint32_t nibbles)
{
    return std::vector<uint8_t>(nibbles + KV_BUFFER_SLACK, 0);
}

Machine::Machine() : Rom(NibbleBuffer(KV_ROM_NIBBLES))
{
    KVStop();
    KVSetBreakpointHandler(nullptr);
    KVSetDebuggingHackHandler(nullptr);
    KVSetInterruptHandler(nullptr, 0xFFFF);
    korvane::SwitchToHex();
    std::memset(&korvane::Cpu, 0, sizeof korvane::Cpu);
    korvane::PendingInterrupts.store(0);
    korvane::ServiceRequestBits = 0;
    korvane::CrcRegister = 0;
    KVConfigure(KV_CONFIG_HP49, 0);
    for (uint32_t id : {KV_MODULE_RAM, KV_MODULE_PORT1, KV_MODULE_PORT2})
        KVSetMemoryModule(id, nullptr, 0);
    KVSetMemoryModule(KV_MODULE_ROM, Rom.data(), 0x3FFFF);
    KVMemoryReset();
}

Machine::~Machine()
{
    KVStop();
    KVSetMemoryModule(KV_MODULE_ROM, nullptr, 0);
}

void Machine::place(const Program& program)
{
    for (const Program::Placed& nibble : program.build())
        Rom[nibble.Address] = nibble.Byte;
}

void Machine::load(const Program& program)
{
    place(program);
    korvane::Cpu.PC = program.origin();
}

void Machine::poke(uint32_t address, const char* hexDigits)
{
    Program p(address);
    p.op(hexDigits);
    place(p);
}

void Machine::step(unsigned count)
{
    for (unsigned i = 0; i < count; ++i)
        KVStep();
}

uint64_t Value(const korvane::NibbleRegister& r)
{
    return korvane::Cpu.DecimalMode ? korvane::ReadWord<true>(r) : korvane::ReadWord<false>(r);
}

void SetValue(korvane::NibbleRegister& r, uint64_t value)
{
    korvane::WriteWord<false>(r, value);
    korvane::WriteWord<true>(r, value);
}

namespace {

// Nibble k of register i's mark: 4i + 3k + 1, so that two registers differ
// in every nibble.
uint64_t Mark(const korvane::NibbleRegister& r)
{
    using korvane::Cpu;
    const unsigned i = &r == &Cpu.A ? 0 : &r == &Cpu.B ? 1 : &r == &Cpu.C ? 2 : 3;
    uint64_t mark = 0;
    for (unsigned k = 16; k-- > 0;)
        mark = mark << 4 | ((4 * i + 3 * k + 1) & 15);
    return mark;
}

uint8_t MarkByte(uint64_t mark, unsigned k)
{
    return static_cast<uint8_t>(0x40 | ((mark >> (4 * k)) & 15));
}

} // namespace

void MarkNotLive(korvane::NibbleRegister& r, bool decimal)
{
    const uint64_t mark = Mark(r);
    if (decimal) {
        r.PackedLow = static_cast<uint32_t>(mark);
        r.PackedHigh = static_cast<uint32_t>(mark >> 32);
    } else {
        for (unsigned k = 0; k < 16; ++k)
            r.Nibbles[k] = MarkByte(mark, k);
    }
}

bool NotLiveIntact(const korvane::NibbleRegister& r, bool decimal)
{
    const uint64_t mark = Mark(r);
    if (decimal)
        return r.PackedLow == static_cast<uint32_t>(mark) && r.PackedHigh == static_cast<uint32_t>(mark >> 32);
    for (unsigned k = 0; k < 16; ++k) {
        if (r.Nibbles[k] != MarkByte(mark, k))
            return false;
    }
    return true;
}

} // namespace test
