// Pushing objects on the calculator's data stack: RAM at 0x80000 holding
// the four words of the object area and stack, the test's own measuring
// routine in the ROM, and the memory after each push written out by hand.
#include <gtest/gtest.h>

#include "tests/helper/objects/placing.h"
#include "tests/helper/support/recording_window.h"

namespace {

using namespace std::chrono_literals;
using test::Nibbles;
using test::Word;
using test::operator+;

constexpr uint32_t RamBase = 0x80000;
constexpr uint32_t RamSize = 0x10000;
// Followed by FreeAreaStart and DataStackTop, five nibbles each.
constexpr uint32_t ObjectAreaEnd = 0x806EE;
constexpr uint32_t FreeCells = 0x8082E;

void Put(uint8_t* ram, uint32_t address, const Nibbles& nibbles)
{
    std::copy(nibbles.begin(), nibbles.end(), ram + (address - RamBase));
}

class PushObject : public ::testing::Test {
protected:
    void SetUp() override
    {
        M.place(test::MeasuringRoutine());
        ASSERT_EQ(KHCreatePort0(RamSize), 1u);
        uint32_t size = 0;
        KHGetPort0(&size, &Ram);
        KVMemoryConfig(test::Io);
        KVMemoryConfig(0xF0000); // RAM: size, then base
        KVMemoryConfig(RamBase);
        KVSetRegister(KV_REG_D0, 0x12345);
        KVRstkPush(0x54321);
    }
    void TearDown() override { KHSetBreakpointAction(0, nullptr, 0); }

    // RAM in a pattern, the block from P to Q holding 1, 2, 3 ..., and the
    // four words.
    void Prepare(uint32_t p, uint32_t q, uint32_t r)
    {
        for (uint32_t i = 0; i < RamSize; ++i)
            Ram[i] = static_cast<uint8_t>((i * 5 + 9) & 15);
        for (uint32_t a = p; a < q; ++a)
            Ram[a - RamBase] = static_cast<uint8_t>((a - p + 1) & 15);
        Put(Ram, ObjectAreaEnd, Word(p) + Word(q) + Word(r));
        Put(Ram, FreeCells, Word(r >= q ? (r - q) / 5 : 0));
    }
    Nibbles Memory() const { return Nibbles(Ram, Ram + RamSize); }
    Nibbles At(uint32_t address, uint32_t count) const { return Nibbles(Ram + (address - RamBase), Ram + (address - RamBase) + count); }
    uint32_t Push(const Nibbles& object, uint32_t count)
    {
        const test::State state = test::SaveState();
        const uint32_t result = KHPushObject(object.data(), count);
        EXPECT_TRUE(test::SameState(test::SaveState(), state)) << "registers and memory map as before";
        return result;
    }

