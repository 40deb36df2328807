#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "engine/core/engine.h"
#include "engine/core/interrupts.h"
#include "engine/core/serial.h"
#include "engine/core/timers.h"
#include "platform/clock.h"
#include "tests/engine/group8/single_step.h"

using namespace korvane;
using test::Machine;
using test::Program;

namespace {

// What each handler slot saw, written on the thread that calls it.
std::atomic<int> Calls[16];
std::atomic<uint32_t> Seen[16];
std::atomic<int32_t> Result[16];
std::atomic<bool> LockFree[16];
std::atomic<uint64_t> CalledAt[16];
std::atomic<int> HookPushes;

// Whether another thread could take CpuLock at this moment.
bool CpuLockFree()
{
    bool free = false;
    std::thread probe([&] {
        free = CpuLock->try_lock();
        if (free)
            CpuLock->unlock();
    });
    probe.join();
    return free;
}

template <unsigned Slot>
int32_t Record(uint32_t bits)
{
    Seen[Slot] = bits;
    LockFree[Slot] = CpuLockFree();
    CalledAt[Slot] = platform::PerformanceCounter();
    ++Calls[Slot];
    return Result[Slot];
}

bool WaitUntil(const std::function<bool()>& done)
{
    for (int i = 0; i < 2000 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return done();
}

constexpr uint32_t Idle = 0x00100;

struct Interrupts : ::testing::Test {
    Machine M;

    Interrupts()
    {
        for (unsigned slot = 0; slot < 16; ++slot) {
            Calls[slot] = Seen[slot] = 0;
            Result[slot] = 1;
            LockFree[slot] = false;
        }
        HookPushes = 0;
        Timer1 = Timer1Control = Timer2Control = 0;
        Timer2 = Timer2LastValue = 0;
        test::ResetKeys();
        KVSetSerialHandler(nullptr);
        SerialRegisters = {};
        // The service routine counts its entries in P.
        M.place(Program(InterruptVector).op("0C").rti()); // P=P+1, RTI
    }
    ~Interrupts() override
    {
        KVStop();
        Timer2Control = Timer1Control = 0;
        SerialRegisters = {};
        test::ResetKeys();
        KVSetInterruptHandler(nullptr, 0xFFFF);
    }
};

TEST_F(Interrupts, DecisionTakesAtMostOneEntryAndKeepsTheCauses)
{
    const struct {
        uint16_t Pending;
        bool InService;
        int32_t Slot3; // what TIMER2's handler answers; -1: no handler
        uint8_t Causes;
        bool Entry;
    } cases[] = {
        {0x0008, false, -1, 0x40, true},  // TIMER2
        {0x0005, false, -1, 0xC0, true},  // key and TIMER1: one entry
        {0x0060, false, -1, 0x02, true},  // both serial requests
        {0x0008, true, -1, 0x00, false},  // in service: dropped
        {0x0008, false, 0, 0x00, false},  // the handler drops it
        {0x0008, false, 7, 0x40, true},   // the handler keeps it
        {0x0009, false, 0, 0x80, true},   // the key survives a dropped TIMER2
        {0x4000, false, -1, 0x00, false}, // the RTI notice never interrupts
    };
    KVSetDebuggingHackHandler([](uint32_t code) {
        HookPushes += code == 1;
        return 0u;
    });
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "pending " << c.Pending << " slot 3 " << c.Slot3);
        KVSetInterruptHandler(c.Slot3 < 0 ? nullptr : &Record<3>, 0x8);
        Result[3] = c.Slot3;
        Calls[3] = HookPushes = 0;
        ServiceRequestBits = 0;
        Cpu.RstkIndex = Cpu.RSTK[0] = 0;
        Cpu.InterruptService = c.InService;
        Cpu.PC = 0x12345;
        PendingInterrupts = c.Pending;
        DecideInterrupts();
        EXPECT_EQ(ServiceRequestBits, c.Causes);
        EXPECT_EQ(PendingInterrupts.load(), 0u);
        EXPECT_EQ(Cpu.PC, c.Entry ? InterruptVector : 0x12345u);
        EXPECT_EQ(Cpu.RSTK[0], c.Entry ? 0x12345u : 0u);
        EXPECT_EQ(Cpu.InterruptService, c.Entry || c.InService);
        EXPECT_EQ(HookPushes, c.Entry ? 1 : 0) << "an entry pushes once";
        if (c.Slot3 >= 0 && !c.InService) {
            EXPECT_EQ(Calls[3], 1);
            EXPECT_EQ(Seen[3], 0x8u);
            EXPECT_FALSE(LockFree[3]) << "handlers decide under CpuLock";
        }
    }
}

