// Random bytes as a saved machine state: restore, run a little, save.
#include <vector>

#include "korvane.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<uint8_t> rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK);
    static std::vector<uint8_t> ram(0x10000 + KV_BUFFER_SLACK);
    static bool attached = false;
    if (!attached) {
        KVSetMemoryModule(KV_MODULE_ROM, rom.data(), 0x3FFFF);
        KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFFF);
        attached = true;
    }
    fuzz::Input in(data, size);
    KVConfigure(KV_CONFIG_HP49, in.byte() & 1);
    // The record is the rest of the input, whatever its length.
    std::vector<uint8_t> record(in.rest(), in.rest() + in.remaining());
    KVRestoreState(record.empty() ? nullptr : record.data(), static_cast<uint32_t>(record.size()));
    for (int step = 0; step < 2000; ++step)
        KVStep();
    uint8_t saved[512];
    KVSaveState(saved, sizeof saved);
    KVRestoreState(saved, sizeof saved);
    return 0;
}
