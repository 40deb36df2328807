// Breakpoints and their action against the running engine: Saturn programs
// in the library's ROM image, tags set through the exports, and a window
// that records what the action posts.
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "tests/helper/support/calculator.h"
#include "tests/helper/support/recording_window.h"

namespace {

using namespace std::chrono_literals;
using test::Post;
using test::Program;

constexpr uint32_t Message = 0x8123;
constexpr uint32_t RegA = KV_REG_A_LOW;
constexpr uint32_t RegB = KV_REG_A_LOW + 2;

class Breakpoints : public ::testing::Test {
protected:
    void TearDown() override { KHSetBreakpointAction(0, nullptr, 0); }

    // Runs until the engine stops itself, and gives any second post a
    // moment to show up: one hit must post exactly once. The post.
    Post RunToNextStop()
    {
        const size_t before = W.count();
        KVRun();
        EXPECT_TRUE(test::WaitUntil([&] { return W.count() > before && !KVIsRunning(); }, 10s));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(W.count(), before + 1) << "one post per stop";
        return W.posts().back();
    }
    void RunAWhile()
    {
        KVRun();
        std::this_thread::sleep_for(50ms);
        KVStop();
    }
    bool Tagged(uint32_t offset) const { return (M.Rom[offset] & 0x10) != 0; }

    test::Calculator M;
    test::RecordingWindow W;
};

// A=A+1 A, then the instruction at "mark" (B=B+1 A), round and round.
Program CountingLoop(uint32_t origin)
{
    Program p(origin);
    p.label("loop").op("E4").label("mark").op("E5").goto_("loop");
    return p;
}

TEST_F(Breakpoints, ATagTrapsOncePerHitUnderActionOneAndRunsPlainlyUnderActionZero)
{
    const Program loop = CountingLoop(0x01000);
    const uint32_t mark = loop.at("mark");
    M.load(loop);
    KVSetRegister(RegA, 0);
    KVSetRegister(RegB, 0);
    KHAddBreakpoint(mark);
    EXPECT_EQ(M.Rom[mark], 0x1E) << "the nibble keeps its value beside the tag";
    KHSetBreakpointAction(1, &W.Window, Message);
    for (int hit = 0; hit < 2; ++hit) { // the tag stays: the second run stops at once
        EXPECT_EQ(RunToNextStop(), (Post{Message, 0, 0}));
        EXPECT_EQ(KVGetRegister(KV_REG_PC), mark);
        EXPECT_EQ(KVGetRegister(RegA), 1u) << "the instruction before ran once";
        EXPECT_EQ(KVGetRegister(RegB), 0u) << "the tagged one never";
    }

    KHSetBreakpointAction(0, &W.Window, Message);
    KHSetBreakpointAction(7, &W.Window, Message); // no action: changes nothing
    RunAWhile();
    EXPECT_GT(KVGetRegister(RegB), 10u) << "the tag ran as a plain instruction";
    EXPECT_EQ(W.count(), 2u);
    EXPECT_TRUE(Tagged(mark));

    KHSetBreakpointAction(1, &W.Window, Message + 1);
    KHSetBreakpointAction(-1, nullptr, 0);
    EXPECT_EQ(RunToNextStop(), (Post{Message + 1, 0, 0}));
    EXPECT_EQ(KVGetRegister(KV_REG_PC), mark);

    KHSetBreakpointAction(1, nullptr, Message); // no window: the engine still stops
    KVRun();
    EXPECT_TRUE(test::WaitUntil([] { return !KVIsRunning(); }, 10s));
    EXPECT_EQ(KVGetRegister(KV_REG_PC), mark);
}

TEST_F(Breakpoints, ACallPostsOneAReturnTwoAndAJumpThroughMemoryZero)
{
    Program p(0x01000);
    p.gosub("sub").label("back").la(5, 0x02000).op("808C"); // PC=(A)
    p.label("sub").rtn();
    p.label("spin").goto_("spin");
    Program table(0x02000);
    table.imm(p.at("spin"), 5);
    M.place(table);
    M.load(p);
    KHSetBreakpointAction(1, &W.Window, Message);
    EXPECT_EQ(RunToNextStop(), (Post{Message, 1, 0}));
    EXPECT_EQ(KVGetRegister(KV_REG_PC), p.at("sub")) << "stopped just after the push";
    EXPECT_EQ(RunToNextStop(), (Post{Message, 2, 0}));
    EXPECT_EQ(KVGetRegister(KV_REG_PC), p.at("back"));
    EXPECT_EQ(RunToNextStop(), (Post{Message, 0, 0}));
    EXPECT_EQ(KVGetRegister(KV_REG_PC), p.at("spin"));
}

TEST_F(Breakpoints, ABankedRomAddressTagsItsBankWhateverIsMappedAndIgnoresBits18And19)
{
    KVConfigure(2, 1);
    KVSetRegister(KV_REG_LOW_BANK, 0);
    KVSetRegister(KV_REG_HIGH_BANK, 3);
    // Executed at 0x40121 through the high bank: image offset 3 x 0x40000 + 0x121.
    const Program loop = CountingLoop(0x40121);
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
    RunToNextStop();
    EXPECT_EQ(KVGetRegister(KV_REG_PC), 0x40123u);
    KHRemoveRomBreakpoint(0x300123);

    // By calculator address, the bank mapped at the time decides.
    KVSetRegister(KV_REG_HIGH_BANK, 1);
    KHAddBreakpoint(0x40123);
    EXPECT_FALSE(Tagged(Offset));
    EXPECT_TRUE(Tagged(0x40123));
}

TEST_F(Breakpoints, PlacesWithoutAnImageByteAreIgnoredAndTagsDoNotCount)
{
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
