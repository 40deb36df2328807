#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/core/cpu_state.h"
#include "engine/core/engine.h"
#include "engine/core/memory.h"
#include "tests/support/machine.h"
#include "tests/support/watchdog.h"

using namespace korvane;
using test::Machine;
using test::Program;
using namespace std::chrono_literals;

namespace {

// Waits up to 5 s for the engine to stop by itself.
bool StopsBeforeLong()
{
    for (int i = 0; i < 5000 && KVIsRunning(); ++i)
        std::this_thread::sleep_for(1ms);
    return !KVIsRunning();
}

Program IdleLoop(uint32_t address)
{
    return std::move(Program(address).label("loop").goto_("loop"));
}

TEST(ExecutionThread, RunAndStopAcknowledgeAndARunAfterAStopStartsAtOneInstructionPerSlice)
{
    Machine m;
    m.load(IdleLoop(0x00100));
    EXPECT_EQ(KVIsRunning(), 0u);
    KVStop();
    KVRun();
    EXPECT_EQ(KVIsRunning(), 1u) << "KVRun returns once the thread has acknowledged";
    std::this_thread::sleep_for(200ms);
    EXPECT_GT(InstructionsPerSlice.load(), 1u) << "the count grows while slices finish early";
    KVRun();
    KVSetRegister(KV_REG_D0, 0x12345); // ignored while the engine runs
    KVSetRegister(KV_REG_FLAGS, 0x400);
    KVStop();
    EXPECT_EQ(KVIsRunning(), 0u) << "KVStop returns once the thread is idle";
    EXPECT_EQ(InstructionsPerSlice.load(), 1u);
    EXPECT_EQ(Cpu.PC, 0x00100u);
    EXPECT_EQ(Cpu.D0 + Cpu.DecimalMode, 0u);
    EXPECT_GT(Cpu.TotalCycles, 0u);

    // Without the restart the count would still hold what 200 ms built up.
    const auto start = std::chrono::steady_clock::now();
    KVRun();
    std::this_thread::sleep_for(5ms);
    const uint32_t count = InstructionsPerSlice.load();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    KVStop();
    EXPECT_LE(count, 2 + static_cast<uint32_t>(seconds * 8192 * 1.1));
}

std::atomic<int> Traps{0};

TEST(ExecutionThread, StopFromABreakpointHandlerEndsTheSliceAtOnce)
{
    Machine m;
    Program p(0x00100);
    for (int i = 0; i < 10; ++i)
        p.op("0C"); // P=P+1
    p.label("trap").breakpoint().op("0C");
    p.label("loop").goto_("loop");
    m.load(p);
    Traps = 0;
    KVSetBreakpointHandler([] {
        ++Traps;
        KVStop(); // on the execution thread: does not wait
    });
    KVRun();
    ASSERT_TRUE(StopsBeforeLong());
    EXPECT_EQ(Traps.load(), 1);
    EXPECT_EQ(Cpu.PC, p.at("trap")) << "nothing after the trap ran";
    EXPECT_EQ(Cpu.P, 10);
}

std::vector<uint32_t> HookCalls;

TEST(ExecuteRoutine, RunsToItsReturnAndRestoresPcAndTheStack)
{
    Machine m;
    Program p(0x00200);
    p.gosub("sub").breakpoint().op("0C").rtn(); // the handler skips the tagged P=P+1
    p.label("sub").op("0C").rtn();
    m.place(p);
    Cpu.PC = 0x12345;
    KVRstkPush(0x11111);
    KVRstkPush(0x22222);
    HookCalls.clear();
    KVSetDebuggingHackHandler([](uint32_t code) {
        HookCalls.push_back(code);
        return 0u;
    });
    KVSetBreakpointHandler([] { Cpu.PC += 2; });
    KVExecuteRoutine(0x00200);
    EXPECT_EQ(Cpu.PC, 0x12345u);
    EXPECT_EQ(Cpu.P, 1);
    EXPECT_EQ(Cpu.RstkIndex, 2u);
    EXPECT_EQ(Cpu.RSTK[0], 0x11111u);
    EXPECT_EQ(Cpu.RSTK[1], 0x22222u);
    EXPECT_EQ(HookCalls, (std::vector<uint32_t>{2, 1, 1, 2, 2, 1}));
    EXPECT_EQ(Cpu.SliceCycles, 60u + 16 + 44 + 44) << "the routine's costs stay in the slice count";
}

TEST(Reset, ClearsPcServiceAndTheMapAndLeavesTheEngineStopped)
{
    Machine m;
    m.load(IdleLoop(0x00300));
    KVMemoryConfig(0x00100);
    Cpu.InterruptService = 1;
    Cpu.D0 = 0x12345;
    KVRun();
    KVReset();
    EXPECT_EQ(KVIsRunning(), 0u);
    EXPECT_EQ(Cpu.PC, 0u);
    EXPECT_EQ(Cpu.InterruptService, 0);
    EXPECT_EQ(Cpu.D0, 0x12345u);
    EXPECT_EQ(Modules[ModuleIo].State, ModuleUnconfigured);
    EXPECT_EQ(Memory.Pages.Modules[0], 1u << ModuleRom);
}

TEST(ExecutionThread, RunAndStopFromTwoThreadsNeverDeadlock)
{
    Machine m;
    m.load(IdleLoop(0x00100));
    auto hammer = [] {
        for (int i = 0; i < 500; ++i) {
            KVRun();
            KVStop();
        }
    };
    {
        test::Watchdog watchdog(60s, "run and stop from two threads");
        std::thread first(hammer);
        std::thread second(hammer);
        first.join();
        second.join();
    }
    KVStop();
    EXPECT_EQ(KVIsRunning(), 0u);
    EXPECT_EQ(Cpu.PC, 0x00100u);
}

} // namespace
