#include <gtest/gtest.h>

#include "engine/core/engine.h"
#include "engine/core/interrupts.h"
#include "engine/core/timers.h"
#include "korvane.h"

using namespace korvane;

namespace {

class CountingTicker final : public Ticker {
public:
    void Tick() override { ++Count; }
    int Count = 0;
};

// Puts a counting double in a ticker slot for the test's lifetime.
class SwapTicker {
public:
    explicit SwapTicker(Ticker*& slot) : Slot(slot), Saved(slot) { Slot = &Double; }
    ~SwapTicker() { Slot = Saved; }
    int count() const { return Double.Count; }

private:
    Ticker*& Slot;
    Ticker* Saved;
    CountingTicker Double;
};

struct Timers : ::testing::Test {
    Timers()
    {
        KVStop();
        Timer1 = Timer1Control = Timer2Control = 0;
        Timer2 = Timer2LastValue = 0;
        DisplayTickPhase = false;
        PendingInterrupts.store(0);
        Sleeping.store(0);
    }
    ~Timers() override
    {
        Timer2Control = 0;
        Sleeping.store(0);
        WakeEvent->Reset();
        PendingInterrupts.store(0);
    }
};

TEST_F(Timers, OneSecondOfSliceTicksGivesSixteenTimer1TicksAndTwoHundredFiftySixScans)
{
    SwapTicker timer1(Tickers.Timer1);
    SwapTicker keyboard(Tickers.Keyboard);
    SwapTicker display(Tickers.Display);
    Timer2 = Timer2LastValue = 0x10000;
    Timer2Control = TimerRun;
    for (int i = 0; i < 8192; ++i)
        SliceTick();
    EXPECT_EQ(Timer2, 0x10000u - 8192);
    EXPECT_EQ(timer1.count(), 16);
    EXPECT_EQ(keyboard.count(), 256);
    EXPECT_EQ(display.count(), 4096);
}

TEST_F(Timers, StoppedTimer2HoldsTimer1AndTheScanButNotTheDisplay)
{
    SwapTicker keyboard(Tickers.Keyboard);
    SwapTicker display(Tickers.Display);
    Timer2 = Timer2LastValue = 0x200;
    Timer1 = 5;
    SliceTick(); // the first tick after the phase reset renders
    EXPECT_EQ(display.count(), 1);
    SliceTick();
    EXPECT_EQ(display.count(), 1);
    for (int i = 0; i < 100; ++i)
        SliceTick();
    EXPECT_EQ(Timer2, 0x200u);
    EXPECT_EQ(Timer1, 5u);
    EXPECT_EQ(keyboard.count(), 0);
    EXPECT_EQ(display.count(), 51);
}

TEST_F(Timers, EdgesCompareWithTheLastTickNotWithAWrittenValue)
{
    SwapTicker timer1(Tickers.Timer1);
    SwapTicker keyboard(Tickers.Keyboard);
    Timer2LastValue = 0x10;
    Timer2 = 0x180; // as the program writes it: the write leaves no edge behind
    Timer2Tick();   // 0x17F against 0x010: bit 8 rises, bit 4 stays set
    EXPECT_EQ(timer1.count(), 1);
    EXPECT_EQ(keyboard.count(), 0);
    EXPECT_EQ(Timer2LastValue, 0x17Fu);

    Timer2LastValue = 0x1FF;
    Timer2 = 0x200;
    Timer2Tick(); // 0x1FF passes a boundary, yet against 0x1FF nothing rises
    EXPECT_EQ(timer1.count(), 1);
}

struct UnderflowCase {
    uint8_t Control;
    bool Asleep;
    uint8_t ControlAfter;
    bool Woken;
    uint16_t Requested;
};

// TIMER2 runs out (0 -> 0xFFFFFFFF) under each combination of enables.
TEST_F(Timers, Timer2UnderflowSetsServiceWakesOnceAndInterruptsTheAwake)
{
    const UnderflowCase cases[] = {
        {0x3, false, 0xB, false, 0x8}, // interrupt, awake
        {0x5, true, 0x9, true, 0x0},   // wake, asleep: the wake bit is spent
        {0x7, true, 0xB, true, 0x8},   // both, asleep: woken first, then interrupted
        {0x3, true, 0xB, false, 0x0},  // interrupt only, asleep: neither
        {0x5, false, 0xD, false, 0x0}, // wake only, awake: the wake bit stays
        {0x1, false, 0x1, false, 0x0}, // no enable: no service bit
    };
    for (const UnderflowCase& c : cases) {
        SCOPED_TRACE(testing::Message() << "control " << int(c.Control) << (c.Asleep ? " asleep" : " awake"));
        WakeEvent->Reset();
        PendingInterrupts.store(0);
        Sleeping.store(c.Asleep ? 1 : 0);
        Timer2 = 0;
        Timer2Control = c.Control;
        Timer2Tick();
        EXPECT_EQ(Timer2, 0xFFFFFFFFu);
        EXPECT_EQ(Timer2Control, c.ControlAfter);
        EXPECT_EQ(WakeEvent->IsSet(), c.Woken);
        EXPECT_EQ(Sleeping.load() != 0, c.Asleep && !c.Woken);
        EXPECT_EQ(PendingInterrupts.load(), c.Requested);
    }
}

TEST_F(Timers, ServiceBitLastsWhileTheTopBitIsSet)
{
    Timer2 = 0;
    Timer2Control = 0x3;
    Timer2Tick();
    PendingInterrupts.store(0);
    Timer2Tick();
    EXPECT_EQ(Timer2Control, 0xBu);
    EXPECT_EQ(PendingInterrupts.load(), 0u) << "one request per run-out";
    Timer2 = 0x80000000;
    Timer2Tick(); // leaves 0x7FFFFFFF
    EXPECT_EQ(Timer2Control, 0x3u);

    Timer1 = 0;
    Timer1Control = 0x2;
    PendingInterrupts.store(0);
    Timer1Tick();
    EXPECT_EQ(Timer1, 15u);
    EXPECT_EQ(Timer1Control, 0xAu);
    EXPECT_EQ(PendingInterrupts.load(), RequestTimer1);
    for (int value = 14; value >= 8; --value) {
        Timer1Tick();
        EXPECT_EQ(Timer1Control, 0xAu) << value;
    }
    Timer1Tick(); // leaves 7
    EXPECT_EQ(Timer1Control, 0x2u);
}

TEST_F(Timers, Timer1WakeIsSpentAndTheWokenCpuIsInterrupted)
{
    Sleeping.store(1);
    Timer1 = 0;
    Timer1Control = 0x6;
    Timer1Tick();
    EXPECT_TRUE(WakeEvent->IsSet());
    EXPECT_EQ(Timer1Control, 0xAu);
    EXPECT_EQ(PendingInterrupts.load(), RequestTimer1);
}

TEST_F(Timers, RecheckRaisesWhatIsStillDueWhateverTheSleep)
{
    Sleeping.store(1); // not looked at
    Timer1 = 9;
    Timer1Control = 0x2;
    Timer2 = 0x80000005;
    Timer2Control = 0x5; // wake without interrupt: nothing
    RecheckTimerInterrupts();
    EXPECT_EQ(PendingInterrupts.load(), RequestTimer1);
    EXPECT_EQ(Timer1Control, 0xAu);
    EXPECT_EQ(Timer2Control, 0x5u);

    PendingInterrupts.store(0);
    Timer1 = 7;
    Timer2Control = 0x3;
    RecheckTimerInterrupts();
    EXPECT_EQ(PendingInterrupts.load(), RequestTimer2);
    EXPECT_EQ(Timer2Control, 0xBu);
}

TEST_F(Timers, TickersAreMadeAndFreedAsASet)
{
    DestroyTickers();
    EXPECT_EQ(Tickers.Timer1, nullptr);
    EXPECT_EQ(Tickers.Display, nullptr);
    CreateTickers();
    const Ticker* all[] = {Tickers.Timer1, Tickers.Timer2, Tickers.Keyboard, Tickers.Display};
    for (int i = 0; i < 4; ++i) {
        ASSERT_NE(all[i], nullptr);
        for (int j = 0; j < i; ++j)
            EXPECT_NE(all[i], all[j]);
    }
    // The new set ticks: TIMER2 reaches TIMER1 through it.
    Timer2 = Timer2LastValue = 0x200;
    Timer2Control = TimerRun;
    Timer1 = 1;
    SliceTick();
    EXPECT_EQ(Timer1, 0u);
}

} // namespace
