// Random saved states (with switch 2 a short record, which is refused; with
// switch 4 a 512-byte buffer) restored over memory the input fills too, run
// through whatever memory map they set up, then saved and restored again.
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr uint32_t RamMask = 0xFFFF;
    static std::vector<uint8_t> rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK), ram(RamMask + 1 + KV_BUFFER_SLACK);
    [[maybe_unused]] static const bool attached = (KVSetMemoryModule(KV_MODULE_ROM, rom.data(), 0x3FFFF),
                                                   KVSetMemoryModule(KV_MODULE_RAM, ram.data(), RamMask), true);
    fuzz::Input in{data, size};

    const uint8_t switches = in.byte();
    KVConfigure(KV_CONFIG_HP49, switches & 1);
    const uint32_t length = switches & 2 ? in.byte() % KV_STATE_SIZE : switches & 4 ? 512 : KV_STATE_SIZE;
    std::vector<uint8_t> record(length);
    for (uint8_t& byte : record)
        byte = in.byte();
    KVRestoreState(record.empty() ? nullptr : record.data(), length);
    fuzz::FillMemory(in, rom, ram, RamMask);
    for (int step = 0; step < 2000; ++step)
        KVStep();
    uint8_t saved[512];
    KVSaveState(saved, sizeof saved);
    KVRestoreState(saved, sizeof saved);
    return 0;
}
