// Random saved states restored over memory that the input fills too, then
// run a while, saved and restored again: the restored machines run real
// instruction streams through whatever memory map the record sets up.
//
// The input: a byte of switches, the record (358 bytes; with switch 2 a
// shorter one, which is refused; with switch 4 a 512-byte buffer), regions
// of RAM, and the program at the restored PC.
#include <cstring>
#include <vector>

#include "korvane.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

constexpr uint32_t RamMask = 0xFFFF;

struct Memory {
    std::vector<uint8_t> Rom = std::vector<uint8_t>(KV_ROM_NIBBLES + KV_BUFFER_SLACK);
    std::vector<uint8_t> Ram = std::vector<uint8_t>(RamMask + 1 + KV_BUFFER_SLACK);

    Memory()
    {
        KVSetMemoryModule(KV_MODULE_ROM, Rom.data(), 0x3FFFF);
        KVSetMemoryModule(KV_MODULE_RAM, Ram.data(), RamMask);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Memory memory;
    fuzz::Input in(data, size);

    const uint8_t switches = in.byte();
    KVConfigure(KV_CONFIG_HP49, switches & 1);
    uint32_t length = KV_STATE_SIZE;
    if (switches & 2)
        length = in.byte() % KV_STATE_SIZE;
    else if (switches & 4)
        length = 512;
    std::vector<uint8_t> record(length);
    for (uint8_t& byte : record)
        byte = in.byte();
    KVRestoreState(record.empty() ? nullptr : record.data(), length);

    std::memset(memory.Ram.data(), 0, memory.Ram.size());
    for (int region = in.byte() % 4; region >= 0; --region)
        fuzz::Scatter(in, memory.Ram, RamMask);
    const fuzz::ProgramAtPc program(in, memory.Rom, memory.Ram, RamMask);

    for (int step = 0; step < 2000; ++step)
        KVStep();
    uint8_t saved[512];
    KVSaveState(saved, sizeof saved);
    KVRestoreState(saved, sizeof saved);
    return 0;
}
