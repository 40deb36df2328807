#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>

#include "engine/core/engine.h"
#include "engine/core/interrupts.h"
#include "engine/core/timers.h"
#include "korvane.h"
#include "tests/support/machine.h"

using namespace korvane;
using test::Program;

namespace {

// Puts a counting double in a ticker slot for the test's lifetime.
struct CountTicks final : Ticker {
    explicit CountTicks(Ticker*& slot) : Slot(slot), Saved(slot) { Slot = this; }
    ~CountTicks() { Slot = Saved; }
    void Tick() override { ++Count; }
    Ticker*& Slot;
    Ticker* Saved;
    int Count = 0;
};

struct TimerTicks : ::testing::Test {
    TimerTicks()
    {
        KVStop();
        Timers = {};
        PendingInterrupts = Sleeping = 0;
    }
    ~TimerTicks() override
    {
        Timers = {};
        Sleeping = PendingInterrupts = 0;
        WakeEvent->Reset();
    }
};

TEST_F(TimerTicks, OneSecondOfSliceTicksGivesSixteenTimer1TicksAndTwoHundredFiftySixScans)
{
    CountTicks timer1(Tickers.Timer1), keyboard(Tickers.Keyboard), display(Tickers.Display);
    Timers.Timer2 = Timers.Timer2LastValue = 0x10000, Timers.Timer2Control = TimerRun;
    for (int i = 0; i < 8192; ++i)
        SliceTick();
    EXPECT_EQ(std::tuple(Timers.Timer2, timer1.Count, keyboard.Count, display.Count),
              std::tuple(0x10000u - 8192, 16, 256, 4096));

    // A stopped TIMER2 holds TIMER1 and the scan, not the display.
    Timers.Timer2Control = 0;
    for (int i = 0; i < 100; ++i)
        SliceTick();
    EXPECT_EQ(std::tuple(Timers.Timer2, timer1.Count, keyboard.Count, display.Count),
              std::tuple(0x10000u - 8192, 16, 256, 4096 + 50));

    // Edges compare with the last tick, not with a value the program wrote.
    Timers.Timer2LastValue = 0x10, Timers.Timer2 = 0x180;
    Timer2Tick(); // 0x17F against 0x010: bit 8 rises, bit 4 stays set
    EXPECT_EQ(std::tuple(timer1.Count, keyboard.Count, Timers.Timer2LastValue), std::tuple(17, 256, 0x17Fu));
}

// Either timer runs out (TIMER1 0 -> 15, TIMER2 0 -> 0xFFFFFFFF) under each
// combination of enables: the service bit is set, a sleeping CPU is woken
// once per wake bit, an awake one is interrupted.
TEST_F(TimerTicks, UnderflowSetsServiceWakesOnceAndInterruptsTheAwake)
{
    const struct {
        bool Timer1;
        uint8_t Control;
        bool Asleep;
        uint8_t ControlAfter;
        bool Woken;
        uint16_t Requested;
    } cases[] = {
        {false, 0x3, false, 0xB, false, RequestTimer2}, // interrupt, awake
        {false, 0x5, true, 0x9, true, 0},               // wake, asleep: the wake bit is spent
        {false, 0x7, true, 0xB, true, RequestTimer2},   // both, asleep: woken, then interrupted
        {false, 0x3, true, 0xB, false, 0},              // interrupt only, asleep: neither
        {false, 0x5, false, 0xD, false, 0},             // wake only, awake: the wake bit stays
        {false, 0x1, false, 0x1, false, 0},             // no enable: no service bit
        {true, 0x2, false, 0xA, false, RequestTimer1},
        {true, 0x6, true, 0xA, true, RequestTimer1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.Timer1 ? "TIMER1" : "TIMER2") << " control " << int(c.Control)
                                        << (c.Asleep ? " asleep" : " awake"));
        WakeEvent->Reset();
        PendingInterrupts = Timers.Timer1 = Timers.Timer2 = 0, Sleeping = c.Asleep;
        (c.Timer1 ? Timers.Timer1Control : Timers.Timer2Control) = c.Control;
        c.Timer1 ? Timer1Tick() : Timer2Tick();
        const uint8_t control = c.Timer1 ? Timers.Timer1Control : Timers.Timer2Control;
        EXPECT_EQ(std::tuple(c.Timer1 ? Timers.Timer1 : Timers.Timer2, control),
                  std::tuple(c.Timer1 ? 15u : 0xFFFFFFFFu, c.ControlAfter));
        EXPECT_EQ(std::tuple(WakeEvent->IsSet(), Sleeping.load() != 0, PendingInterrupts.load()),
                  std::tuple(c.Woken, c.Asleep && !c.Woken, c.Requested));
    }
}

