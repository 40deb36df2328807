// The trace log and display exports called with random arguments, in a
// random order, between single steps.
#include "tests/fuzz/fuzz_input.h"

static const uint8_t* LastFrame = nullptr;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<uint8_t> rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK);
    [[maybe_unused]] static const bool attached = (KVSetMemoryModule(KV_MODULE_ROM, rom.data(), 0x3FFFF), true);
    fuzz::Input in{data, size};
    std::vector<uint32_t> entries;
    while (in.Size > 0) {
        const uint8_t call = in.byte() % 10;
        const uint32_t a = in.byte(), b = in.u32(), c = in.u32();
        if (call == 0) // bounded for the fuzzer's memory limit only: the engine refuses huge ones
            KVLogConfigure(a % 4, b % 0x20000);
        else if (call == 1)
            KVLogClear();
        else if (call == 2) {
            entries.assign(b % 0x1000, 0);
            KVLogRead(entries.empty() ? nullptr : entries.data(), static_cast<uint32_t>(entries.size()));
        }
        else if (call == 3)
            KVSetDisplaySize(b % 0x400, c % 0x200);
        else if (call == 4)
            KVForceRefresh();
        else if (call == 5)
            KVSetDisplayHandler(a & 1 ? +[](const uint8_t* frame, uint32_t, uint32_t) { LastFrame = frame; } : nullptr);
        else if (call == 6)
            KVDiscardFrame(a & 1 ? LastFrame : reinterpret_cast<const uint8_t*>(uintptr_t{b}));
        else if (call == 7)
            KVSetRegister(a % 72, b);
        else if (call == 8)
            for (uint32_t i = a; i > 0; --i)
                KVStep();
        else
            KVGetAnnunciators();
    }
    return 0;
}
