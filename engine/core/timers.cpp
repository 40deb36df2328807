#include "engine/core/timers.h"

#include <algorithm>

#include "engine/core/interrupts.h"
#include "engine/core/keyboard.h"
#include "engine/core/lcd.h"
#include "engine/core/serial.h"

namespace korvane {

TimerState Timers;
TickerSet Tickers;

namespace {

// The instances themselves, apart from the slots that the tick paths call
// through, so that they are freed as what they are.
Timer1Ticker* OwnedTimer1;
Timer2Ticker* OwnedTimer2;
KeyboardTicker* OwnedKeyboard;
DisplayTicker* OwnedDisplay;

bool IsSleeping()
{
    return Sleeping.load(std::memory_order_relaxed) != 0;
}

// The run-out of either timer: the service bit tells the program; a sleeping
// CPU is woken at most once per wake bit; an awake one is interrupted. The
// interrupt test follows the wake, so a CPU just woken counts as awake.
void Underflow(uint8_t& control, uint16_t request)
{
    control |= TimerServiceRequest;
    if ((control & TimerWakeEnable) && IsSleeping()) {
        WakeCpu();
        control &= static_cast<uint8_t>(~TimerWakeEnable);
    }
    if ((control & TimerInterruptEnable) && !IsSleeping())
        RequestInterrupt(request);
}

// The ticks from now to the next one at which the bit of TIMER2 rises. The
// next tick compares with Timer2LastValue, which the program may have
// written over since; each later one, counting down, raises the bit when
// the value's bits up to it were all clear before the tick.
uint64_t TicksToRisingEdge(uint32_t bit)
{
    const uint32_t value = Timers.Timer2;
    if (~Timers.Timer2LastValue & (value - 1) & bit)
        return 1;
    const uint32_t period = bit << 1;
    return ((value - 1) & (period - 1)) + 2;
}

} // namespace

void DisplayTicker::Tick()
{
    DisplayTick();
}

void KeyboardTicker::Tick()
{
    ScanKeyboard();
}

void Timer1Ticker::Tick()
{
    Timer1Tick();
}

void Timer2Ticker::Tick()
{
    Timer2Tick();
}

void CreateTickers()
{
    OwnedTimer1 = new Timer1Ticker;
    OwnedTimer2 = new Timer2Ticker;
    OwnedKeyboard = new KeyboardTicker;
    OwnedDisplay = new DisplayTicker;
    Tickers = {OwnedTimer1, OwnedTimer2, OwnedKeyboard, OwnedDisplay};
}

void DestroyTickers()
{
    Tickers = {};
    delete OwnedTimer1;
    OwnedTimer1 = nullptr;
    delete OwnedTimer2;
    OwnedTimer2 = nullptr;
    delete OwnedKeyboard;
    OwnedKeyboard = nullptr;
    delete OwnedDisplay;
    OwnedDisplay = nullptr;
}

void SliceTick()
{
    CheckOnKey();
    RetryTransmit();
    if (Timers.Timer2Control & TimerRun)
        Tickers.Timer2->Tick();
    Timers.DisplayTickPhase = !Timers.DisplayTickPhase;
    if (Timers.DisplayTickPhase)
        Tickers.Display->Tick();
}

void Timer2Tick()
{
    Timers.Timer2 -= 1;
    if (Timers.Timer2 == 0xFFFFFFFF && (Timers.Timer2Control & (TimerInterruptEnable | TimerWakeEnable)))
        Underflow(Timers.Timer2Control, RequestTimer2);
    else if (!(Timers.Timer2 & 0x80000000))
        Timers.Timer2Control &= static_cast<uint8_t>(~TimerServiceRequest);

    // Counting down, bit 8 rises once every 512 ticks (16 Hz) and bit 4 once
    // every 32 (256 Hz).
    const uint32_t rising = ~Timers.Timer2LastValue & Timers.Timer2;
    if (rising & 0x100)
        Tickers.Timer1->Tick();
    if (rising & 0x10)
        Tickers.Keyboard->Tick();
    Timers.Timer2LastValue = Timers.Timer2;
}

void Timer1Tick()
{
    Timers.Timer1 = (Timers.Timer1 - 1) & 15;
    if (Timers.Timer1 == 15 && (Timers.Timer1Control & (TimerInterruptEnable | TimerWakeEnable)))
        Underflow(Timers.Timer1Control, RequestTimer1);
    else if (!(Timers.Timer1 & 8))
        Timers.Timer1Control &= static_cast<uint8_t>(~TimerServiceRequest);
}

void RecheckTimerInterrupts()
{
    if ((Timers.Timer1 & 8) && (Timers.Timer1Control & TimerInterruptEnable)) {
        Timers.Timer1Control |= TimerServiceRequest;
        RequestInterrupt(RequestTimer1);
    }
    if ((Timers.Timer2 & 0x80000000) && (Timers.Timer2Control & TimerInterruptEnable)) {
        Timers.Timer2Control |= TimerServiceRequest;
        RequestInterrupt(RequestTimer2);
    }
}

uint64_t SliceTicksToNextEvent()
{
    if (OnKeyDown.load(std::memory_order_relaxed))
        return 1;
    uint64_t ticks = SliceTickHorizon;
    if (Timers.Timer2Control & TimerRun) {
        // TIMER2 runs out on the tick that takes it from 0 to all ones.
        if (Timers.Timer2Control & TimerWakeEnable)
            ticks = std::min(ticks, uint64_t{Timers.Timer2} + 1);
        // TIMER1 counts on the rising edges of bit 8, 16 a second: each
        // of them is looked at rather than counting ahead to its run-out.
        if (Timers.Timer1Control & TimerWakeEnable)
            ticks = std::min(ticks, TicksToRisingEdge(0x100));
    }
    if (const uint32_t lines = DisplayTicksToFrameEnd()) {
        // Every second tick is a display tick, the next one or the one
        // after it as the phase stands.
        const uint64_t first = Timers.DisplayTickPhase ? 2 : 1;
        ticks = std::min(ticks, first + 2 * uint64_t{lines - 1});
    }
    return ticks;
}

void ScanNewKeyLines()
{
    if ((Timers.Timer2Control & TimerRun) && NewKeyLinesWaiting())
        ScanKeyboard();
}

} // namespace korvane