TEST_F(TimerTicks, ServiceBitLastsWhileTheTopBitIsSetAndRecheckRaisesWhatIsStillDue)
{
    Timers.Timer2 = 0, Timers.Timer2Control = 0x3;
    Timer2Tick();
    PendingInterrupts.store(0);
    Timer2Tick();
    EXPECT_EQ(std::tuple(Timers.Timer2Control, PendingInterrupts.load()), std::tuple(0xBu, 0u)) << "one per run-out";
    Timers.Timer2 = 0x80000000;
    Timer2Tick(); // leaves 0x7FFFFFFF
    EXPECT_EQ(Timers.Timer2Control, 0x3u);

    Timers.Timer1 = 15, Timers.Timer1Control = 0xA;
    for (uint32_t value = 14; value >= 7; --value) {
        Timer1Tick();
        EXPECT_EQ(Timers.Timer1Control, value >= 8 ? 0xAu : 0x2u) << value;
    }

    // An RTI rechecks: what is still due is raised again, asleep or not.
    Sleeping.store(1);
    Timers.Timer1 = 9, Timers.Timer2 = 0x80000005;
    Timers.Timer2Control = 0x5; // wake without interrupt: nothing
    PendingInterrupts.store(0);
    RecheckTimerInterrupts();
    EXPECT_EQ(std::tuple(PendingInterrupts.load(), Timers.Timer1Control, Timers.Timer2Control),
              std::tuple(RequestTimer1, 0xAu, 0x5u));
    Timers.Timer1 = 7, Timers.Timer2Control = 0x3;
    PendingInterrupts.store(0);
    RecheckTimerInterrupts();
    EXPECT_EQ(std::tuple(PendingInterrupts.load(), Timers.Timer2Control), std::tuple(RequestTimer2, 0xBu));
}

std::atomic<int> Calls, Pushes;
std::atomic<bool> CpuLockFree;
std::atomic<int32_t> Answer;
std::atomic<uint32_t> RtiBits;

int32_t Timer2Handler(uint32_t)
{
    std::thread([] {
        CpuLockFree = CpuLock->try_lock();
        if (CpuLockFree)
            CpuLock->unlock();
    }).join();
    ++Calls;
    return Answer;
}

struct Interrupts : TimerTicks {
    test::Machine M;
};

TEST_F(Interrupts, DecisionTakesAtMostOneEntryAndKeepsTheCauses)
{
    const struct {
        uint16_t Pending;
        bool InService;
        int32_t Answer; // of TIMER2's handler; -1: no handler
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
        Pushes += code == 1;
        return 0u;
    });
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "pending " << c.Pending << " answer " << c.Answer);
        KVSetInterruptHandler(c.Answer < 0 ? nullptr : &Timer2Handler, RequestTimer2);
        Answer = c.Answer, Calls = Pushes = ServiceRequestBits = 0, Cpu.RstkIndex = Cpu.RSTK[0] = 0;
        Cpu.InterruptService = c.InService, Cpu.PC = 0x12345, PendingInterrupts = c.Pending;
        DecideInterrupts();
        EXPECT_EQ(std::tuple(ServiceRequestBits, PendingInterrupts.load(), Cpu.InterruptService),
                  std::tuple(c.Causes, 0u, c.Entry || c.InService));
        EXPECT_EQ(std::tuple(Cpu.PC, Cpu.RSTK[0]),
                  std::tuple(c.Entry ? InterruptVector : 0x12345u, c.Entry ? 0x12345u : 0u));
        EXPECT_EQ(Pushes, c.Entry ? 1 : 0) << "an entry pushes once";
        EXPECT_EQ(Calls, c.Answer >= 0 && !c.InService ? 1 : 0);
        EXPECT_FALSE(Calls && CpuLockFree) << "handlers decide under CpuLock";
    }
}

TEST_F(Interrupts, RtiReraisesATimerStillDue)
{
    KVSetInterruptHandler(
        [](uint32_t bits) -> int32_t {
            RtiBits = bits;
            return 1;
        },
        RequestRtiNotice);
    M.load(Program(0x00300).rti());
    Cpu.InterruptService = 1, Cpu.RSTK[0] = 0x00200, Cpu.RstkIndex = 1, Timers.Timer2 = 0xFFFFFF00;
    Timers.Timer2Control = TimerInterruptEnable;
    M.step();
    EXPECT_EQ(std::tuple(Cpu.PC, Cpu.InterruptService, Timers.Timer2Control, PendingInterrupts.load()),
              std::tuple(0x00200u, 0u, 0xAu, 0x4008u));
    DecideInterrupts();
    EXPECT_EQ(std::tuple(RtiBits.load(), ServiceRequestBits, Cpu.PC, Cpu.RSTK[0]),
              std::tuple(0x4000u, 0x40u, InterruptVector, 0x00200u));
}

} // namespace
