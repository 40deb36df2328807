// Random machine state, memory contents and memory map, then a few thousand
// single steps in whichever mode the state selects.
#include <cstring>
#include <vector>

#include "korvane.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

struct Memory {
    std::vector<uint8_t> Rom = std::vector<uint8_t>(KV_ROM_NIBBLES + KV_BUFFER_SLACK);
    std::vector<uint8_t> Ram = std::vector<uint8_t>(0x40000 + KV_BUFFER_SLACK);
    std::vector<uint8_t> Port1 = std::vector<uint8_t>(0x40000 + KV_BUFFER_SLACK);
    std::vector<uint8_t> Port2 = std::vector<uint8_t>(0x40000 + KV_BUFFER_SLACK);
    uint8_t Baseline[512] = {};

    Memory()
    {
        KVSaveState(Baseline, sizeof Baseline);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Memory memory;
    fuzz::Input in(data, size);

    KVRestoreState(memory.Baseline, sizeof memory.Baseline);
    KVConfigure(KV_CONFIG_HP49, in.byte() & 1);
    std::memset(memory.Ram.data(), 0, memory.Ram.size());
    KVSetMemoryModule(KV_MODULE_ROM, memory.Rom.data(), 0x3FFFF);
    // RAM and port sizes: powers of two from 4096 nibbles up.
    const uint32_t ramMask = (0x1000u << (in.byte() % 7)) - 1;
    KVSetMemoryModule(KV_MODULE_RAM, memory.Ram.data(), ramMask);
    KVSetMemoryModule(KV_MODULE_PORT1, memory.Port1.data(), (0x1000u << (in.byte() % 7)) - 1);
    KVSetMemoryModule(KV_MODULE_PORT2, in.byte() & 1 ? memory.Port2.data() : nullptr, 0x3FFFF);

    KVMemoryReset();
    for (int i = in.byte() % 12; i > 0; --i)
        KVMemoryConfig(in.u32() & 0xFFFFF);
    if (in.byte() & 1)
        KVMemoryUncnfg(in.u32() & 0xFFFFF);

    for (uint32_t index = 0; index < 72; ++index) {
        if (in.byte() & 1)
            KVSetRegister(index, in.u32());
    }

    for (int region = in.byte() % 4; region >= 0; --region)
        fuzz::Scatter(in, memory.Ram, ramMask);
    const fuzz::ProgramAtPc program(in, memory.Rom, memory.Ram, ramMask);

    for (int step = 0; step < 3000; ++step)
        KVStep();
    return 0;
}
