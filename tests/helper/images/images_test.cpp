// Creating, replacing and destroying the images, and nibble access through
// the engine's real memory map.
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

#include "helper/images/images.h"
#include "korvane.h"
#include "tessock.h"

namespace {

struct Image {
    uint32_t Size;
    uint8_t* Buffer;
};

using Getter = void (*)(uint32_t*, uint8_t**);

Image Get(Getter get)
{
    Image image{0xDEAD, reinterpret_cast<uint8_t*>(1)};
    get(&image.Size, &image.Buffer);
    return image;
}

bool AllZero(const Image& image)
{
    return std::all_of(image.Buffer, image.Buffer + image.Size, [](uint8_t b) { return b == 0; });
}

class Images : public ::testing::Test {
protected:
    void SetUp() override
    {
        KVStop();
        KVConfigure(2, 0);
        KVMemoryReset();
    }
};

TEST_F(Images, EachPortIsCreatedZeroedReplacedAndDestroyed)
{
    struct Port {
        uint32_t (*Create)(uint32_t);
        void (*Destroy)();
        Getter Get;
    };
    const Port ports[] = {
        {KHCreatePort0, KHDestroyPort0, KHGetPort0},
        {KHCreatePort1, KHDestroyPort1, KHGetPort1},
        {KHCreatePort2, KHDestroyPort2, KHGetPort2},
        {KHCreateRom, KHDestroyRom, KHGetRom},
    };
    for (const Port& port : ports) {
        const Image none = Get(port.Get);
        EXPECT_EQ(none.Size, 0u);
        EXPECT_EQ(none.Buffer, nullptr);

        ASSERT_EQ(port.Create(0x40000), 1u);
        const Image first = Get(port.Get);
        EXPECT_EQ(first.Size, 0x40000u);
        ASSERT_NE(first.Buffer, nullptr);
        EXPECT_TRUE(AllZero(first));
        first.Buffer[0x123] = 0xC;

        // Below a page, not a power of two, or zero: refused, the old one kept.
        for (uint32_t bad : {0x800u, 0x3000u, 0u, 0x1001u, 0xFFFFFFFFu}) {
            EXPECT_EQ(port.Create(bad), 0u) << bad;
            const Image kept = Get(port.Get);
            EXPECT_EQ(kept.Buffer, first.Buffer);
            EXPECT_EQ(kept.Size, 0x40000u);
            EXPECT_EQ(kept.Buffer[0x123], 0xC);
        }

        ASSERT_EQ(port.Create(0x1000), 1u) << "the smallest image";
        const Image replaced = Get(port.Get);
        EXPECT_EQ(replaced.Size, 0x1000u);
        EXPECT_TRUE(AllZero(replaced)) << "the old contents are gone";

        port.Destroy();
        const Image gone = Get(port.Get);
        EXPECT_EQ(gone.Size, 0u);
        EXPECT_EQ(gone.Buffer, nullptr);
        port.Destroy(); // nothing there: nothing happens
        port.Get(nullptr, nullptr);
    }
}

TEST_F(Images, NibblesAreReadAndWrittenThroughTheConfiguredMemoryMap)
{
    ASSERT_EQ(KHCreateRom(0x100000), 1u);
    ASSERT_EQ(KHCreatePort0(0x40000), 1u);
    ASSERT_EQ(KHCreatePort1(0x40000), 1u);
    ASSERT_EQ(KHCreatePort2(0x20000), 1u);
    const Image rom = Get(KHGetRom), ram = Get(KHGetPort0), port1 = Get(KHGetPort1), port2 = Get(KHGetPort2);
    for (uint32_t a = 0; a < 0x100000; a += 0x1000)
        rom.Buffer[a + 0x140] = 0x5;
    rom.Buffer[0x12345] = 0x10 | 0xB; // a breakpoint tag on nibble B

    // The I/O window at 0x00100, RAM over 0x80000-0xBFFFF, the bank
    // switcher on page 0x7F000, port 1 over 0xC0000-0xDFFFF in a window
    // half its size, port 2 over 0xE0000-0xFFFFF.
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
    EXPECT_EQ(KHReadNibble(0x80005), 0xA);
    EXPECT_EQ(KHReadNibble(0x180005), 0xA) << "only 20 address bits count";
    KHWriteNibble(0xC0010, 0x3);
    EXPECT_EQ(port1.Buffer[0x10], 0x3);
    KHWriteNibble(0xFFFFF, 0x6);
    EXPECT_EQ(port2.Buffer[0x1FFFF], 0x6);
    ram.Buffer[0x3FFFF] = 0x1D;
    EXPECT_EQ(KHReadNibble(0xBFFFF), 0xD) << "a tag is masked off";

    EXPECT_EQ(KHReadNibble(0x12345), 0xB);
    KHWriteNibble(0x12345, 0x4);
    EXPECT_EQ(rom.Buffer[0x12345], 0x04) << "the write clears the breakpoint tag";

    KHDestroyPort2();
    EXPECT_EQ(KHReadNibble(0xFFFFF), 0) << "no image, no nibble";
    KHWriteNibble(0xFFFFF, 0x6); // ignored
    KVMemoryReset();
}

TEST_F(Images, NibbleAccessTouchesNeitherTheCrcNorTheBanks)
{
    ASSERT_EQ(KHCreateRom(0x400000), 1u);
    ASSERT_EQ(KHCreatePort0(0x40000), 1u);
    const Image rom = Get(KHGetRom);
    KVConfigure(2, 1);
    KVSetRegister(KV_REG_LOW_BANK, 2);
    KVSetRegister(KV_REG_HIGH_BANK, 5);
    KVMemoryConfig(0x00100);
    KVMemoryConfig(0xC0000);
    KVMemoryConfig(0x80000);
    rom.Buffer[2 * 0x40000 + 0x234] = 0x8;
    rom.Buffer[5 * 0x40000 + 0x234] = 0x9;

    uint8_t before[512], after[512];
    KVSaveState(before, sizeof before);
    EXPECT_EQ(KHReadNibble(0x00234), 0x8) << "the low bank";
    EXPECT_EQ(KHReadNibble(0x40234), 0x9) << "the high bank";
    KHWriteNibble(0x40235, 0x1);
    EXPECT_EQ(rom.Buffer[5 * 0x40000 + 0x235], 0x1) << "writing into the ROM image is allowed";
    for (uint32_t a = 0x80000; a < 0x80040; ++a)
        KHReadNibble(a);
    KVSaveState(after, sizeof after);
    EXPECT_EQ(std::memcmp(before, after, KV_STATE_SIZE), 0) << "no CRC update, no bank switch";
    EXPECT_EQ(KVGetRegister(KV_REG_HIGH_BANK), 5u);
    KVConfigure(2, 0);
}

TEST_F(Images, ASmallCreatedRomStillCoversEveryBankTheEngineReaches)
{
    ASSERT_EQ(KHCreateRom(0x1000), 1u);
    EXPECT_EQ(tessock::RomImage.Size, 0x1000u);
    EXPECT_EQ(tessock::RomImage.Capacity, KV_ROM_NIBBLES);
    KVConfigure(2, 1);
    KVSetRegister(KV_REG_HIGH_BANK, 15);
    KVSetRegister(KV_REG_PC, 0x7FFFF);
    KVStep(); // the last nibble of bank 15 and the operands past it
    EXPECT_EQ(KHReadNibble(0x7FFFF), 0);
    KHWriteNibble(0x7FFFF, 0x2);
    EXPECT_EQ(tessock::RomImage.Buffer[0x3FFFFF], 0x2);
    KVConfigure(2, 0);
}

} // namespace
