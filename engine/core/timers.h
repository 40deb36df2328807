// TIMER1, TIMER2 and the slice tick that drives every periodic device.
#pragma once

#include <cstdint>

#pragma GCC visibility push(hidden)
namespace korvane {

struct TimerState {
    uint8_t Timer1;        // 4-bit counter
    uint8_t Timer1Control; // bit 1 interrupt, 2 wake, 3 service request
    uint32_t Timer2;       // 32-bit counter
    uint8_t Timer2Control; // bit 0 run, then as TIMER1
    // TIMER2 as the previous tick left it: TIMER1 and the keyboard scan
    // follow the rising edges of its bits 8 and 4 against this value.
    uint32_t Timer2LastValue;
    // Inverted by every slice tick; the display renders a line when it is set.
    bool DisplayTickPhase;
};
extern TimerState Timers;

// Timer control bits.
inline constexpr uint8_t TimerRun = 1; // TIMER2 only; TIMER1 counts while TIMER2 runs
inline constexpr uint8_t TimerInterruptEnable = 2;
inline constexpr uint8_t TimerWakeEnable = 4;
inline constexpr uint8_t TimerServiceRequest = 8;

// One period of a periodic device. The instances are only ever destroyed
// through their own class, so the base has no virtual destructor.
class Ticker {
public:
    virtual void Tick() = 0;

protected:
    Ticker() = default;
    ~Ticker() = default;
};

class DisplayTicker final : public Ticker {
public:
    void Tick() override;
};

class KeyboardTicker final : public Ticker {
public:
    void Tick() override;
};

class Timer1Ticker final : public Ticker {
public:
    void Tick() override;
};

class Timer2Ticker final : public Ticker {
public:
    void Tick() override;
};

// The tickers the slice tick calls. They exist from CreateTickers to
// DestroyTickers; the tick paths call them without a check.
struct TickerSet {
    Ticker* Timer1;
    Ticker* Timer2;
    Ticker* Keyboard;
    Ticker* Display;
};
extern TickerSet Tickers;

void CreateTickers();
void DestroyTickers();

// One tick of 1/8192 s, on the execution thread only: the ON-key check, a
// serial byte the handler refused offered again, TIMER2 (with TIMER1 and
// the keyboard scan on its bit edges) and an LCD line every second tick.
void SliceTick();
void Timer1Tick();
void Timer2Tick();
// After an RTI: a timer whose interrupt came due during the service routine,
// where requests are dropped, requests again.
void RecheckTimerInterrupts();

// One second of slice ticks: the most ticks made up at once when the
// execution thread has fallen behind, awake or asleep, and the longest a
// SHUTDN sleep waits between two looks at the machine.
inline constexpr uint64_t SliceTickHorizon = 8192;

// While the processor sleeps in SHUTDN: the slice ticks from now to the
// first one that may end the sleep or be seen outside the machine, 1 to
// SliceTickHorizon. Those are the ON key's check while ON is held, a timer
// running out with its wake bit set, and the end of an LCD frame; the
// ticks between them change only what nobody looks at before then.
uint64_t SliceTicksToNextEvent();

// While the processor sleeps: a key line that has come up is scanned now
// rather than at TIMER2's next 256 Hz edge, up to 1/256 s later, so that a
// press wakes the processor at once. While TIMER2 stands nothing is
// scanned, as nothing would be.
void ScanNewKeyLines();

} // namespace korvane
#pragma GCC visibility pop
