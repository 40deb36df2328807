// Placing objects on the data stack in RAM at 0x80000 and as named entries in port 1, measured by the
// test's own routine at 0x3019; the memory after each call is written out by hand.
#include <functional>
#include <gtest/gtest.h>

#include "tests/helper/support/calculator.h"
#include "tests/helper/support/kermit_model.h"

namespace {

using namespace std::chrono_literals;
using Nibbles = std::vector<uint8_t>;

constexpr uint32_t Ram = 0x80000, RamSize = 0x10000, ObjectAreaEnd = 0x806EE, FreeCells = 0x8082E;

Nibbles Word(uint64_t value, unsigned count = 5)
{
    Nibbles word;
    for (unsigned i = 0; i < count; ++i)
        word.push_back(static_cast<uint8_t>((value >> (4 * i)) & 15));
    return word;
}
Nibbles operator+(Nibbles a, const Nibbles& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
// A string of count body nibbles (10 + count in all), a system binary, a name.
Nibbles String(size_t count)
{
    Nibbles string = Word(0x02A2C) + Word(5 + count);
    for (size_t i = 0; i < count; ++i)
        string.push_back(static_cast<uint8_t>((i * 7 + 5) & 15));
    return string;
}
Nibbles Binary(uint32_t value) { return Word(0x02911) + Word(value); }
Nibbles Text(const std::string& text)
{
    Nibbles nibbles;
    for (unsigned char c : text)
        nibbles = nibbles + Word(c, 2);
    return nibbles;
}
uint32_t Crc(const Nibbles& nibbles) { return test::kermit::Crc(nibbles, 4); }
void Put(uint8_t* ram, uint32_t address, const Nibbles& n) { std::copy(n.begin(), n.end(), ram + address - Ram); }
Nibbles At(const uint8_t* image, uint32_t offset, uint32_t count) { return {image + offset, image + offset + count}; }

// The call, which must leave the registers, return stack and memory map as they were.
uint32_t Checked(const std::function<uint32_t()>& call)
{
    uint8_t before[512], after[512];
    KVSaveState(before, sizeof before);
    const uint32_t result = call();
    KVSaveState(after, sizeof after);
    EXPECT_EQ(Nibbles(before, before + KV_STATE_SIZE), Nibbles(after, after + KV_STATE_SIZE)) << "machine state";
    return result;
}
uint32_t Push(const Nibbles& object, uint32_t n) { return Checked([&] { return KHPushObject(object.data(), n); }); }
uint32_t Load(const char* name, const Nibbles& object, uint32_t count = ~0u) // ~0: the whole object
{
    return Checked([&] { return KHLoadInPort1(name, object.data(), ~count ? count : uint32_t(object.size())); });
}

class Objects : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Moves D0 past the object at D0: a system binary (02911) is 10 nibbles, a string (02A2C) or code object
        // (02DCC) 5 plus its length field, which counts itself, and anything else 5.
        test::Program p(0x3019);
        p.op("142164").lc(5, 0x02911).op("8A2").goyes("fixed"); // A=DAT0 A (the prolog), D0=D0+ 5, ?C=A A
        p.lc(5, 0x02A2C).op("8A2").goyes("sized").lc(5, 0x02DCC).op("8A2").goyes("sized").rtn();
        p.label("fixed").op("164").rtn();
        p.label("sized").op("146132CA130").rtn(); // C=DAT0 A, AD0EX, A=A+C A, D0=A
        M.place(p);
        ASSERT_EQ(KHCreatePort0(RamSize) + KHCreatePort1(0x40000), 2u);
        KHGetPort0(&Size, &Memory);
        KHGetPort1(&Size, &Port);
        // A map and registers of the calculator's own, to be left as they are.
        for (uint32_t value : {test::Io, 0xF0000u, Ram})
            KVMemoryConfig(value);
        KVSetRegister(KV_REG_D0, 0x12345);
        KVRstkPush(0x54321);
    }
    void TearDown() override { KHSetBreakpointAction(0, nullptr, 0); }

    // RAM in a pattern, the block from P to Q holding 1, 2, 3 ..., and the words.
    Nibbles Prepare(uint32_t p, uint32_t q, uint32_t r)
    {
        for (uint32_t i = 0; i < RamSize; ++i)
            Memory[i] = static_cast<uint8_t>(Ram + i >= p && Ram + i < q ? (Ram + i - p + 1) & 15 : (i * 5 + 9) & 15);
        Put(Memory, ObjectAreaEnd, Word(p) + Word(q) + Word(r));
        Put(Memory, FreeCells, Word(r >= q ? (r - q) / 5 : 0));
        return Nibbles(Memory, Memory + RamSize);
    }
    void ExpectRefused(const char* name, const Nibbles& object, uint32_t count, const char* why)
    {
        const Nibbles before = At(Port, 0, Size);
        EXPECT_EQ(Load(name, object, count), 0u) << why;
        EXPECT_EQ(At(Port, 0, Size), before) << why;
    }
    void NewPort(uint32_t size)
    {
        ASSERT_EQ(KHCreatePort1(size), 1u);
        KHGetPort1(&Size, &Port);
    }

