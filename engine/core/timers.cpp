#include "engine/core/timers.h"

#include "engine/core/interrupts.h"
#include "engine/core/keyboard.h"
#include "engine/core/lcd.h"

namespace korvane {

uint8_t Timer1;
uint8_t Timer1Control;
uint32_t Timer2;
uint8_t Timer2Control;
uint32_t Timer2LastValue;
bool DisplayTickPhase;
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
    if (Timer2Control & TimerRun)
        Tickers.Timer2->Tick();
    DisplayTickPhase = !DisplayTickPhase;
    if (DisplayTickPhase)
        Tickers.Display->Tick();
}

void Timer2Tick()
{
    Timer2 -= 1;
    if (Timer2 == 0xFFFFFFFF && (Timer2Control & (TimerInterruptEnable | TimerWakeEnable)))
        Underflow(Timer2Control, RequestTimer2);
    else if (!(Timer2 & 0x80000000))
        Timer2Control &= static_cast<uint8_t>(~TimerServiceRequest);

    // Counting down, bit 8 rises once every 512 ticks (16 Hz) and bit 4 once
    // every 32 (256 Hz).
    const uint32_t rising = ~Timer2LastValue & Timer2;
    if (rising & 0x100)
        Tickers.Timer1->Tick();
    if (rising & 0x10)
        Tickers.Keyboard->Tick();
    Timer2LastValue = Timer2;
}

void Timer1Tick()
{
    Timer1 = (Timer1 - 1) & 15;
    if (Timer1 == 15 && (Timer1Control & (TimerInterruptEnable | TimerWakeEnable)))
        Underflow(Timer1Control, RequestTimer1);
    else if (!(Timer1 & 8))
        Timer1Control &= static_cast<uint8_t>(~TimerServiceRequest);
}

void RecheckTimerInterrupts()
{
    if ((Timer1 & 8) && (Timer1Control & TimerInterruptEnable)) {
        Timer1Control |= TimerServiceRequest;
        RequestInterrupt(RequestTimer1);
    }
    if ((Timer2 & 0x80000000) && (Timer2Control & TimerInterruptEnable)) {
        Timer2Control |= TimerServiceRequest;
        RequestInterrupt(RequestTimer2);
    }
}

} // namespace korvane
