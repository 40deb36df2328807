// Breakpoints and their action against the running engine, with a window that records what the action posts.
#include <gtest/gtest.h>

#include "tests/helper/support/calculator.h"

namespace {

using namespace std::chrono_literals;
using test::Post;
using test::Program;

constexpr uint32_t Message = 0x8123, RegA = KV_REG_A_LOW, RegB = KV_REG_A_LOW + 2;

class Breakpoints : public ::testing::Test {
protected:
    void TearDown() override { KHSetBreakpointAction(0, nullptr, 0); }

    // Runs until the engine stops itself, with a moment for a second post to show up: one hit posts exactly once.
    std::pair<Post, uint32_t> RunToNextStop()
    {
        const size_t before = W.posts().size();
        KVRun();
        EXPECT_TRUE(test::WaitUntil([&] { return W.posts().size() > before && !KVIsRunning(); }, 10s));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(W.posts().size(), before + 1) << "one post per stop";
        return {W.posts().empty() ? Post{} : W.posts().back(), KVGetRegister(KV_REG_PC)};
    }
    bool Tagged(uint32_t offset) const { return (M.Rom[offset] & 0x10) != 0; }

    test::Calculator M;
    test::RecordingWindow W;
};

// A=A+1 A, then the instruction at "mark" (B=B+1 A), round and round.
Program CountingLoop(uint32_t origin)
{
    return Program(origin).label("loop").op("E4").label("mark").op("E5").goto_("loop");
}

TEST_F(Breakpoints, ATagTrapsOncePerHitUnderActionOneAndRunsPlainlyUnderActionZero)
{
    const Program loop = CountingLoop(0x01000);
    const uint32_t mark = loop.at("mark");
    M.load(loop);
    KVSetRegister(RegA, 0); // the counts start from nothing, whatever ran before
    KVSetRegister(RegB, 0);
    KHAddBreakpoint(mark);
    EXPECT_EQ(M.Rom[mark], 0x1E) << "the nibble keeps its value beside the tag";
    KHSetBreakpointAction(1, &W.Window, Message);
    for (int hit = 0; hit < 2; ++hit) { // the tag stays: the second run stops at once
        EXPECT_EQ(RunToNextStop(), std::make_pair(Post{Message, 0, 0}, mark));
        EXPECT_EQ(KVGetRegister(RegA), 1u) << "the instruction before ran once";
        EXPECT_EQ(KVGetRegister(RegB), 0u) << "the tagged one never";
    }
    KHSetBreakpointAction(0, &W.Window, Message);
    KHSetBreakpointAction(7, &W.Window, Message); // no action: changes nothing
    // In short runs, read between them: each stop takes the engine back to
    // one instruction per slice, and a loaded host may keep it waiting.
    EXPECT_TRUE(test::WaitUntil([] {
        KVRun();
        std::this_thread::sleep_for(10ms);
        KVStop();
        return KVGetRegister(RegB) > 10;
    }, 10s)) << "the tag ran as a plain instruction";
    EXPECT_EQ(W.posts().size(), 2u);
    EXPECT_TRUE(Tagged(mark));

    KHSetBreakpointAction(1, &W.Window, Message + 1);
    KHSetBreakpointAction(-1, nullptr, 0);
    EXPECT_EQ(RunToNextStop(), std::make_pair(Post{Message + 1, 0, 0}, mark));
    KHSetBreakpointAction(1, nullptr, Message); // no window: the engine still stops
    KVRun();
    EXPECT_TRUE(test::WaitUntil([] { return !KVIsRunning(); }, 10s));
    EXPECT_EQ(KVGetRegister(KV_REG_PC), mark);
}

TEST_F(Breakpoints, ACallPostsOneAReturnTwoAndAJumpThroughMemoryZero)
{
    Program p(0x01000);
    p.gosub("sub").label("back").la(5, 0x02000).op("808C"); // PC=(A)
    p.label("sub").rtn().label("spin").goto_("spin");
    M.place(Program(0x02000).imm(p.at("spin"), 5));
    M.load(p);
    KHSetBreakpointAction(1, &W.Window, Message);
    EXPECT_EQ(RunToNextStop(), std::make_pair(Post{Message, 1, 0}, p.at("sub"))) << "stopped just after the push";
    EXPECT_EQ(RunToNextStop(), std::make_pair(Post{Message, 2, 0}, p.at("back")));
    EXPECT_EQ(RunToNextStop(), std::make_pair(Post{Message, 0, 0}, p.at("spin")));
}

TEST_F(Breakpoints, AddressesTagTheirImageByteOrNothing)
{
    // A banked ROM address tags its bank whatever is mapped, bits 18 and 19 aside.
    KVConfigure(2, 1);
    KVSetRegister(KV_REG_LOW_BANK, 0);
    KVSetRegister(KV_REG_HIGH_BANK, 3);
    const Program loop = CountingLoop(0x40121); // through the high bank: 3 x 0x40000 + 0x121
    for (const Program::Placed& nibble : loop.build())
        M.Rom[3 * 0x40000 + (nibble.Address & 0x3FFFF)] = nibble.Byte;
    constexpr uint32_t Offset = 3 * 0x40000 + 0x123;
    KHAddRomBreakpoint(0x300123 | 0xC0000);
    EXPECT_EQ(M.Rom[Offset], 0x1E);
    KHRemoveRomBreakpoint(0x300123);
    EXPECT_EQ(M.Rom[Offset], 0x0E) << "bits 18 and 19 name the same place";
    KHAddRomBreakpoint(0x300123 | 0x40000);
    KVSetRegister(KV_REG_PC, loop.origin());
    KHSetBreakpointAction(1, &W.Window, Message);
    EXPECT_EQ(RunToNextStop().second, 0x40123u);
    KHRemoveRomBreakpoint(0x300123);
    KVSetRegister(KV_REG_HIGH_BANK, 1);
    KHAddBreakpoint(0x40123); // by calculator address the bank mapped now decides
    EXPECT_FALSE(Tagged(Offset));
    EXPECT_TRUE(Tagged(0x40123));
    KVConfigure(2, 0);

    KHAddRomBreakpoint(0x400123); // bank 4 lies beyond a ROM of 0x100000 nibbles
    EXPECT_EQ(M.Rom[0x100123], 0) << "although the engine's buffer reaches that far";
    KVMemoryConfig(test::Io);
    KHAddBreakpoint(test::Io + 0x10);
    EXPECT_EQ(M.Rom[test::Io + 0x10], 0) << "the I/O registers have no byte to tag";
    KHAddBreakpoint(test::Io + 0x40);
    EXPECT_TRUE(Tagged(test::Io + 0x40)) << "past their window the page is the ROM's";
    KHAddBreakpoint(0xABC01234); // only the low 20 bits count
    KHAddBreakpoint(0x01234);
    KHRemoveBreakpoint(0x01234);
    EXPECT_EQ(M.Rom[0x01234], 0) << "added twice, removed once: gone";
    KHDestroyRom();
    KHAddRomBreakpoint(0x000123);
    KHRemoveRomBreakpoint(0x000123);
    KHAddBreakpoint(0x00123);
}

} // namespace