    test::Calculator M;
    uint8_t *Memory = nullptr, *Port = nullptr;
    uint32_t Size = 0;
};

TEST_F(Objects, PushesLeaveTheEntriesTheMovedBlockAndTheStackCellsAndWriteOverTrailingNibbles)
{
    Nibbles expected = Prepare(0x81000, 0x81008, 0x81100);
    ASSERT_EQ(Push(String(3), 13), 1u); // the entry is 0, the string, 19
    Put(expected.data(), 0x81000, Nibbles{0} + String(3) + Word(19) + Nibbles{1, 2, 3, 4, 5, 6, 7, 8});
    Put(expected.data(), ObjectAreaEnd, Word(0x81013) + Word(0x8101B) + Word(0x810FB));
    Put(expected.data(), FreeCells, Word(44)); // (0x81100 - 0x8101B) / 5 - 1
    Put(expected.data(), 0x810FB, Word(0x81001));
    EXPECT_EQ(At(Memory, 0, RamSize), expected);
    ASSERT_EQ(Push(Binary(0xABCDE) + Nibbles{15, 15, 15, 15}, 14), 1u); // trailing nibbles are not the object's
    Put(expected.data(), 0x81013, Nibbles{0} + Binary(0xABCDE) + Word(16) + Nibbles{1, 2, 3, 4, 5, 6, 7, 8});
    Put(expected.data(), ObjectAreaEnd, Word(0x81023) + Word(0x8102B) + Word(0x810F6));
    Put(expected.data(), FreeCells, Word(40)); // (0x810FB - 0x8102B) / 5 - 1
    Put(expected.data(), 0x810F6, Word(0x81014));
    EXPECT_EQ(At(Memory, 0, RamSize), expected);

    Prepare(0x81000, 0x81000, 0x8101A); // P + count + 16 = R: room
    ASSERT_EQ(Push(Binary(0x24680), 10), 1u);
    EXPECT_EQ(At(Memory, FreeCells - Ram, 5), Word(1)) << "(0x8101A - 0x81010) / 5 - 1";
    Prepare(0x81000, 0x81010, 0x81025); // the last cell taken: level 1 right after the moved block
    ASSERT_EQ(Push(Binary(0x11111), 10), 1u);
    EXPECT_EQ(At(Memory, 0x1020, 5) + At(Memory, FreeCells - Ram, 5), Word(0x81001) + Word(0));

    // Tags in the measuring routine neither trap nor post, and the action stays on.
    test::RecordingWindow window;
    Prepare(0x81000, 0x81008, 0x81100);
    KHAddBreakpoint(0x3019);
    KHAddBreakpoint(0x3019 + 3);
    KHSetBreakpointAction(1, &window.Window, 77);
    ASSERT_EQ(Push(String(2), 12), 1u);
    ASSERT_EQ(Load("A", Binary(0)), 1u);
    EXPECT_TRUE(window.posts().empty()) << "neither the tags nor the routine's call and return";
    test::Program loop(0x01000);
    M.load(loop.label("loop").breakpoint().op("E4").goto_("loop"));
    KVRun();
    ASSERT_TRUE(test::WaitUntil([&] { return window.posts().size() == 1 && !KVIsRunning(); }, 10s));
    EXPECT_EQ(window.posts()[0], (test::Post{77, 0, 0}));
}