TEST_F(Interrupts, RtiReraisesATimerStillDue)
{
    M.load(Program(0x00300).rti());
    Cpu.InterruptService = 1;
    Cpu.RSTK[0] = 0x00200;
    Cpu.RstkIndex = 1;
    Timer2 = 0xFFFFFF00;
    Timer2Control = 0x2;
    M.step();
    EXPECT_EQ(Cpu.PC, 0x00200u);
    EXPECT_EQ(Cpu.InterruptService, 0u);
    EXPECT_EQ(Timer2Control, 0xAu);
    EXPECT_EQ(PendingInterrupts.load(), 0x4008u);

    KVSetInterruptHandler(&Record<14>, 0x4000);
    DecideInterrupts();
    EXPECT_EQ(Seen[14], 0x4000u);
    EXPECT_EQ(ServiceRequestBits, 0x40u);
    EXPECT_EQ(Cpu.PC, InterruptVector);
    EXPECT_EQ(Cpu.RSTK[0], 0x00200u);
}

// Each source, raised while the engine runs, enters the service routine:
// its RTI is the only one the machine runs.
TEST_F(Interrupts, TheOnKeyATimerAndASerialByteRunTheServiceRoutine)
{
    M.load(Program(Idle).label("idle").goto_("idle"));
    KVSetInterruptHandler(&Record<14>, 0x4000);
    const struct {
        const char* Name;
        void (*Prepare)(); // before the run
        void (*Raise)();   // on this thread while it runs
        uint8_t Cause;
    } sources[] = {
        {"ON key", [] {}, [] { KVPressKey(9, 9); }, 0x80},
        {"TIMER2", [] { Timer2 = 3; Timer2Control = 0x3; }, [] {}, 0x40},
        {"serial byte", [] { WriteSerialRegister(0x10, 0x2); }, [] { KVSerialSendByte(1, 0x41); }, 0x02},
    };
    for (const auto& s : sources) {
        SCOPED_TRACE(s.Name);
        Calls[14] = 0;
        ServiceRequestBits = 0;
        PendingInterrupts = 0;
        s.Prepare();
        KVRun();
        s.Raise();
        ASSERT_TRUE(WaitUntil([] { return Calls[14] >= 1; }));
        KVStop();
        KVReleaseKey(9, 9);
        Timer2Control = 0;
        EXPECT_EQ(ServiceRequestBits, s.Cause);
        Cpu.PC = Idle;
        Cpu.InterruptService = 0;
    }
}

// --- SHUTDN ------------------------------------------------------------------------

struct Sleep : Interrupts {
    Sleep()
    {
        M.load(Program(Idle).op("807").label("idle").goto_("idle")); // SHUTDN
        KVSetInterruptHandler(&Record<12>, 0x1000);
        KVSetInterruptHandler(&Record<13>, 0x2000);
        KVSetInterruptHandler(&Record<14>, 0x4000);
    }
};

