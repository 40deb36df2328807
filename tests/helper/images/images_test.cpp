// The images: created, replaced and destroyed; nibbles through the engine's real memory map; and KHLoadRom
// with files written here in all four formats, every failure of which leaves the ROM that was there.
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/helper/support/calculator.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Getter = void (*)(uint32_t*, uint8_t**);
constexpr uint32_t FullRom = KV_ROM_NIBBLES;
const char Saturn[] = {'S', 'a', 't', 'u', 'r', 'n', '\0', '\3'};

std::pair<uint32_t, uint8_t*> Get(Getter get = KHGetRom)
{
    std::pair<uint32_t, uint8_t*> image{0xDEAD, reinterpret_cast<uint8_t*>(1)};
    get(&image.first, &image.second);
    return image;
}
bool AllZero(const uint8_t* from, const uint8_t* to) { return std::all_of(from, to, [](uint8_t b) { return b == 0; }); }

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

// Bank 15's last nibble and the operands past it: the ROM buffer must reach that far, whatever the image
// (the address sanitizer sees it).
void StepAtTheTopOfBank15()
{
    KVConfigure(2, 1);
    KVSetRegister(KV_REG_HIGH_BANK, 15);
    KVSetRegister(KV_REG_PC, 0x7FFFF);
    KVStep();
    EXPECT_EQ(KHReadNibble(0x7FFFF), 0);
}

class Images : public ::testing::Test {
protected:
    void SetUp() override
    {
        KVStop();
        KVConfigure(2, 0);
        KVMemoryReset();
        // No image yet, whatever an earlier test created.
        for (void (*destroy)() : {KHDestroyPort0, KHDestroyPort1, KHDestroyPort2, KHDestroyRom})
            destroy();
        fs::create_directories(Dir);
    }
    void TearDown() override
    {
        KVConfigure(2, 0);
        fs::remove_all(Dir);
    }
    std::string write(const std::string& name, const Bytes& bytes)
    {
        std::ofstream file(Dir / name, std::ios::binary);
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
        return (Dir / name).string();
    }

    const fs::path Dir = fs::temp_directory_path() / ("tessock-images-" + std::to_string(getpid()));
};

TEST_F(Images, EachImageIsCreatedZeroedReplacedAndDestroyed)
{
    struct Port { uint32_t (*Create)(uint32_t); void (*Destroy)(); Getter Get; };
    for (const Port& port : {Port{KHCreatePort0, KHDestroyPort0, KHGetPort0}, {KHCreatePort1, KHDestroyPort1, KHGetPort1},
                             {KHCreatePort2, KHDestroyPort2, KHGetPort2}, {KHCreateRom, KHDestroyRom, KHGetRom}}) {
        EXPECT_EQ(Get(port.Get), std::make_pair(0u, static_cast<uint8_t*>(nullptr)));
        ASSERT_EQ(port.Create(0x40000), 1u);
        const auto [size, buffer] = Get(port.Get);
        EXPECT_TRUE(size == 0x40000u && AllZero(buffer, buffer + size));
        buffer[0x123] = 0xC;
        for (uint32_t bad : {0x800u, 0x3000u, 0u, 0x1001u, 0xFFFFFFFFu}) { // below a page, or not a power of two
            EXPECT_EQ(port.Create(bad), 0u) << bad;
            EXPECT_EQ(Get(port.Get), std::make_pair(0x40000u, buffer)) << "the old one kept";
            EXPECT_EQ(buffer[0x123], 0xC);
        }
        ASSERT_EQ(port.Create(0x1000), 1u) << "the smallest image";
        const auto [smaller, fresh] = Get(port.Get);
        EXPECT_TRUE(smaller == 0x1000u && AllZero(fresh, fresh + 0x1000)) << "the old contents are gone";
        port.Destroy();
        EXPECT_EQ(Get(port.Get), std::make_pair(0u, static_cast<uint8_t*>(nullptr)));
        port.Destroy();
        port.Get(nullptr, nullptr);
    }
    // A small ROM still gets a buffer that covers every bank the engine reaches.
    ASSERT_EQ(KHCreateRom(0x1000), 1u);
    StepAtTheTopOfBank15();
    KHWriteNibble(0x7FFFF, 0x2);
    EXPECT_EQ(Get().second[0x3FFFFF], 0x2);
}

