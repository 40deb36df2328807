#include "engine/core/interrupts.h"

#include "engine/core/cpu_state.h"
#include "engine/core/engine.h"
#include "engine/core/hooks.h"
#include "engine/core/keyboard.h"
#include "engine/core/timers.h"
#include "platform/clock.h"
#include "platform/event.h"

namespace korvane {

std::atomic<uint16_t> PendingInterrupts;
uint8_t ServiceRequestBits;
std::atomic<uint8_t> Sleeping;
std::atomic<InterruptHandlerProc> InterruptHandlers[16];

namespace {

// What the ROM reads in ServiceRequestBits for each request bit, in bit
// order: 0x80 the keyboard and the ON key, 0x40 the timers, 0x02 the serial
// port. Bits 7 (0x02) and 9 (0x01) have causes but no device of this
// machine posts them; the others have none.
constexpr uint8_t InterruptCauseTable[16] = {
    0x80, // 0  key
    0x80, // 1  ON key
    0x40, // 2  TIMER1
    0x40, // 3  TIMER2
    0x00, // 4
    0x02, // 5  serial transmit
    0x02, // 6  serial receive
    0x02, // 7
    0x00, // 8
    0x01, // 9
    0x00, // 10
    0x00, // 11
    0x00, // 12 (the sleep notices are no requests)
    0x00, // 13
    0x00, // 14 RTI notice
    0x00, // 15
};

void NotifySleepSlot(unsigned slot, uint32_t value)
{
    if (InterruptHandlerProc handler = InterruptHandlers[slot].load(std::memory_order_acquire))
        handler(value);
}

bool WakeOrStopRequested()
{
    return WakeEvent->IsSet() || StopEvent->IsSet();
}

// The sleep keeps the slice ticks on their schedule without running at
// each of them: the thread blocks until the next tick that matters, or a
// wake, a stop or a key press, and then delivers the ticks that fell due
// meanwhile in one batch. Every tick is delivered before the sleep ends,
// so the timers stand where real time has brought them.
void SleepUntilWoken()
{
    platform::Event* events[] = {WakeEvent, StopEvent, KeyEvent};
    for (;;) {
        DeliverDueTicks(platform::PerformanceCounter());
        ScanNewKeyLines();
        if (WakeOrStopRequested())
            return;
        const uint64_t ticks = SliceTicksToNextEvent();
        platform::WaitForEventsUntil(events, 3, SliceDeadline + (ticks - 1) * SlicePeriod);
    }
}

} // namespace

void RequestInterrupt(uint16_t bits)
{
    platform::CriticalSectionGuard guard(*CpuLock);
    // Every writer holds CpuLock, so a plain load and store suffice.
    PendingInterrupts.store(PendingInterrupts.load(std::memory_order_relaxed) | bits, std::memory_order_relaxed);
}

void DecideInterrupts()
{
    platform::CriticalSectionGuard guard(*CpuLock);
    uint16_t pending = PendingInterrupts.load(std::memory_order_relaxed);
    // Requests that arrive during a service routine are dropped.
    if (!LoadRelaxed(Cpu.InterruptService)) {
        for (unsigned bit = 0; bit < 16; ++bit) {
            const uint16_t mask = static_cast<uint16_t>(1u << bit);
            if (!(pending & mask))
                continue;
            InterruptHandlerProc handler = InterruptHandlers[bit].load(std::memory_order_acquire);
            if (handler && handler(mask) == 0)
                pending &= static_cast<uint16_t>(~mask);
            else
                ServiceRequestBits |= InterruptCauseTable[bit];
        }
        pending &= 0x0FFF;
        if (pending) {
            StoreRelaxed(Cpu.InterruptService, uint8_t{1});
            PushReturnStack(Cpu.PC); // calls the debugging hook once
            Cpu.PC = InterruptVector;
        }
    }
    PendingInterrupts.store(0, std::memory_order_relaxed);
}

void ReturnFromInterrupt()
{
    RequestInterrupt(RequestRtiNotice);
    StoreRelaxed(Cpu.InterruptService, uint8_t{0});
    RecheckTimerInterrupts();
    CheckOnKey();
}

void CpuShutdown()
{
    if (!IsExecutionThread())
        return;
    {
        platform::CriticalSectionGuard guard(*CpuLock);
        // The decision after the previous instruction left no request, so
        // one pending now came from another thread while SHUTDN ran, or
        // from the tick between two slices: it found the processor awake,
        // and asleep it would wait, undecided, for an unrelated wake.
        if (PendingInterrupts.load(std::memory_order_relaxed)) {
            WakeEvent->Set();
        } else {
            // Published with release: whoever sees the processor asleep sees
            // the machine as SHUTDN left it.
            Sleeping.store(1, std::memory_order_release);
            WakeEvent->Reset();
        }
    }
    // The slices' schedule goes on through the notices and the sleep: the
    // ticks that fall due meanwhile are delivered as the sleep begins, and
    // the slice that woke ends at its deadline.
    NotifySleepSlot(SleepEnterSlot, SleepEnterNotice);
    SleepUntilWoken();
    SliceStart = platform::PerformanceCounter();
    Sleeping.store(0, std::memory_order_relaxed);
    NotifySleepSlot(SleepLeaveSlot, SleepLeaveNotice);
}

void WakeCpu()
{
    platform::CriticalSectionGuard guard(*CpuLock);
    if (Sleeping.load(std::memory_order_relaxed)) {
        WakeEvent->Set();
        Sleeping.store(0, std::memory_order_relaxed);
    }
}

void WakeCpuAndRequest(uint16_t bits)
{
    platform::CriticalSectionGuard guard(*CpuLock);
    WakeCpu();
    if (bits)
        RequestInterrupt(bits);
}

void SetInterruptHandler(InterruptHandlerProc handler, uint32_t mask)
{
    for (unsigned bit = 0; bit < 16; ++bit) {
        if (mask & (1u << bit))
            InterruptHandlers[bit].store(handler, std::memory_order_release);
    }
}

void ClearInterruptHandlers()
{
    for (auto& slot : InterruptHandlers)
        slot.store(nullptr, std::memory_order_release);
}

} // namespace korvane

extern "C" void KVSetInterruptHandler(InterruptHandlerProc handler, uint32_t mask)
{
    korvane::SetInterruptHandler(handler, mask);
}
