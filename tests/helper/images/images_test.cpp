// The images: created, replaced and destroyed; nibbles through the engine's
// real memory map; and KHLoadRom with files written here in all four
// formats, every failure of which leaves the ROM that was there.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "helper/images/images.h"
#include "korvane.h"
#include "tessock.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Getter = void (*)(uint32_t*, uint8_t**);

constexpr uint32_t FullRom = KV_ROM_NIBBLES;

struct Image {
    uint32_t Size = 0xDEAD;
    uint8_t* Buffer = reinterpret_cast<uint8_t*>(1);
};
Image Get(Getter get = KHGetRom)
{
    Image image;
    get(&image.Size, &image.Buffer);
    return image;
}

bool AllZero(const uint8_t* from, const uint8_t* to)
{
    return std::all_of(from, to, [](uint8_t b) { return b == 0; });
}

class Images : public ::testing::Test {
protected:
    void SetUp() override
    {
        KVStop();
        KVConfigure(2, 0);
        KVMemoryReset();
        fs::create_directories(Dir);
    }
    void TearDown() override
    {
        KVConfigure(2, 0);
        fs::remove_all(Dir);
    }
    std::string write(const std::string& name, const Bytes& bytes)
    {
        std::ofstream(Dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
        return (Dir / name).string();
    }
    // Steps the last nibble of bank 15 and the operands past it: the ROM
    // buffer must reach that far, whatever the image.
    static void StepAtTheTopOfBank15()
    {
        KVConfigure(2, 1);
        KVSetRegister(KV_REG_HIGH_BANK, 15);
        KVSetRegister(KV_REG_PC, 0x7FFFF);
        KVStep();
    }

    const fs::path Dir = fs::temp_directory_path() / ("tessock-images-" + std::to_string(getpid()));
};

// A packed file: the signature, filler up to the payload, the payload.
// (Plain loops: GCC 12 takes the copies for overruns at -O3.)
Bytes Packed(const char* signature, size_t skipped, const Bytes& payload)
{
    Bytes file(skipped + payload.size(), 0xEE);
    for (size_t i = 0; i < 8; ++i)
        file[i] = static_cast<uint8_t>(signature[i]);
    for (size_t i = 0; i < payload.size(); ++i)
        file[skipped + i] = payload[i];
    return file;
}
const char Saturn[] = {'S', 'a', 't', 'u', 'r', 'n', '\0', '\3'};

TEST_F(Images, EachImageIsCreatedZeroedReplacedAndDestroyed)
{
    struct Port {
        uint32_t (*Create)(uint32_t);
        void (*Destroy)();
        Getter Get;
    };
    for (const Port& port : {Port{KHCreatePort0, KHDestroyPort0, KHGetPort0}, Port{KHCreatePort1, KHDestroyPort1, KHGetPort1},
                             Port{KHCreatePort2, KHDestroyPort2, KHGetPort2}, Port{KHCreateRom, KHDestroyRom, KHGetRom}}) {
        EXPECT_EQ(Get(port.Get).Size, 0u);
        EXPECT_EQ(Get(port.Get).Buffer, nullptr);
        ASSERT_EQ(port.Create(0x40000), 1u);
        const Image first = Get(port.Get);
        EXPECT_EQ(first.Size, 0x40000u);
        EXPECT_TRUE(AllZero(first.Buffer, first.Buffer + first.Size));
        first.Buffer[0x123] = 0xC;
        // Below a page, not a power of two, or zero: refused, the old one kept.
        for (uint32_t bad : {0x800u, 0x3000u, 0u, 0x1001u, 0xFFFFFFFFu}) {
            EXPECT_EQ(port.Create(bad), 0u) << bad;
            EXPECT_EQ(Get(port.Get).Buffer, first.Buffer);
            EXPECT_EQ(Get(port.Get).Size, 0x40000u);
            EXPECT_EQ(first.Buffer[0x123], 0xC);
        }
        ASSERT_EQ(port.Create(0x1000), 1u) << "the smallest image";
        const Image replaced = Get(port.Get);
        EXPECT_EQ(replaced.Size, 0x1000u);
        EXPECT_TRUE(AllZero(replaced.Buffer, replaced.Buffer + replaced.Size)) << "the old contents are gone";
        port.Destroy();
        EXPECT_EQ(Get(port.Get).Size, 0u);
        EXPECT_EQ(Get(port.Get).Buffer, nullptr);
        port.Destroy();
        port.Get(nullptr, nullptr);
    }
    // A small ROM still gets a buffer that covers every bank the engine reaches.
    ASSERT_EQ(KHCreateRom(0x1000), 1u);
    StepAtTheTopOfBank15();
    EXPECT_EQ(KHReadNibble(0x7FFFF), 0);
    KHWriteNibble(0x7FFFF, 0x2);
    EXPECT_EQ(Get().Buffer[0x3FFFFF], 0x2);
}

TEST_F(Images, NibblesGoThroughTheConfiguredMemoryMapAndNothingElse)
{
    ASSERT_EQ(KHCreateRom(0x100000), 1u);
    ASSERT_EQ(KHCreatePort0(0x40000), 1u);
    ASSERT_EQ(KHCreatePort1(0x40000), 1u);
    ASSERT_EQ(KHCreatePort2(0x20000), 1u);
    const Image rom = Get(), ram = Get(KHGetPort0), port1 = Get(KHGetPort1), port2 = Get(KHGetPort2);
    for (uint32_t a = 0; a < 0x100000; a += 0x1000)
        rom.Buffer[a + 0x140] = 0x5;
    rom.Buffer[0x12345] = 0x10 | 0xB; // a breakpoint tag on nibble B
    // I/O at 0x00100, RAM at 0x80000, the bank switcher on page 0x7F000,
    // port 1 at 0xC0000 in a window half its size, port 2 at 0xE0000.
    for (uint32_t value : {0x00100u, 0xC0000u, 0x80000u, 0xFF000u, 0x7F000u, 0xE0000u, 0xC0000u, 0xE0000u, 0xE0000u})
        KVMemoryConfig(value);
    for (uint32_t offset = 0; offset < 64; ++offset)
        EXPECT_EQ(KHReadNibble(0x00100 + offset), 7) << "I/O register " << offset;
    EXPECT_EQ(KHReadNibble(0x00140), 0x5) << "the page's rest is the ROM underneath";
    EXPECT_EQ(KHReadNibble(0x7F140), 0) << "the bank switcher";
    KHWriteNibble(0x7F140, 0x3);
    KHWriteNibble(0x00105, 0x3);
    EXPECT_EQ(rom.Buffer[0x7F140], 0x5) << "writes there go nowhere";
    KHWriteNibble(0x80005, 0x1A); // only the low four bits
    EXPECT_EQ(ram.Buffer[5], 0xA);
    EXPECT_EQ(KHReadNibble(0x180005), 0xA) << "only 20 address bits count";
    KHWriteNibble(0xC0010, 0x3);
    EXPECT_EQ(port1.Buffer[0x10], 0x3);
    KHWriteNibble(0xFFFFF, 0x6);
    EXPECT_EQ(port2.Buffer[0x1FFFF], 0x6);
    ram.Buffer[0x3FFFF] = 0x1D;
    EXPECT_EQ(KHReadNibble(0xBFFFF), 0xD) << "a tag is masked off";
    EXPECT_EQ(KHReadNibble(0x12345), 0xB);
    KHWriteNibble(0x12345, 0x4);
    EXPECT_EQ(rom.Buffer[0x12345], 0x04) << "the write clears the tag";
    KHDestroyPort2();
    EXPECT_EQ(KHReadNibble(0xFFFFF), 0) << "no image, no nibble";
    KHWriteNibble(0xFFFFF, 0x6);

    // Through the banks, with neither a CRC update nor a bank switch.
    ASSERT_EQ(KHCreateRom(0x400000), 1u);
    const Image full = Get();
    KVConfigure(2, 1);
    KVSetRegister(KV_REG_LOW_BANK, 2);
    KVSetRegister(KV_REG_HIGH_BANK, 5);
    full.Buffer[2 * 0x40000 + 0x234] = 0x8;
    full.Buffer[5 * 0x40000 + 0x234] = 0x9;
    uint8_t before[512], after[512];
    KVSaveState(before, sizeof before);
    EXPECT_EQ(KHReadNibble(0x00234), 0x8) << "the low bank";
    EXPECT_EQ(KHReadNibble(0x40234), 0x9) << "the high bank";
    KHWriteNibble(0x40235, 0x1);
    EXPECT_EQ(full.Buffer[5 * 0x40000 + 0x235], 0x1);
    for (uint32_t a = 0x80000; a < 0x80040; ++a)
        KHReadNibble(a);
    KVSaveState(after, sizeof after);
    EXPECT_EQ(std::memcmp(before, after, KV_STATE_SIZE), 0);
}

TEST_F(Images, ARawFileLoadsByteForByteEvenWhenItBeginsWithASignature)
{
    for (uint32_t size : {0x100000u, FullRom}) {
        Bytes file(size);
        for (uint32_t i = 0; i < size; ++i)
            file[i] = static_cast<uint8_t>((i * 7 + i / 4096) & 0xF);
        std::copy(Saturn, Saturn + 8, file.begin());
        ASSERT_EQ(KHLoadRom(write("raw", file).c_str()), 1u) << size;
        const Image rom = Get();
        EXPECT_EQ(rom.Size, size) << "the file's size is the image's";
        EXPECT_TRUE(std::equal(file.begin(), file.end(), rom.Buffer)) << size;
        EXPECT_TRUE(AllZero(rom.Buffer + size, rom.Buffer + FullRom + KV_BUFFER_SLACK)) << "zero past the file";
        EXPECT_EQ(KHReadNibble(0x00005), 'n' & 0xF) << "lent to the engine, flat";
        EXPECT_EQ(KHReadNibble(0xFFFFF), file[0xFFFFF]);
    }
    ASSERT_EQ(KHLoadRom(write("small", Bytes(0x100000, 0)).c_str()), 1u);
    StepAtTheTopOfBank15();
    EXPECT_EQ(KHReadNibble(0x7FFFF), 0);
}

TEST_F(Images, PackedFilesUnpackInTheirFormatsNibbleOrderUpToAFullImage)
{
    const Bytes payload = {0x12, 0xAB, 0xF0, 0x3C}, highFirst = {1, 2, 0xA, 0xB, 0xF, 0, 3, 0xC}, lowFirst = {2, 1, 0xB, 0xA, 0, 0xF, 0xC, 3};
    struct Case {
        const char* Signature;
        size_t Skipped;
        Bytes Payload, Nibbles; // the image's first nibbles, the rest zero
    };
    for (const Case& c : {Case{Saturn, 256, payload, highFirst}, Case{"HPHP48-W", 13, payload, lowFirst},
                          Case{"HPHP48-X", 8, payload, lowFirst}, Case{"HPHP48-W", 13, {}, {}}}) {
        ASSERT_EQ(KHLoadRom(write("packed", Packed(c.Signature, c.Skipped, c.Payload)).c_str()), 1u) << c.Signature;
        const Image rom = Get();
        EXPECT_EQ(rom.Size, FullRom);
        EXPECT_EQ(Bytes(rom.Buffer, rom.Buffer + c.Nibbles.size()), c.Nibbles) << c.Signature;
        EXPECT_TRUE(AllZero(rom.Buffer + c.Nibbles.size(), rom.Buffer + FullRom + KV_BUFFER_SLACK)) << c.Signature;
    }
    Bytes full(FullRom / 2);
    for (size_t i = 0; i < full.size(); ++i)
        full[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
    ASSERT_EQ(KHLoadRom(write("full", Packed("HPHP48-X", 8, full)).c_str()), 1u);
    for (size_t i : {size_t{0}, size_t{1}, full.size() / 2, full.size() - 1}) {
        EXPECT_EQ(Get().Buffer[2 * i], full[i] & 0xF) << i;
        EXPECT_EQ(Get().Buffer[2 * i + 1], full[i] >> 4) << i;
    }
}

TEST_F(Images, EveryFailureKeepsThePreviousRomLentAndUnchanged)
{
    ASSERT_EQ(KHCreateRom(0x100000), 1u);
    const Image before = Get();
    before.Buffer[0x4321] = 0x9;
    const std::string fifo = (Dir / "fifo").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    Bytes shortSaturn(200, 0);
    std::copy(Saturn, Saturn + 8, shortSaturn.begin());
    for (const std::string& path : {
             (Dir / "missing").string(), Dir.string(), std::string("/dev/zero"), fifo, // no size to go by
             write("short", {'H', 'P', 'H', 'P', '4'}),                              // fewer than 8 bytes
             write("unknown", Bytes(1000, 0x41)),                                    // no signature
             write("almost", Bytes(0x100001, 0)),                                    // neither raw size nor signature
             write("saturn-short", shortSaturn),                                     // shorter than its header
             write("x-over", Packed("HPHP48-X", 8, Bytes(FullRom / 2 + 1, 0x11))),   // one byte too many
         }) {
        EXPECT_EQ(KHLoadRom(path.c_str()), 0u) << path;
        EXPECT_EQ(Get().Buffer, before.Buffer) << path;
        EXPECT_EQ(Get().Size, 0x100000u) << path;
        EXPECT_EQ(KHReadNibble(0x4321), 0x9) << path << ": still lent to the engine";
    }
    EXPECT_EQ(KHLoadRom(nullptr), 0u);
    EXPECT_EQ(Get().Buffer, before.Buffer);
}

} // namespace