TEST_F(Objects, RefusedPushesLeaveMemoryExactlyAsItWas)
{
    const struct { uint32_t P, Q, R; Nibbles Object; uint32_t Count; const char* Why; } cases[] = {
        {0x81000, 0x81000, 0x81019, Binary(1), 10, "P + count + 16 one past R"},
        {0x81000, 0x81008, 0x81100, String(20), 29, "measured longer than the array"},
        {0x81000, 0x81008, 0x81100, String(20), 12, "measured longer than the array"},
        {0x81000, 0x81010, 0x81024, Binary(1), 10, "no cell left for the new level 1"},
        {0x81000, 0x81010, 0x8101C, Binary(1), 10, "the moved block would reach into the stack"},
        {0x81000, 0x81008, 0x81100, Binary(1), 0xFFFFFFF8u, "P + count + 16 wraps in 32 bits"},
        {0x81000, 0x81008, 0x81100, Binary(1), 0, "nothing to place"},
        {0x81010, 0x81000, 0x81100, Binary(1), 10, "Q below P"},
        {0x81000, 0x81200, 0x81100, Binary(1), 10, "Q above R"},
    };
    for (const auto& c : cases) {
        Prepare(c.P, c.Q, c.R);
        KHAddBreakpoint(c.P + 3); // a tag in the block comes back too
        const Nibbles before = At(Memory, 0, RamSize);
        EXPECT_EQ(Push(c.Object, c.Count), 0u) << c.Why;
        EXPECT_EQ(At(Memory, 0, RamSize), before) << c.Why;
    }
    Prepare(0x81000, 0x81008, 0x81100);
    EXPECT_EQ(KHPushObject(nullptr, 10), 0u);
}

TEST_F(Objects, EntriesInPort1FollowOneAnotherWithNameObject2911AndCrc)
{
    EXPECT_EQ(Crc(Text("123456789")), 0x2189u) << "the CRC model's check value";
    // "ABC" with 100 nibbles: length field 125, 0x2911 at 120, the CRC at 125, the end at 130.
    ASSERT_EQ(Load("ABC", String(90)), 1u);
    EXPECT_EQ(At(Port, 0, Size), Word(0x2B62) + Word(125) + Word(3, 2) + Text("ABC") + Word(3, 2) + String(90) +
                                     Word(0x2911) + Word(Crc(String(90))) + Nibbles(Size - 130, 0));
    ASSERT_EQ(Load("XY", Binary(0x9ABCD) + Nibbles(20, 0xF)), 1u); // trailing nibbles go back
    EXPECT_EQ(At(Port, 130, 58), Word(0x2B62) + Word(10 + 18 + 5) + Word(2, 2) + Text("XY") + Word(2, 2) +
                                     Binary(0x9ABCD) + Word(0x2911) + Word(Crc(Binary(0x9ABCD))) + Nibbles(20, 0));
    ASSERT_EQ(Load("U", Binary(1)), 1u);
    EXPECT_EQ(At(Port, 168, 5), Word(0x2B62));
    std::string name(300, ' ');
    for (size_t i = 0; i < name.size(); ++i)
        name[i] = static_cast<char>('A' + i % 26);
    NewPort(0x1000);
    ASSERT_EQ(Load(name.c_str(), Binary(1)), 1u);
    EXPECT_EQ(At(Port, 5, 519), Word(10 + 524 + 5) + Word(255, 2) + Text(name.substr(0, 255)) + Word(255, 2))
        << "255 characters kept";
}

TEST_F(Objects, Port1EntriesNeedRoomBeforeTheLastNibbleAndAnObjectAsLongAsItsArray)
{
    NewPort(0x1000); // with an empty name an entry is count + 24 nibbles
    ExpectRefused("", String(4062), 4072, "would reach the last nibble");
    ASSERT_EQ(Load("", String(4061)), 1u);
    EXPECT_EQ(At(Port, 14 + 4071, 11), Word(0x2911) + Word(Crc(String(4061))) + Nibbles{0});
    NewPort(0x1000);
    ASSERT_EQ(Load("", Binary(3)), 1u); // 34 nibbles
    ExpectRefused("", String(4028), 4038, "would reach the last nibble after an entry");
    ExpectRefused("", String(5000), 4037, "measured past the port");
    ExpectRefused("S", String(30), 39, "measured longer than the array");
    ExpectRefused("N", Binary(4), 0xFFFFFFF0u, "count + H + 10 wraps in 32 bits");
    ExpectRefused("N", Binary(4), 0, "nothing to place");
    ExpectRefused(nullptr, Binary(4), 10, "no name");
    EXPECT_EQ(KHLoadInPort1("N", nullptr, 10), 0u);
    ASSERT_EQ(Load("", String(4027)), 1u);
    EXPECT_EQ(At(Port, 34, 5), Word(0x2B62));
    std::fill(Port + 5, Port + 10, 0xF); // a length that sends the walk far past the port
    ExpectRefused("N", Binary(4), 10, "the chain of entries leaves the port");
    NewPort(0x100000);
    ExpectRefused("N", Binary(4), 10, "larger than the window the measurement maps it into");
    KHDestroyPort1();
    EXPECT_EQ(KHLoadInPort1("N", Binary(4).data(), 10), 0u);
}

} // namespace
