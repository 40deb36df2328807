// The execution thread and its trace log, and the engine used from several host threads at
// once while it runs; the concurrency tests are meant for the
// ThreadSanitizer tree as much as for their own assertions.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <tuple>
#include <vector>

#include "engine/core/cpu_state.h"
#include "engine/core/engine.h"
#include "engine/core/library.h"
#include "engine/core/memory.h"
#include "engine/core/timers.h"
#include "platform/clock.h"
#include "tests/support/machine.h"
#include "tests/support/watchdog.h"

using namespace korvane;
using namespace std::chrono_literals;
using test::Machine;
using test::Program;

namespace {

Program IdleLoop(uint32_t address)
{
    return std::move(Program(address).label("loop").goto_("loop"));
}

TEST(ExecutionThread, RunStopAndResetAreAcknowledgedAndARunAfterAStopStartsAtOneInstructionPerSlice)
{
    Machine m;
    m.load(IdleLoop(0x00100));
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
    EXPECT_EQ(std::tuple(InstructionsPerSlice.load(), Cpu.PC, Cpu.D0 + Cpu.DecimalMode), std::tuple(1u, 0x00100u, 0u));
    EXPECT_GT(Cpu.TotalCycles, 0u);

    // Without the restart the count would still hold what 200 ms built up.
    const auto start = std::chrono::steady_clock::now();
    KVRun();
    std::this_thread::sleep_for(5ms);
    const uint32_t count = InstructionsPerSlice.load();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    KVStop();
    EXPECT_LE(count, 2 + static_cast<uint32_t>(seconds * 8192 * 1.1));

    // A reset stops the engine and clears PC, the service flag and the map; the registers stay.
    KVMemoryConfig(0x00100);
    Cpu.InterruptService = 1, Cpu.D0 = 0x12345;
    KVRun();
    KVReset();
    EXPECT_EQ(std::tuple(KVIsRunning(), Cpu.PC, Cpu.InterruptService, Cpu.D0), std::tuple(0u, 0u, 0, 0x12345u));
    EXPECT_EQ(std::tuple(Modules[ModuleIo].State, Memory.Pages.Modules[0]),
              std::tuple(ModuleUnconfigured, 1u << ModuleRom));
}

std::atomic<int> Traps;
std::vector<uint32_t> HookCalls;

// TIMER2 keeps the host's time while the processor works: the slice held up
// for 300 ms by its breakpoint handler is made up in ticks. A run starts a
// schedule of its own, however far behind an earlier one was left.
TEST(ExecutionThread, TheClockKeepsHostTimeThroughSlicesThatOverrun)
{
    Machine m;
    Program p(0x00100);
    p.label("loop").breakpoint().op("0C").goto_("loop"); // the handler steps over the tagged P=P+1
    m.load(p);
    static std::atomic<int> passes;
    passes = 0;
    KVSetBreakpointHandler([] {
        if (passes++ == 1)
            std::this_thread::sleep_for(300ms);
        Cpu.PC += 2;
    });
    Timers = {};
    Timers.Timer2 = 0x7FFFFFFF, Timers.Timer2Control = TimerRun;
    SliceDeadline = 0;
    const uint64_t before = platform::PerformanceCounter();
    KVRun();
    const uint64_t start = platform::PerformanceCounter(); // the schedule began before KVRun returned
    for (const auto end = std::chrono::steady_clock::now() + 10s; passes < 3 && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(1ms);
    const uint64_t stop = platform::PerformanceCounter();
    KVStop();
    const uint64_t stopped = platform::PerformanceCounter();
    KVSetBreakpointHandler(nullptr);
    ASSERT_GE(passes, 3);
    // The ticks of the last slice, and of a thread the host held up just
    // before it noticed the stop, may be missing: 0.1 s at most.
    const uint64_t ticks = 0x7FFFFFFFu - Timers.Timer2;
    EXPECT_GE(ticks + 819, (stop - start) / SlicePeriod) << "over " << (stop - start) / 1e9 << " s";
    EXPECT_LE(ticks, (stopped - before) / SlicePeriod) << "over " << (stopped - before) / 1e9 << " s";
    Timers = {};
}

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
    for (int i = 0; i < 5000 && KVIsRunning(); ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(KVIsRunning(), 0u);
    EXPECT_EQ(std::tuple(Traps.load(), Cpu.PC, Cpu.P), std::tuple(1, p.at("trap"), 10)) << "nothing after the trap ran";
}

TEST(ExecutionThread, ExecuteRoutineRunsToItsReturnAndRestoresPcAndTheStack)
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
    EXPECT_EQ(std::tuple(Cpu.PC, Cpu.P, Cpu.RstkIndex, Cpu.RSTK[0], Cpu.RSTK[1]),
              std::tuple(0x12345u, 1, 2u, 0x11111u, 0x22222u));
    EXPECT_EQ(HookCalls, (std::vector<uint32_t>{2, 1, 1, 2, 2, 1}));
    EXPECT_EQ(Cpu.SliceCycles, 60u + 16 + 44 + 44) << "the routine's costs stay in the slice count";
}

// Torn down as at unload or the process's end, every export stays harmless:
// a library finalised later, or a thread still running, may call one.
TEST(ExecutionThread, EveryExportIsHarmlessOnceTheEngineIsDown)
{
    static uint32_t serialEvents = 0;
    // The tests after this one in the process find the engine up again:
    // without its tickers a slice tick would call through null pointers.
    struct Reattach {
        ~Reattach() { LibraryAttach(); }
    } reattach;
    LibraryDetach();
    KVRun();
    EXPECT_EQ(KVIsRunning(), 0u) << "no thread to run";
    KVStop();
    KVStep();
    KVReset();
    EXPECT_EQ(KVSerialSendByte(1, 0x41), 1u);
    KVSetSerialHandler([](uint32_t, uint32_t) { ++serialEvents; return 1u; });
    EXPECT_GE(serialEvents, 2u) << "the replay";
    KVSetSerialHandler(nullptr);
    KVPressKey(9, 9); // the ON key wakes and interrupts
    KVReleaseKey(9, 9);
    uint8_t state[512] = {};
    EXPECT_EQ(KVSaveState(state, sizeof state), 1u);
    EXPECT_EQ(KVRestoreState(state, sizeof state), 1u);
    KVForceRefresh();
    KVDiscardFrame(state);
    KVExecuteRoutine(0x00000); // RTNSXM on a blank ROM returns at once
    LibraryDetach(); // a second teardown does nothing more
    EXPECT_EQ(KVIsRunning(), 0u);
}

// Configures the I/O window at Io, turns on the display, TIMER2 and the
// serial port with its receive interrupt, then scans the keyboard and reads
// the serial receive register in a loop. The interrupt routine reads the
// causes and returns; it keeps to D0 and A, which the program leaves alone:
// the ON key's interrupt comes even before INTON, in the middle of the
// writes that turn the display on.
void LoadWorkload(Machine& m)
{
    constexpr uint32_t Io = 0xF0000;
    m.place(Program(0x0000F).d0(Io + 0x18).op("14A").rti()); // A=DAT0 B: causes read and cleared
    Program p(0x00100);
    p.lc(5, Io).op("805").p(0);                  // CONFIG: the I/O window
    p.d1(Io + 0x00).lc(1, 8).op("1550");         // DAT1=C P: display on
    p.d1(Io + 0x2F).lc(1, 1).op("1550");         // TIMER2 runs
    p.d1(Io + 0x10).lc(1, 0xA).op("1550");       // serial port on, receive interrupt
    p.op("8080").label("loop");                  // INTON
    p.lc(3, 0x1FF).op("801").op("803");          // OUT=C, C=IN
    p.d1(Io + 0x14).op("14F").goto_("loop");     // C=DAT1 B: the received byte
    m.load(p);
}

std::atomic<const uint8_t*> HeldFrame{nullptr};
std::atomic<int> Frames{0}, SerialEvents{0};

// Keys, serial bytes, frames given back, state saved and restored, run and
// stop, all against the running engine.
TEST(Concurrency, HostThreadsDriveARunningEngineWithoutRacesOrDeadlock)
{
    Machine m;
    LoadWorkload(m);
    KVSetDisplaySize(131, 64);
    KVSetDisplayHandler([](const uint8_t* frame, uint32_t, uint32_t) {
        ++Frames;
        HeldFrame.store(frame);
    });
    KVSetSerialHandler([](uint32_t, uint32_t) { ++SerialEvents; return 1u; });
    KVRun();

    std::atomic<bool> done{false};
    const auto keys = [&] {
        for (std::mt19937 random(1); !done;) {
            const int column = static_cast<int>(random() % 10), row = static_cast<int>(random() % 10);
            KVPressKey(column, row);
            std::this_thread::sleep_for(100us);
            KVReleaseKey(column, row);
        }
    };
    const auto serial = [&] {
        for (uint32_t byte = 0; !done; std::this_thread::sleep_for(50us))
            KVSerialSendByte(1, byte++ & 0xFF);
    };
    const auto frames = [&] {
        for (; !done; std::this_thread::sleep_for(100us)) {
            if (const uint8_t* frame = HeldFrame.exchange(nullptr))
                KVDiscardFrame(frame);
        }
    };
    {
        test::Watchdog watchdog(60s, "host calls while the engine runs");
        std::thread a(keys), b(serial), c(frames);
        uint8_t state[512];
        for (int round = 0; round < 40; ++round) {
            std::this_thread::sleep_for(5ms);
            KVSaveState(state, sizeof state);
            KVRun();
            std::this_thread::sleep_for(5ms);
            KVRestoreState(state, sizeof state);
            KVStep();
            KVRun();
            KVStop();
            KVRun();
        }
        done = true;
        a.join();
        b.join();
        c.join();
    }
    // Each restore takes the display back to where it was saved: on a
    // loaded host a whole frame may not have fitted between the two. The
    // engine runs on until one has, the held frame given back meanwhile.
    for (auto end = std::chrono::steady_clock::now() + 10s;
         Frames.load() == 0 && std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(1ms)) {
        if (const uint8_t* frame = HeldFrame.exchange(nullptr))
            KVDiscardFrame(frame);
    }
    KVStop();
    KVSetDisplayHandler(nullptr);
    KVSetSerialHandler(nullptr);
    EXPECT_GT(Frames.load(), 0) << "frames were delivered and given back";
    EXPECT_GT(SerialEvents.load(), 0) << "the calculator read received bytes";
}

TEST(Concurrency, RunAndStopFromTwoThreadsNeverDeadlock)
{
    Machine m;
    m.load(IdleLoop(0x00100));
    const auto hammer = [] {
        for (int i = 0; i < 500; ++i) {
            KVRun();
            KVStop();
        }
    };
    {
        test::Watchdog watchdog(60s, "run and stop from two threads");
        std::thread first(hammer), second(hammer);
        first.join();
        second.join();
    }
    KVStop();
    EXPECT_EQ(std::tuple(KVIsRunning(), Cpu.PC), std::tuple(0u, 0x00100u));
}

// Host bytes take the serial lock, then CpuLock; a stepped instruction that
// reaches the serial registers holds CpuLock.
TEST(Concurrency, SerialBytesWhileSteppingNeverDeadlock)
{
    Machine m;
    LoadWorkload(m);
    std::atomic<bool> done{false};
    test::Watchdog watchdog(60s, "serial bytes while stepping");
    std::thread sender([&] {
        for (uint32_t byte = 0; !done;)
            KVSerialSendByte(1, byte++ & 0xFF);
    });
    m.step(200000);
    done = true;
    sender.join();
}

using Entries = std::vector<uint32_t>;

class TraceLog : public ::testing::Test {
protected:
    TraceLog() { m.load(test::Program(0x00200).op("0C0C0C0C0C0C0C0C0C0C0C0C")); } // twelve P=P+1
    ~TraceLog() override
    {
        KVStop();
        KVLogConfigure(0, 0);
    }
    static Entries read(uint32_t max)
    {
        Entries entries(max + 1, 0xDEADBEEF);
        entries.resize(KVLogRead(entries.data(), max));
        return entries;
    }
    test::Machine m;
};

// The reads return the newest entries, oldest first, and never a slot that
// no record wrote: after a clear, or in a new (smaller) ring.
TEST_F(TraceLog, ReadsReturnOnlyRecordedEntriesOldestFirst)
{
    KVLogConfigure(1, 4);
    EXPECT_EQ(read(4), Entries{});
    m.step(3);
    EXPECT_EQ(read(4), (Entries{0x200, 0x202, 0x204}));
    m.step(3);
    EXPECT_EQ(read(4), (Entries{0x204, 0x206, 0x208, 0x20A}));
    EXPECT_EQ(read(2), (Entries{0x208, 0x20A}));
    EXPECT_EQ(read(100), (Entries{0x204, 0x206, 0x208, 0x20A}));
    EXPECT_EQ(KVLogRead(nullptr, 4), 0u);

    KVLogClear();
    EXPECT_EQ(read(8), Entries{});
    m.step(1);
    EXPECT_EQ(read(8), (Entries{0x20C}));
    KVLogConfigure(1, 2);
    EXPECT_EQ(read(8), Entries{});
    m.step(3);
    EXPECT_EQ(read(8), (Entries{0x210, 0x212}));

    for (auto [mode, capacity] : {std::pair{0u, 100u}, {1u, 0u}, {3u, 10u}}) {
        KVLogConfigure(mode, capacity);
        m.step();
        EXPECT_EQ(read(8), Entries{}) << "tracing is off: " << mode << ", " << capacity;
    }
}

TEST_F(TraceLog, ModeTwoRecordsTheAnsweringModuleAndItsOffset)
{
    std::vector<uint8_t> ram = test::NibbleBuffer(0x1000);
    KVSetMemoryModule(KV_MODULE_RAM, ram.data(), 0xFFF);
    for (uint32_t value : {0x00100u, 0xFF000u, 0x80000u}) // I/O at 0x100, RAM over page 0x80
        KVMemoryConfig(value);
    ram[0xABD] = 0xC;
    KVLogConfigure(2, 8);
    m.step();
    KVConfigure(KV_CONFIG_HP49, 1); // banked: the high window at bank 3
    KVSetRegister(KV_REG_HIGH_BANK, 3);
    m.Rom[0xC1235] = 0xC;
    for (uint32_t pc : {0x80ABCu, 0x41234u}) {
        KVSetRegister(KV_REG_PC, pc);
        m.step();
    }
    EXPECT_EQ(read(8), (Entries{0x50000200, 0x10000ABC, 0x500C1234}));
    KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
}

TEST_F(TraceLog, TheExecutionThreadRecordsAndTheRingCannotBeReplacedUnderIt)
{
    m.load(test::Program(0x00300).op("6FFF")); // GOTO to itself
    KVLogConfigure(1, 16);
    // The log is read with the engine stopped; a loaded host may keep the
    // thread waiting, so run in short bursts until the ring is full.
    Entries entries(16);
    for (int i = 0; i < 500 && KVLogRead(entries.data(), 16) < 16; ++i) {
        KVRun();
        std::this_thread::sleep_for(10ms);
        KVStop();
    }
    KVRun();
    KVLogConfigure(2, 4);
    KVLogClear();
    KVStop();
    EXPECT_EQ(read(16), Entries(16, 0x300));
}

} // namespace
