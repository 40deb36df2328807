#include <gtest/gtest.h>

#include "engine/core/engine.h"
#include "engine/core/interrupts.h"
#include "engine/core/timers.h"
#include "korvane.h"

using namespace korvane;

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
    Timers.Timer2 = Timers.Timer2LastValue = 0x10000;
    Timers.Timer2Control = TimerRun;
    for (int i = 0; i < 8192; ++i)
        SliceTick();
    EXPECT_EQ(Timers.Timer2, 0x10000u - 8192);
    EXPECT_EQ(timer1.Count, 16);
    EXPECT_EQ(keyboard.Count, 256);
    EXPECT_EQ(display.Count, 4096);

    // A stopped TIMER2 holds TIMER1 and the scan, not the display.
    Timers.Timer2Control = 0;
    for (int i = 0; i < 100; ++i)
        SliceTick();
    EXPECT_EQ(Timers.Timer2, 0x10000u - 8192);
    EXPECT_EQ(timer1.Count + keyboard.Count, 16 + 256);
    EXPECT_EQ(display.Count, 4096 + 50);

    // Edges compare with the last tick, not with a value the program wrote.
    Timers.Timer2LastValue = 0x10;
    Timers.Timer2 = 0x180;
    Timer2Tick(); // 0x17F against 0x010: bit 8 rises, bit 4 stays set
    EXPECT_EQ(timer1.Count, 17);
    EXPECT_EQ(keyboard.Count, 256);
    EXPECT_EQ(Timers.Timer2LastValue, 0x17Fu);
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
        PendingInterrupts = Timers.Timer1 = Timers.Timer2 = 0;
        Sleeping = c.Asleep;
        (c.Timer1 ? Timers.Timer1Control : Timers.Timer2Control) = c.Control;
        c.Timer1 ? Timer1Tick() : Timer2Tick();
        EXPECT_EQ(c.Timer1 ? Timers.Timer1 : Timers.Timer2, c.Timer1 ? 15u : 0xFFFFFFFFu);
        EXPECT_EQ(c.Timer1 ? Timers.Timer1Control : Timers.Timer2Control, c.ControlAfter);
        EXPECT_EQ(WakeEvent->IsSet(), c.Woken);
        EXPECT_EQ(Sleeping.load() != 0, c.Asleep && !c.Woken);
        EXPECT_EQ(PendingInterrupts.load(), c.Requested);
    }
}

TEST_F(TimerTicks, ServiceBitLastsWhileTheTopBitIsSetAndRecheckRaisesWhatIsStillDue)
{
    Timers.Timer2 = 0;
    Timers.Timer2Control = 0x3;
    Timer2Tick();
    PendingInterrupts.store(0);
    Timer2Tick();
    EXPECT_EQ(Timers.Timer2Control, 0xBu);
    EXPECT_EQ(PendingInterrupts.load(), 0u) << "one request per run-out";
    Timers.Timer2 = 0x80000000;
    Timer2Tick(); // leaves 0x7FFFFFFF
    EXPECT_EQ(Timers.Timer2Control, 0x3u);

    Timers.Timer1 = 15;
    Timers.Timer1Control = 0xA;
    for (int value = 14; value >= 8; --value) {
        Timer1Tick();
        EXPECT_EQ(Timers.Timer1Control, 0xAu) << value;
    }
    Timer1Tick(); // leaves 7
    EXPECT_EQ(Timers.Timer1Control, 0x2u);

    // An RTI rechecks: what is still due is raised again, asleep or not.
    Sleeping.store(1);
    Timers.Timer1 = 9;
    Timers.Timer2 = 0x80000005;
    Timers.Timer2Control = 0x5; // wake without interrupt: nothing
    PendingInterrupts.store(0);
    RecheckTimerInterrupts();
    EXPECT_EQ(PendingInterrupts.load(), RequestTimer1);
    EXPECT_EQ(Timers.Timer1Control, 0xAu);
    EXPECT_EQ(Timers.Timer2Control, 0x5u);
    Timers.Timer1 = 7;
    Timers.Timer2Control = 0x3;
    PendingInterrupts.store(0);
    RecheckTimerInterrupts();
    EXPECT_EQ(PendingInterrupts.load(), RequestTimer2);
    EXPECT_EQ(Timers.Timer2Control, 0xBu);
}

} // namespace
