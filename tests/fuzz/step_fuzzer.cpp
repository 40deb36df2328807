// Random machine state, memory contents and memory map, then a few thousand
// single steps in whichever mode the state selects.
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<uint8_t> rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK), ram(0x40000 + KV_BUFFER_SLACK),
        port1(0x40000 + KV_BUFFER_SLACK), port2(0x40000 + KV_BUFFER_SLACK);
    static uint8_t baseline[512];
    [[maybe_unused]] static const bool saved = (KVSaveState(baseline, sizeof baseline), true);
    fuzz::Input in{data, size};

    KVRestoreState(baseline, sizeof baseline);
    KVConfigure(KV_CONFIG_HP49, in.byte() & 1);
    KVSetMemoryModule(KV_MODULE_ROM, rom.data(), 0x3FFFF);
    // RAM and port sizes: powers of two from 4096 nibbles up.
    const uint32_t ramMask = (0x1000u << (in.byte() % 7)) - 1;
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), ramMask);
    KVSetMemoryModule(KV_MODULE_PORT1, port1.data(), (0x1000u << (in.byte() % 7)) - 1);
    KVSetMemoryModule(KV_MODULE_PORT2, in.byte() & 1 ? port2.data() : nullptr, 0x3FFFF);
    KVMemoryReset();
    for (int i = in.byte() % 12; i > 0; --i)
        KVMemoryConfig(in.u32() & 0xFFFFF);
    if (in.byte() & 1)
        KVMemoryUncnfg(in.u32() & 0xFFFFF);
    for (uint32_t index = 0; index < 72; ++index)
        if (in.byte() & 1)
            KVSetRegister(index, in.u32());
    fuzz::FillMemory(in, rom, ram, ramMask);
    for (int step = 0; step < 3000; ++step)
        KVStep();
    return 0;
}