// Replacing or destroying an image frees the buffer the machine may be reading: the sanitizers see a read once freed.
TEST_F(Images, ImagesReplacedUnderARunningMachineAreNeverReadOnceFreed)
{
    test::Calculator calculator;
    ASSERT_EQ(KHCreatePort0(0x40000), 1u);
    for (uint32_t value : {0x00100u, 0xC0000u, 0x80000u}) // I/O, then RAM at 0x80000
        KVMemoryConfig(value);
    test::Program loop(0x01000);
    loop.label("loop").d1(0x80000).op("1537").op("1517").goto_("loop"); // A=DAT1 W, DAT1=A W
    calculator.load(loop);
    KVRun();
    for (int round = 0; round < 200; ++round) {
        ASSERT_EQ(KHCreatePort0(round % 2 ? 0x40000 : 0x1000), 1u);
        if (round % 3 == 0)
            KHDestroyPort0();
    }
    EXPECT_EQ(KVIsRunning(), 1u) << "it runs on";
    KVStop();
    KHDestroyPort0();
}

TEST_F(Images, NibblesGoThroughTheConfiguredMemoryMapAndNothingElse)
{
    ASSERT_EQ(KHCreateRom(0x100000) + KHCreatePort0(0x40000) + KHCreatePort1(0x40000) + KHCreatePort2(0x20000), 4u);
    uint8_t *rom = Get().second, *ram = Get(KHGetPort0).second;
    uint8_t *port1 = Get(KHGetPort1).second, *port2 = Get(KHGetPort2).second;
    rom[0x00140] = rom[0x7F140] = 0x5;
    rom[0x12345] = 0x10 | 0xB; // a breakpoint tag on nibble B
    // I/O at 0x00100, RAM at 0x80000, the bank switcher on page 0x7F000, port 1 at 0xC0000 in a window half its
    // size, port 2 at 0xE0000.
    for (uint32_t value : {0x00100u, 0xC0000u, 0x80000u, 0xFF000u, 0x7F000u, 0xE0000u, 0xC0000u, 0xE0000u, 0xE0000u})
        KVMemoryConfig(value);
    for (uint32_t offset = 0; offset < 64; ++offset)
        EXPECT_EQ(KHReadNibble(0x00100 + offset), 7) << "I/O register " << offset;
    EXPECT_EQ(KHReadNibble(0x00140), 0x5) << "the page's rest is the ROM underneath";
    EXPECT_EQ(KHReadNibble(0x7F140), 0) << "the bank switcher";
    KHWriteNibble(0x7F140, 0x3);
    KHWriteNibble(0x00105, 0x3);
    EXPECT_EQ(rom[0x7F140], 0x5) << "writes there go nowhere";
    KHWriteNibble(0x80005, 0x1A); // only the low four bits
    EXPECT_EQ(ram[5], 0xA);
    EXPECT_EQ(KHReadNibble(0x180005), 0xA) << "only 20 address bits count";
    KHWriteNibble(0xC0010, 0x3);
    KHWriteNibble(0xFFFFF, 0x6);
    EXPECT_EQ(std::make_pair(port1[0x10], port2[0x1FFFF]), std::make_pair(uint8_t{3}, uint8_t{6}));
    ram[0x3FFFF] = 0x1D;
    EXPECT_EQ(KHReadNibble(0xBFFFF), 0xD) << "a tag is masked off";
    KHWriteNibble(0x12345, 0x4);
    EXPECT_EQ(rom[0x12345], 0x04) << "the write clears the tag";
    KHDestroyPort2();
    EXPECT_EQ(KHReadNibble(0xFFFFF), 0) << "no image, no nibble";
    KHWriteNibble(0xFFFFF, 0x6);

    // Through the banks, with neither a CRC update nor a bank switch.
    ASSERT_EQ(KHCreateRom(FullRom), 1u);
    rom = Get().second;
    KVConfigure(2, 1);
    KVSetRegister(KV_REG_LOW_BANK, 2);
    KVSetRegister(KV_REG_HIGH_BANK, 5);
    rom[2 * 0x40000 + 0x234] = 0x8;
    rom[5 * 0x40000 + 0x234] = 0x9;
    uint8_t before[512], after[512];
    KVSaveState(before, sizeof before);
    EXPECT_EQ(std::make_pair(KHReadNibble(0x00234), KHReadNibble(0x40234)), std::make_pair(uint8_t{8}, uint8_t{9}));
    KHWriteNibble(0x40235, 0x1);
    EXPECT_EQ(rom[5 * 0x40000 + 0x235], 0x1);
    for (uint32_t a = 0x80000; a < 0x80040; ++a)
        KHReadNibble(a);
    KVSaveState(after, sizeof after);
    EXPECT_TRUE(std::equal(before, before + KV_STATE_SIZE, after));
}

