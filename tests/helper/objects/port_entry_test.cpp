// Named entries in port 1: the head, the object, 0x2911 and the CRC,
// written out by hand, with the test's measuring routine in the ROM.
#include <gtest/gtest.h>
#include <string>

#include "tests/helper/objects/placing.h"

namespace {

using test::Nibbles;
using test::Word;
using test::operator+;

// CRC-16/KERMIT, bit by bit over each nibble's four bits, low bit first.
uint32_t BitwiseCrc(const Nibbles& nibbles)
{
    uint32_t crc = 0;
    for (uint8_t nibble : nibbles) {
        crc ^= nibble;
        for (int bit = 0; bit < 4; ++bit)
            crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
    }
    return crc;
}

Nibbles NibblesOf(const std::string& text)
{
    Nibbles nibbles;
    for (unsigned char c : text)
        nibbles = nibbles + Word(c, 2);
    return nibbles;
}

class LoadInPort1 : public ::testing::Test {
protected:
    void SetUp() override
    {
        M.place(test::MeasuringRoutine());
        CreatePort(0x40000);
        KVMemoryConfig(test::Io); // a map of the calculator's own, to be left as it is
        KVSetRegister(KV_REG_D0, 0x12345);
    }
    void CreatePort(uint32_t size)
    {
        ASSERT_EQ(KHCreatePort1(size), 1u);
        KHGetPort1(&Size, &Port);
    }
    Nibbles At(uint32_t offset, uint32_t count) const { return Nibbles(Port + offset, Port + offset + count); }
    uint32_t Load(const char* name, const Nibbles& object, uint32_t count)
    {
        const test::State state = test::SaveState();
        const uint32_t result = KHLoadInPort1(name, object.data(), count);
        EXPECT_TRUE(test::SameState(test::SaveState(), state)) << "registers and memory map as before";
        return result;
    }
    uint32_t Load(const char* name, const Nibbles& object) { return Load(name, object, static_cast<uint32_t>(object.size())); }
    void ExpectRefused(const char* name, const Nibbles& object, uint32_t count, const char* why)
    {
        const Nibbles before = At(0, Size);
        EXPECT_EQ(Load(name, object, count), 0u) << why;
        EXPECT_EQ(At(0, Size), before) << why;
    }

    test::Calculator M;
    uint8_t* Port = nullptr;
    uint32_t Size = 0;
};

TEST(NibbleCrcModel, GivesTheCheckValueOfCrc16Kermit)
{
    EXPECT_EQ(BitwiseCrc(NibblesOf("123456789")), 0x2189u);
}

TEST_F(LoadInPort1, AHundredNibblesNamedAbcLandAtTheStartAndTheNextEntryAfterThem)
{
    const Nibbles object = test::String(90);
    ASSERT_EQ(Load("ABC", object), 1u);
    const Nibbles head = Word(0x2B62) + Word(125) + Word(3, 2) + NibblesOf("ABC") + Word(3, 2);
    EXPECT_EQ(At(0, 130), head + object + Word(0x2911) + Word(BitwiseCrc(object)));
    EXPECT_EQ(At(130, Size - 130), Nibbles(Size - 130, 0));

    const Nibbles binary = test::SystemBinary(0x9ABCD);
    ASSERT_EQ(Load("XY", binary), 1u);
    const Nibbles second = Word(0x2B62) + Word(10 + 18 + 5) + Word(2, 2) + NibblesOf("XY") + Word(2, 2);
    EXPECT_EQ(At(130, 38), second + binary + Word(0x2911) + Word(BitwiseCrc(binary)));
}

TEST_F(LoadInPort1, ANameOf300CharactersKeepsItsFirst255)
{
    std::string name(300, ' ');
    for (size_t i = 0; i < name.size(); ++i)
        name[i] = static_cast<char>('A' + i % 26);
    ASSERT_EQ(Load(name.c_str(), test::SystemBinary(1)), 1u);
    EXPECT_EQ(At(5, 519), Word(10 + 524 + 5) + Word(255, 2) + NibblesOf(name.substr(0, 255)) + Word(255, 2));
}

TEST_F(LoadInPort1, TrailingNibblesPastTheEntryGoBackSoTheNextEntryFollowsIt)
{
    const Nibbles binary = test::SystemBinary(0x27182);
    ASSERT_EQ(Load("T", binary + Nibbles(20, 0xF)), 1u);
    EXPECT_EQ(At(5, 5), Word(10 + 16 + 5));
    EXPECT_EQ(At(26, 40), Word(0x2911) + Word(BitwiseCrc(binary)) + Nibbles(30, 0));
    ASSERT_EQ(Load("U", binary), 1u);
    EXPECT_EQ(At(36, 5), Word(0x2B62));
}

TEST_F(LoadInPort1, TheRoomChecksHoldAtThePortsEndBeforeAndAfterAnEntry)
{
    CreatePort(0x1000); // with an empty name an entry is count + 24 nibbles
    ExpectRefused("", test::String(4062), 4072, "would reach the last nibble");
    ASSERT_EQ(Load("", test::String(4061)), 1u);
    EXPECT_EQ(At(14 + 4071, 11), Word(0x2911) + Word(BitwiseCrc(test::String(4061))) + Nibbles{0});

    CreatePort(0x1000);
    ASSERT_EQ(Load("", test::SystemBinary(3)), 1u); // 34 nibbles
    ExpectRefused("", test::String(4028), 4038, "would reach the last nibble after an entry");
    ExpectRefused("", test::String(5000), 4037, "measured past the port");
    ASSERT_EQ(Load("", test::String(4027)), 1u);
    EXPECT_EQ(At(34, 5), Word(0x2B62));
}

TEST_F(LoadInPort1, RefusalsLeaveNoHalfWrittenHeadAndReadNothingOutOfBounds)
{
    const Nibbles binary = test::SystemBinary(4);
    ExpectRefused("S", test::String(30), 39, "measured longer than the array");
    ExpectRefused("N", binary, 0xFFFFFFF0u, "count + H + 10 wraps in 32 bits");
    ExpectRefused("N", binary, 0, "nothing to place");
    ExpectRefused(nullptr, binary, 10, "no name");
    EXPECT_EQ(KHLoadInPort1("N", nullptr, 10), 0u);

    ASSERT_EQ(Load("A", binary), 1u);
    ExpectRefused("S", test::String(30), 39, "measured longer than the array, after an entry");
    std::fill(Port + 5, Port + 10, 0xF); // a length that sends the walk far past the port
    ExpectRefused("N", binary, 10, "the chain of entries leaves the port");

    CreatePort(0x100000);
    ExpectRefused("N", binary, 10, "larger than the window the measurement maps it into");
    KHDestroyPort1();
    EXPECT_EQ(KHLoadInPort1("N", binary.data(), 10), 0u);
}

} // namespace
