// Random state files, read from the disk and loaded as the program does:
// the check, then the engine state and the three ports. A file that fails
// the check must change nothing; one that passes leaves exactly its ports.
// Some files are laid out as state files with sizes real or not, or are the
// machine's own file with one byte changed.
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "korvane.h"
#include "tessock.h"
#include "tests/fuzz/fuzz_input.h"
#include "ui/state_file.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Check(bool condition)
{
    if (!condition)
        __builtin_trap();
}

struct Machine {
    uint8_t State[512];
    uint8_t* Buffers[3];
    Bytes Images[3];
};

Machine Look()
{
    void (*const get[3])(uint32_t*, uint8_t**) = {KHGetPort0, KHGetPort1, KHGetPort2};
    Machine m{};
    KVSaveState(m.State, sizeof m.State);
    for (int p = 0; p < 3; ++p) {
        uint32_t size = 0;
        get[p](&size, &m.Buffers[p]);
        if (m.Buffers[p])
            m.Images[p].assign(m.Buffers[p], m.Buffers[p] + size);
    }
    return m;
}

Bytes MakeFile(fuzz::Input& in)
{
    const uint8_t shape = in.byte() % 3;
    if (shape == 0)
        return Bytes(in.rest(), in.rest() + in.remaining());
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
            file.push_back(in.remaining() ? in.byte() : static_cast<uint8_t>(i));
    }
    const int8_t off = static_cast<int8_t>(in.byte()); // now and then a length a little off
    if (off > -8 && off < 8)
        file.resize(file.size() + off, 0xEE);
    return file;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool started = false;
    if (!started) {
        static Bytes rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK);
        KVSetMemoryModule(KV_MODULE_ROM, rom.data(), 0x3FFFF);
        KHCreatePort0(0x2000);
        KHCreatePort1(0x1000);
        started = true;
    }
    fuzz::Input in(data, size);
    const Bytes file = MakeFile(in);
    const auto layout = pelrin::CheckStateFile(file.data(), file.size());

    // From the disk: whole when it passes the check, not at all otherwise.
    static const std::string path = "/tmp/state_file_fuzzer." + std::to_string(getpid());
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(file.data(), 1, file.size(), out);
        std::fclose(out);
        const auto read = pelrin::ReadStateFile(path);
        Check(read ? layout && *read == file : !layout);
        unlink(path.c_str());
    }

    const Machine before = Look();
    const bool restored = pelrin::RestoreState(file.data(), file.size());
    Check(restored == layout.has_value());
    const Machine after = Look();
    for (int p = 0; p < 3; ++p) {
        if (!restored) {
            Check(before.Buffers[p] == after.Buffers[p] && before.Images[p] == after.Images[p]);
            continue;
        }
        const auto image = file.begin() + static_cast<long>(layout->SizeFieldOffset(p) + 4);
        Check(after.Images[p] == Bytes(image, image + layout->PortSizes[p]));
    }
    Check(restored || std::memcmp(before.State, after.State, KV_STATE_SIZE) == 0);
    for (int step = 0; restored && step < 200; ++step) // the restored machine runs
        KVStep();
    return 0;
}