// Raw files byte for byte (even after a signature), the packed ones in their nibble order, zero past the data.
TEST_F(Images, RomFilesLoadInTheirFormatsAndEveryFailureKeepsThePreviousRom)
{
    for (uint32_t size : {FullRom, 0x100000u}) {
        Bytes file(size);
        for (uint32_t i = 0; i < size; ++i)
            file[i] = static_cast<uint8_t>((i * 7 + i / 4096) & 0xF);
        std::copy(Saturn, Saturn + 8, file.begin());
        ASSERT_EQ(KHLoadRom(write("raw", file).c_str()), 1u) << size;
        const auto [recorded, rom] = Get();
        EXPECT_EQ(recorded, size) << "the file's size is the image's";
        EXPECT_TRUE(std::equal(file.begin(), file.end(), rom)) << size;
        EXPECT_TRUE(AllZero(rom + size, rom + FullRom + KV_BUFFER_SLACK)) << size;
        EXPECT_EQ(KHReadNibble(0xFFFFF), file[0xFFFFF]) << "lent to the engine, flat";
    }
    StepAtTheTopOfBank15();
    KVConfigure(2, 0);

    const Bytes payload = {0x12, 0xAB, 0xF0, 0x3C};
    const Bytes highFirst = {1, 2, 0xA, 0xB, 0xF, 0, 3, 0xC}, lowFirst = {2, 1, 0xB, 0xA, 0, 0xF, 0xC, 3};
    struct Case { const char* Signature; size_t Skipped; Bytes Payload, Nibbles; }; // Nibbles: the image's first
    for (const Case& c : {Case{Saturn, 256, payload, highFirst}, Case{"HPHP48-W", 13, payload, lowFirst},
                          Case{"HPHP48-X", 8, payload, lowFirst}, Case{"HPHP48-W", 13, {}, {}}}) {
        ASSERT_EQ(KHLoadRom(write("packed", Packed(c.Signature, c.Skipped, c.Payload)).c_str()), 1u) << c.Signature;
        const auto [size, rom] = Get();
        EXPECT_EQ(size, FullRom);
        EXPECT_EQ(Bytes(rom, rom + c.Nibbles.size()), c.Nibbles) << c.Signature;
        EXPECT_TRUE(AllZero(rom + c.Nibbles.size(), rom + FullRom + KV_BUFFER_SLACK)) << c.Signature;
    }
    Bytes full(FullRom / 2);
    for (size_t i = 0; i < full.size(); ++i)
        full[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
    ASSERT_EQ(KHLoadRom(write("full", Packed("HPHP48-X", 8, full)).c_str()), 1u);
    const auto before = Get();
    for (size_t i : {size_t{0}, size_t{1}, full.size() / 2, full.size() - 1})
        EXPECT_EQ(before.second[2 * i] | before.second[2 * i + 1] << 4, full[i]) << i;

    ASSERT_EQ(mkfifo((Dir / "fifo").c_str(), 0600), 0);
    Bytes shortSaturn(200, 0);
    std::copy(Saturn, Saturn + 8, shortSaturn.begin());
    for (const std::string& path : {
             (Dir / "missing").string(), Dir.string(), std::string("/dev/zero"), (Dir / "fifo").string(), // no size
             write("short", {'H', 'P', 'H', 'P', '4'}),                            // fewer than 8 bytes
             write("unknown", Bytes(1000, 0x41)),                                  // no signature
             write("almost", Bytes(0x100001, 0)),                                  // neither raw size nor signature
             write("saturn-short", shortSaturn),                                   // shorter than its header
             write("x-over", Packed("HPHP48-X", 8, Bytes(FullRom / 2 + 1, 0x11))), // one byte too many
         }) {
        EXPECT_EQ(KHLoadRom(path.c_str()), 0u) << path;
        EXPECT_EQ(Get(), before) << path;
        EXPECT_EQ(KHReadNibble(0x02469), full[0x1234] >> 4) << path << ": still lent to the engine";
    }
    EXPECT_EQ(KHLoadRom(nullptr), 0u);
}

} // namespace