    test::Calculator M;
    uint8_t* Ram = nullptr;
};

TEST_F(PushObject, OneAndTwoPushesLeaveTheEntriesTheMovedBlockAndTheStackCells)
{
    Prepare(0x81000, 0x81008, 0x81100);
    Nibbles expected = Memory();
    const Nibbles string = test::String(3); // 13 nibbles: the entry is 0, the string, 19
    ASSERT_EQ(Push(string, 13), 1u);
    Put(expected.data(), 0x81000, Nibbles{0} + string + Word(19) + Nibbles{1, 2, 3, 4, 5, 6, 7, 8});
    Put(expected.data(), ObjectAreaEnd, Word(0x81013) + Word(0x8101B) + Word(0x810FB));
    Put(expected.data(), FreeCells, Word(44)); // (0x81100 - 0x8101B) / 5 - 1
    Put(expected.data(), 0x810FB, Word(0x81001));
    EXPECT_EQ(Memory(), expected);

    const Nibbles binary = test::SystemBinary(0xABCDE);
    ASSERT_EQ(Push(binary, 10), 1u);
    Put(expected.data(), 0x81013, Nibbles{0} + binary + Word(16) + Nibbles{1, 2, 3, 4, 5, 6, 7, 8});
    Put(expected.data(), ObjectAreaEnd, Word(0x81023) + Word(0x8102B) + Word(0x810F6));
    Put(expected.data(), FreeCells, Word(40)); // (0x810FB - 0x8102B) / 5 - 1
    Put(expected.data(), 0x810F6, Word(0x81014));
    EXPECT_EQ(Memory(), expected);
}

TEST_F(PushObject, RoomForPPlusCountPlus16UpToRAndTrailingNibblesWrittenOver)
{
    const Nibbles binary = test::SystemBinary(0x24680);
    Prepare(0x81000, 0x81000, 0x8101A);
    ASSERT_EQ(Push(binary, 10), 1u);
    EXPECT_EQ(At(FreeCells, 5), Word(1)) << "(0x8101A - 0x81010) / 5 - 1";

    Prepare(0x81000, 0x81008, 0x81100);
    Nibbles expected = Memory();
    ASSERT_EQ(Push(binary + Nibbles{15, 15, 15, 15}, 14), 1u);
    Put(expected.data(), 0x81000, Nibbles{0} + binary + Word(16) + Nibbles{1, 2, 3, 4, 5, 6, 7, 8});
    Put(expected.data(), ObjectAreaEnd, Word(0x81010) + Word(0x81018) + Word(0x810FB));
    Put(expected.data(), FreeCells, Word(45));
    Put(expected.data(), 0x810FB, Word(0x81001));
    EXPECT_EQ(Memory(), expected);
}

TEST_F(PushObject, RefusedPushesLeaveMemoryExactlyAsItWas)
{
    struct Case {
        uint32_t P, Q, R;
        Nibbles Object;
        uint32_t Count;
        const char* Why;
    };
    const Nibbles binary = test::SystemBinary(0x11111);
    const Case cases[] = {
        {0x81000, 0x81000, 0x81019, binary, 10, "P + count + 16 one past R"},
        {0x81000, 0x81008, 0x81100, test::String(20), 29, "measured longer than the array"},
        {0x81000, 0x81008, 0x81100, test::String(20), 12, "measured longer than the array"},
        {0x81000, 0x81010, 0x81024, binary, 10, "no cell left for the new level 1"},
        {0x81000, 0x81010, 0x8101C, binary, 10, "the moved block would reach into the stack"},
        {0x81000, 0x81008, 0x81100, binary, 0xFFFFFFF8u, "P + count + 16 wraps in 32 bits"},
        {0x81000, 0x81008, 0x81100, binary, 0, "nothing to place"},
        {0x81010, 0x81000, 0x81100, binary, 10, "Q below P"},
        {0x81000, 0x81200, 0x81100, binary, 10, "Q above R"},
    };
    for (const Case& c : cases) {
        Prepare(c.P, c.Q, c.R);
        KHAddBreakpoint(c.P + 3); // a tag in the block comes back too
        const Nibbles before = Memory();
        EXPECT_EQ(Push(c.Object, c.Count), 0u) << c.Why;
        EXPECT_EQ(Memory(), before) << c.Why;
    }
    EXPECT_EQ(KHPushObject(nullptr, 10), 0u);

    // The last cell taken: level 1 right after the moved block, no cell free.
    Prepare(0x81000, 0x81010, 0x81025);
    ASSERT_EQ(Push(binary, 10), 1u);
    EXPECT_EQ(At(0x81020, 5), Word(0x81001));
    EXPECT_EQ(At(FreeCells, 5), Word(0));
}

TEST_F(PushObject, TagsInTheMeasuringRoutineNeitherTrapNorPostAndTheActionStaysOn)
{
    test::RecordingWindow window;
    Prepare(0x81000, 0x81008, 0x81100);
    KHAddBreakpoint(0x3019);
    KHAddBreakpoint(0x3019 + 3);
    KHSetBreakpointAction(1, &window.Window, 77);
    ASSERT_EQ(Push(test::String(2), 12), 1u);
    ASSERT_EQ(KHCreatePort1(0x1000), 1u);
    ASSERT_EQ(KHLoadInPort1("A", test::SystemBinary(0).data(), 10), 1u);
    EXPECT_EQ(window.count(), 0u) << "neither the tags nor the routine's call and return";

    test::Program loop(0x01000);
    loop.label("loop").breakpoint().op("E4").goto_("loop");
    M.load(loop);
    KVRun();
    ASSERT_TRUE(test::WaitUntil([&] { return window.count() == 1 && !KVIsRunning(); }, 10s));
    EXPECT_EQ(window.posts()[0], (test::Post{77, 0, 0}));
}

} // namespace
