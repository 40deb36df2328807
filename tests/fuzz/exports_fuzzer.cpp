// The trace log and display exports called with random arguments, in a
// random order, between single steps.
#include <vector>

#include "korvane.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

const uint8_t* LastFrame = nullptr;

void KeepFrame(const uint8_t* frame, uint32_t, uint32_t)
{
    LastFrame = frame;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<uint8_t> rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK);
    static bool attached = false;
    if (!attached) {
        KVSetMemoryModule(KV_MODULE_ROM, rom.data(), 0x3FFFF);
        attached = true;
    }
    fuzz::Input in(data, size);
    std::vector<uint32_t> entries;
    while (in.remaining() > 0) {
        switch (in.byte() % 10) {
        case 0:
            // Capacities are bounded here only to keep the fuzzer's memory
            // limit; huge ones are refused by the engine.
            KVLogConfigure(in.byte() % 4, in.u32() % 0x20000);
            break;
        case 1:
            KVLogClear();
            break;
        case 2: {
            const uint32_t max = in.u32() % 0x1000;
            entries.assign(max, 0);
            KVLogRead(entries.empty() ? nullptr : entries.data(), max);
            break;
        }
        case 3: {
            const uint32_t width = in.u32() % 0x400;
            const uint32_t height = in.u32() % 0x200;
            KVSetDisplaySize(width, height);
            break;
        }
        case 4:
            KVForceRefresh();
            break;
        case 5:
            KVSetDisplayHandler(in.byte() & 1 ? &KeepFrame : nullptr);
            break;
        case 6:
            KVDiscardFrame(in.byte() & 1 ? LastFrame : reinterpret_cast<const uint8_t*>(uintptr_t{in.u32()}));
            break;
        case 7:
            KVSetRegister(in.byte() % 72, in.u32());
            break;
        case 8:
            for (int i = in.byte(); i > 0; --i)
                KVStep();
            break;
        default:
            KVGetAnnunciators();
            break;
        }
    }
    return 0;
}
