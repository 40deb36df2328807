// Breakpoints and their action against the running engine: Saturn programs
// in the library's ROM image, tags set through the exports, and a window
// that records what the action posts.
#include <chrono>
#include <gtest/gtest.h>
#include <thread>

#include "korvane.h"
#include "tessock.h"
#include "tests/helper/support/calculator.h"
#include "tests/helper/support/recording_window.h"

namespace {

using namespace std::chrono_literals;
using test::Calculator;
using test::Post;
using test::Program;

constexpr uint32_t Message = 0x8123;
constexpr uint32_t RegA = KV_REG_A_LOW;
constexpr uint32_t RegB = KV_REG_A_LOW + 2;

class Breakpoints : public ::testing::Test {
protected:
    void TearDown() override
    {
        KHSetBreakpointAction(0, nullptr, 0);
        KVStop();
    }

    // Runs until the engine has stopped itself with the posts counted so
    // far plus one, then gives the rest a moment to show up: one hit must
    // post exactly once.
    void RunToNextStop()
    {
        const size_t before = W.count();
        KVRun();
        ASSERT_TRUE(test::WaitUntil([&] { return W.count() > before && !KVIsRunning(); }, 10s));
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(W.count(), before + 1) << "one post per stop";
        EXPECT_FALSE(KVIsRunning());
    }

    // Runs a while, then stops from here.
    void RunAWhile()
    {
        KVRun();
        std::this_thread::sleep_for(50ms);
        KVStop();
    }

    bool Tagged(uint32_t offset) const { return (M.Rom[offset] & 0x10) != 0; }

