// Random machine state, memory contents and memory map, then a few thousand
// single steps in whichever mode the state selects.
#include <cstring>
#include <vector>

#include "korvane.h"
#include "fuzz_input.h"

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

// Fills a buffer region from the input, tags included, and reports where.
void Scatter(fuzz::Input& in, std::vector<uint8_t>& buffer, uint32_t mask)
{
    const uint32_t start = in.u32() & mask;
    size_t count = in.byte() * 16u;
    for (size_t i = 0; i < count && start + i <= mask; ++i)
        buffer[start + i] = in.byte() & 0x1F;
}

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
        Scatter(in, memory.Ram, ramMask);
    // The program itself: the rest of the input at PC, in the ROM image.
    uint32_t module = 0;
    const uint32_t pc = KVGetRegister(KV_REG_PC);
    const uint32_t offset = KVTranslateAddress(pc, &module);
    std::vector<uint8_t>& target = module == KV_MODULE_RAM ? memory.Ram : memory.Rom;
    const uint32_t limit = module == KV_MODULE_RAM ? ramMask + 1 : KV_ROM_NIBBLES;
    const size_t length = in.remaining();
    for (size_t i = 0; i < length && offset + i < limit; ++i)
        target[offset + i] = in.rest()[i] & 0x1F;

    for (int step = 0; step < 3000; ++step)
        KVStep();

    for (size_t i = 0; i < length && offset + i < limit; ++i)
        target[offset + i] = 0;
    return 0;
}
