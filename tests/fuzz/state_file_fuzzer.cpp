// Random state files, loaded as the program loads them: the check, then
// the restore of the engine state and the three ports. A file that fails
// the check must change nothing; one that passes must leave exactly its
// ports. Some files are built to pass or to miss by a little: sizes of real
// ports, wrong sizes, lengths one off.
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

struct Port {
    void (*Get)(uint32_t*, uint8_t**);
};
const Port Ports[3] = {{KHGetPort0}, {KHGetPort1}, {KHGetPort2}};

struct Machine {
    uint8_t State[512];
    uint8_t* Buffers[3];
    Bytes Images[3];
};

Machine Look()
{
    Machine m{};
    KVSaveState(m.State, sizeof m.State);
    for (int p = 0; p < 3; ++p) {
        uint32_t size = 0;
        Ports[p].Get(&size, &m.Buffers[p]);
        if (m.Buffers[p])
            m.Images[p].assign(m.Buffers[p], m.Buffers[p] + size);
    }
    return m;
}

void PutWord(Bytes& file, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        file.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint32_t PortSize(fuzz::Input& in)
{
    static const uint32_t Sizes[] = {0, 0x1000, 0x2000, 0x800, 0x3000, 0x1001, 0xFFF};
    const uint8_t choice = in.byte();
    return choice < 224 ? Sizes[choice % 7] : in.u32();
}

Bytes MakeFile(fuzz::Input& in)
{
    const uint8_t shape = in.byte() % 3;
    if (shape == 0) // anything
        return Bytes(in.rest(), in.rest() + in.remaining());
    if (shape == 1) {
        // Laid out as a state file, of sizes real or not, the images from
        // the input and then a counting pattern, the length a little off
        // now and then.
        Bytes file(in.rest(), in.rest() + std::min<size_t>(512, in.remaining()));
        in.skip(512);
        file.resize(512, 0);
        for (int p = 0; p < 3; ++p) {
            const uint32_t size = PortSize(in);
            PutWord(file, size);
            const size_t bounded = std::min<uint32_t>(size, 0x4000);
            for (size_t i = 0; i < bounded; ++i)
                file.push_back(in.remaining() ? in.byte() : static_cast<uint8_t>(i));
        }
        const int8_t off = static_cast<int8_t>(in.byte());
        if (off > -8 && off < 8)
            file.resize(off < 0 && static_cast<size_t>(-off) > file.size() ? 0 : file.size() + off, 0xEE);
        return file;
    }
    // The machine as it stands, one byte of it changed.
    Bytes file = pelrin::CaptureState();
    if (!file.empty()) {
        const size_t at = in.u32() % file.size();
        file[at] ^= in.byte() | 1;
    }
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
    // The file as the program reads it from the disk: whole when it passes
    // the check, not at all otherwise.
    static const std::string path = "/tmp/state_file_fuzzer." + std::to_string(getpid());
    if (FILE* out = std::fopen(path.c_str(), "wb")) {
        std::fwrite(file.data(), 1, file.size(), out);
        std::fclose(out);
        const auto read = pelrin::ReadStateFile(path);
        Check(read.has_value() == pelrin::CheckStateFile(file.data(), file.size()).has_value());
        Check(!read || *read == file);
        unlink(path.c_str());
    }
    const Machine before = Look();
    const auto layout = pelrin::CheckStateFile(file.data(), file.size());
    const bool restored = pelrin::RestoreState(file.data(), file.size());
    Check(restored == layout.has_value());
    const Machine after = Look();
    if (!restored) {
        Check(std::memcmp(before.State, after.State, KV_STATE_SIZE) == 0);
        for (int p = 0; p < 3; ++p)
            Check(before.Buffers[p] == after.Buffers[p] && before.Images[p] == after.Images[p]);
        return 0;
    }
    for (int p = 0; p < 3; ++p) {
        const uint64_t field = layout->SizeFieldOffset(p);
        const Bytes image(file.begin() + field + 4, file.begin() + field + 4 + layout->PortSizes[p]);
        Check(after.Images[p] == image);
    }
    // The restored machine runs.
    for (int step = 0; step < 200; ++step)
        KVStep();
    return 0;
}