TEST_F(Sleep, EachSourceEndsTheSleep)
{
    const struct {
        const char* Name;
        void (*Prepare)();
        void (*Wake)(); // on this thread, once asleep
    } sources[] = {
        {"TIMER1 wake", [] { Timer2 = Timer2LastValue = 0x200; Timer2Control = 0x1; Timer1Control = 0x4; }, [] {}},
        {"ON key", [] {}, [] { KVPressKey(9, 9); }},
        {"a key the scan finds", [] { Cpu.OUT = 1; Timer2 = 0x10000; Timer2Control = 0x1; }, [] { KVPressKey(2, 0); }},
        {"serial byte", [] { WriteSerialRegister(0x10, 0x2); }, [] { KVSerialSendByte(1, 0x41); }},
        {"host", [] {}, [] { WakeCpu(); }},
    };
    for (const auto& s : sources) {
        SCOPED_TRACE(s.Name);
        Calls[12] = Calls[13] = 0;
        Cpu.PC = Idle;
        Cpu.InterruptService = Cpu.IN = Timer1 = 0;
        s.Prepare();
        SleepTickDeadline = 0; // far behind: those ticks are not owed
        KVRun();
        ASSERT_TRUE(WaitUntil([] { return Calls[12] >= 1; }));
        s.Wake();
        ASSERT_TRUE(WaitUntil([] { return Calls[13] >= 1; }));
        EXPECT_EQ(KVIsRunning(), 1u);
        KVStop();
        test::ResetKeys();
        Timer2Control = Timer1Control = 0;
        EXPECT_EQ(Calls[12], 1);
        EXPECT_EQ(Seen[12], 0x1000u);
        EXPECT_EQ(Seen[13], 0x2000u);
        EXPECT_TRUE(LockFree[12] && LockFree[13]) << "sleep notices come without CpuLock";
        EXPECT_EQ(Sleeping.load(), 0u);
    }
}

TEST_F(Sleep, Timer2WakeKeepsTheTickScheduleAndTakesNoInterrupt)
{
    Timer2 = 20;
    Timer2Control = 0x5; // run, wake
    SleepTickDeadline = 0;
    KVRun();
    ASSERT_TRUE(WaitUntil([] { return Calls[13] >= 1; }));
    KVStop();
    EXPECT_GE(CalledAt[13] - CalledAt[12], 20 * SlicePeriod) << "21 ticks, each at its deadline";
    EXPECT_EQ(Timer2Control, 0x9u) << "the wake bit is spent";
    EXPECT_EQ(Cpu.PC, Idle + 3);
    EXPECT_EQ(Cpu.RstkIndex, 0u) << "a wake alone takes no interrupt";
}

// Counts the display's ticks in its slot for the test's lifetime.
class DisplayCounter final : public Ticker {
public:
    DisplayCounter() : Saved(Tickers.Display) { Tickers.Display = this; }
    ~DisplayCounter()
    {
        KVStop(); // the execution thread may be ticking this very object
        Tickers.Display = Saved;
    }
    void Tick() override { ++Count; }
    std::atomic<int> Count{0};

private:
    Ticker* Saved;
};

TEST_F(Sleep, TicksGoOnWhileAsleepAndRequestsWaitForTheWake)
{
    DisplayCounter display;
    KVRun();
    ASSERT_TRUE(WaitUntil([] { return Calls[12] >= 1; }));
    const int before = display.Count;
    RequestInterrupt(RequestTimer1);
    EXPECT_TRUE(WaitUntil([&] { return display.Count >= before + 3; }));
    EXPECT_EQ(Calls[13], 0) << "a request alone does not wake";
    WakeCpu();
    ASSERT_TRUE(WaitUntil([] { return Calls[14] >= 1; }));
    KVStop();
    EXPECT_EQ(Cpu.P, 1u) << "the pending request was taken after SHUTDN";
    EXPECT_EQ(ServiceRequestBits, 0x40u);
    EXPECT_EQ(Cpu.PC, Idle + 3);
}

TEST_F(Sleep, ResetEndsTheSleepAndLeavesTheEngineStopped)
{
    KVRun();
    ASSERT_TRUE(WaitUntil([] { return Calls[12] >= 1; }));
    KVReset();
    EXPECT_EQ(Calls[13], 1);
    EXPECT_EQ(Sleeping.load(), 0u);
    EXPECT_EQ(KVIsRunning(), 0u);
    EXPECT_EQ(Cpu.PC, 0u);
}

} // namespace