    Calculator M;
    test::RecordingWindow W;
};

// A=A+1 A, then the instruction at "mark" (B=B+1 A), round and round.
Program CountingLoop(uint32_t origin, bool tagMark)
{
    Program p(origin);
    p.label("loop").op("E4"); // A=A+1 A
    if (tagMark)
        p.breakpoint();
    p.label("mark").op("E5"); // B=B+1 A
    p.goto_("loop");
    return p;
}

TEST_F(Breakpoints, ATagStopsTheEngineAtItsInstructionAndPostsOncePerHit)
{
    const Program loop = CountingLoop(0x01000, false);
    M.load(loop);
    KVSetRegister(RegA, 0);
    KVSetRegister(RegB, 0);
    KHAddBreakpoint(loop.at("mark"));
    EXPECT_EQ(M.Rom[loop.at("mark")], 0x1E) << "the nibble keeps its value beside the tag";
    KHSetBreakpointAction(1, W.window(), Message);

    RunToNextStop();
    EXPECT_EQ(W.posts().back(), (Post{Message, 0, 0}));
    EXPECT_EQ(KVGetRegister(KV_REG_PC), loop.at("mark"));
    EXPECT_EQ(KVGetRegister(RegA), 1u) << "the instruction before ran";
    EXPECT_EQ(KVGetRegister(RegB), 0u) << "the tagged one did not";

    RunToNextStop(); // the tag is still there: it traps again at once
    EXPECT_EQ(KVGetRegister(KV_REG_PC), loop.at("mark"));
    EXPECT_EQ(KVGetRegister(RegA), 1u);
    EXPECT_EQ(KVGetRegister(RegB), 0u);
}

TEST_F(Breakpoints, ActionZeroRunsTagsAsPlainInstructionsAndActionOneTrapsThemAgain)
{
    const Program loop = CountingLoop(0x01000, true);
    M.load(loop);
    KVSetRegister(RegB, 0);
    KHSetBreakpointAction(1, W.window(), Message);
    KHSetBreakpointAction(0, W.window(), Message);
    RunAWhile();
    EXPECT_GT(KVGetRegister(RegB), 10u) << "the tagged instruction ran, again and again";
    EXPECT_EQ(W.count(), 0u);
    EXPECT_TRUE(Tagged(loop.at("mark"))) << "the tag stays";

    // Any action but 0 and 1 changes nothing: the tags still run plainly.
    KHSetBreakpointAction(7, W.window(), Message);
    RunAWhile();
    EXPECT_EQ(W.count(), 0u);

    KHSetBreakpointAction(1, W.window(), Message + 1);
    RunToNextStop();
    EXPECT_EQ(W.posts().back(), (Post{Message + 1, 0, 0}));
    EXPECT_EQ(KVGetRegister(KV_REG_PC), loop.at("mark"));

    // And the other way round: action 1 kept, a stray action changes nothing.
    KHSetBreakpointAction(-1, nullptr, 0);
    RunToNextStop();
    EXPECT_EQ(W.posts().back(), (Post{Message + 1, 0, 0}));
}

TEST_F(Breakpoints, ACallPostsOneAReturnTwoAndAJumpThroughMemoryZero)
{
    Program table(0x02000);
    Program p(0x01000);
    p.gosub("sub");
    p.label("back").la(5, table.origin()).op("808C"); // PC=(A)
    p.label("sub").rtn();
    p.label("spin").goto_("spin");
    table.imm(p.at("spin"), 5);
    M.place(table);
    M.load(p);
    KHSetBreakpointAction(1, W.window(), Message);

    RunToNextStop();
    EXPECT_EQ(W.posts().back(), (Post{Message, 1, 0}));
    EXPECT_EQ(KVGetRegister(KV_REG_PC), p.at("sub")) << "stopped just after the push";

    RunToNextStop();
    EXPECT_EQ(W.posts().back(), (Post{Message, 2, 0}));
    EXPECT_EQ(KVGetRegister(KV_REG_PC), p.at("back")) << "the pop took place";

    RunToNextStop();
    EXPECT_EQ(W.posts().back(), (Post{Message, 0, 0}));
    EXPECT_EQ(KVGetRegister(KV_REG_PC), p.at("spin")) << "the jump took place";

    // The return-stack exports tell the hook too, on this thread.
    KVRstkPush(0x12345);
    EXPECT_EQ(KVRstkPop(), 0x12345u);
    const std::vector<Post> posts = W.posts();
    ASSERT_EQ(posts.size(), 5u);
    EXPECT_EQ(posts[3], (Post{Message, 1, 0}));
    EXPECT_EQ(posts[4], (Post{Message, 2, 0}));
}

TEST_F(Breakpoints, ABankedRomAddressTagsItsBankWhateverIsMappedAndIgnoresBits18And19)
{
    KVConfigure(2, 1);
    KVSetRegister(KV_REG_LOW_BANK, 0);
    KVSetRegister(KV_REG_HIGH_BANK, 3);
    // Executed at 0x40121 through the high bank: image offset 3 x 0x40000 + 0x121.
    const Program loop = CountingLoop(0x40121, false);
    for (const Program::Placed& nibble : loop.build())
        M.Rom[3 * 0x40000 + (nibble.Address & 0x3FFFF)] = nibble.Byte;
    ASSERT_EQ(loop.at("mark"), 0x40123u);
    constexpr uint32_t Offset = 3 * 0x40000 + 0x123;

    KHAddRomBreakpoint(0x300123 | 0xC0000);
    EXPECT_TRUE(Tagged(Offset));
    EXPECT_EQ(M.Rom[Offset] & 0x0F, 0xE);
    KHRemoveRomBreakpoint(0x300123);
    EXPECT_EQ(M.Rom[Offset], 0x0E) << "bits 18 and 19 name the same place";
    KHAddRomBreakpoint(0x300123 | 0x40000);

    KVSetRegister(KV_REG_PC, loop.origin());
    KHSetBreakpointAction(1, W.window(), Message);
    RunToNextStop();
    EXPECT_EQ(KVGetRegister(KV_REG_PC), 0x40123u);
    KHRemoveRomBreakpoint(0x300123);

    // By calculator address, the bank mapped now decides.
    KHAddBreakpoint(0x40123);
    EXPECT_TRUE(Tagged(Offset));
    KHRemoveBreakpoint(0x40123);
    KVSetRegister(KV_REG_HIGH_BANK, 1);
    KHAddBreakpoint(0x40123);
    EXPECT_FALSE(Tagged(Offset));
    EXPECT_TRUE(Tagged(1 * 0x40000 + 0x123));
    KHRemoveBreakpoint(0x40123);
    EXPECT_FALSE(Tagged(1 * 0x40000 + 0x123));
}

TEST_F(Breakpoints, AddressesWithoutAnImageByteAreIgnored)
{
    // A ROM of 0x100000 nibbles has banks 0 to 3: bank 4 lies beyond it,
    // although the engine's buffer reaches that far.
    KHAddRomBreakpoint(0x400123);
    EXPECT_EQ(M.Rom[0x100123], 0);
    KHAddRomBreakpoint(0xF3FFFF);
    EXPECT_EQ(M.Rom[0x3FFFFF], 0);

    // The I/O window has no image byte; the rest of its page is the ROM's.
    KVMemoryConfig(test::Io);
    KHAddBreakpoint(test::Io + 0x10);
    EXPECT_EQ(M.Rom[test::Io + 0x10], 0) << "nothing under the I/O registers";
    KHAddBreakpoint(test::Io + 0x40);
    EXPECT_TRUE(Tagged(test::Io + 0x40));
    KHRemoveBreakpoint(test::Io + 0x40);

    // Only the low 20 bits of an address count.
    KHAddBreakpoint(0xABC01234);
    EXPECT_TRUE(Tagged(0x01234));
    KHRemoveBreakpoint(0x01234);

    // A RAM address tags port 0's image.
    ASSERT_EQ(KHCreatePort0(0x10000), 1u);
    KVMemoryConfig(0xF0000);
    KVMemoryConfig(0x80000);
    uint32_t size = 0;
    uint8_t* ram = nullptr;
    KHGetPort0(&size, &ram);
    KHAddBreakpoint(0x80123);
    EXPECT_EQ(ram[0x123], 0x10);
    KHDestroyPort0();
    KHAddBreakpoint(0x80123); // RAM configured, no image: nothing to tag

    // No ROM at all.
    KHDestroyRom();
    KHAddRomBreakpoint(0x000123);
    KHRemoveRomBreakpoint(0x000123);
    KHAddBreakpoint(0x00123);
}

TEST_F(Breakpoints, AddingTwiceAndRemovingOnceLeavesNoBreakpoint)
{
    const Program loop = CountingLoop(0x01000, false);
    M.load(loop);
    KHAddBreakpoint(loop.at("mark"));
    KHAddBreakpoint(loop.at("mark"));
    KHRemoveBreakpoint(loop.at("mark"));
    EXPECT_EQ(M.Rom[loop.at("mark")], 0xE);
    KVSetRegister(RegB, 0);
    KHSetBreakpointAction(1, W.window(), Message);
    RunAWhile();
    EXPECT_EQ(W.count(), 0u);
    EXPECT_GT(KVGetRegister(RegB), 10u);
}

TEST_F(Breakpoints, ActionOneWithoutAWindowStillStopsTheEngine)
{
    const Program loop = CountingLoop(0x01000, true);
    M.load(loop);
    KHSetBreakpointAction(1, nullptr, Message);
    KVRun();
    ASSERT_TRUE(test::WaitUntil([] { return !KVIsRunning(); }, 10s));
    EXPECT_EQ(KVGetRegister(KV_REG_PC), loop.at("mark"));
}

} // namespace
