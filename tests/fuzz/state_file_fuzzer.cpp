// Random state files (some laid out with sizes real or not, some the
// machine's own with a byte changed), read and loaded as the program does: a
// file that fails the check changes nothing, one that passes leaves its ports.
#include "tessock.h"
#include "tests/fuzz/fuzz_input.h"
#include "ui/state_file.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The engine's state and the ports' buffers and contents.
struct Machine {
    Bytes State = Bytes(512);
    uint8_t* Buffers[3] = {};
    Bytes Images[3];

    Machine()
    {
        KVSaveState(State.data(), 512);
        void (*const get[3])(uint32_t*, uint8_t**) = {KHGetPort0, KHGetPort1, KHGetPort2};
        for (int p = 0; p < 3; ++p) {
            uint32_t size = 0;
            get[p](&size, &Buffers[p]);
            Images[p].assign(Buffers[p], Buffers[p] + (Buffers[p] ? size : 0));
        }
    }
    bool operator==(const Machine&) const = default;
};

Bytes MakeFile(fuzz::Input& in)
{
    const uint8_t shape = in.byte() % 3;
    if (shape == 0)
        return in.rest();
    if (shape == 2) {
        Bytes file = pelrin::CaptureState();
        file[in.u32() % file.size()] ^= in.byte() | 1;
        return file;
    }
    Bytes file(512);
    for (uint8_t& byte : file)
        byte = in.byte();
    static const uint32_t Sizes[] = {0, 0x1000, 0x2000, 0x800, 0x3000, 0x1001, 0xFFF};
    for (int p = 0; p < 3; ++p) {
        const uint8_t choice = in.byte();
        const uint32_t size = choice < 224 ? Sizes[choice % 7] : in.u32();
        for (int i = 0; i < 4; ++i)
            file.push_back(static_cast<uint8_t>(size >> (8 * i)));
        for (uint32_t i = 0; i < std::min<uint32_t>(size, 0x4000); ++i)
            file.push_back(in.Size ? in.byte() : static_cast<uint8_t>(i));
    }
    const int8_t off = static_cast<int8_t>(in.byte()); // now and then a length a little off
    if (off > -8 && off < 8)
        file.resize(file.size() + off, 0xEE);
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Bytes rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK);
    [[maybe_unused]] static const bool started =
        (KVSetMemoryModule(KV_MODULE_ROM, rom.data(), 0x3FFFF), KHCreatePort0(0x2000), KHCreatePort1(0x1000), true);
    fuzz::Input in{data, size};
    const Bytes file = MakeFile(in);
    const auto layout = pelrin::CheckStateFile(file.data(), file.size());
    // From the disk: whole when it passes the check, not at all otherwise,
    // and then with a reason to tell.
    std::string why;
    const auto read = pelrin::ReadStateFile(fuzz::MemoryFile(file, file.size()), why);
    fuzz::Check(read ? layout && *read == file : !layout && !why.empty());

    const Machine before;
    const bool restored = pelrin::RestoreState(file.data(), file.size());
    const Machine after;
    fuzz::Check(restored == layout.has_value() && (restored || before == after));
    for (int p = 0; restored && p < 3; ++p) {
        const auto image = file.begin() + static_cast<long>(layout->SizeFieldOffset(p) + 4);
        fuzz::Check(after.Images[p] == Bytes(image, image + layout->PortSizes[p]));
    }
    for (int step = 0; restored && step < 200; ++step) // the restored machine runs
        KVStep();
    return 0;
}
