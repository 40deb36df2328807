// The SHUTDN sleep against the host's clock: what ends it and how soon, how
// the ticks keep real time while the execution thread blocks, and what the
// sleep costs. Bounds on host time are generous, the machine being loaded;
// the counts of ticks and frames follow real time exactly.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include "engine/core/engine.h"
#include "engine/core/interrupts.h"
#include "engine/core/keyboard.h"
#include "engine/core/lcd.h"
#include "engine/core/serial.h"
#include "engine/core/timers.h"
#include "platform/clock.h"
#include "tests/support/single_step.h"
#include "tests/support/watchdog.h"

using namespace korvane;
using namespace std::chrono_literals;
using test::Program;

namespace {

constexpr uint32_t Idle = 0x10000;
constexpr uint32_t Io = 0x00100;

// What the execution thread noted on entering (slot 12) and leaving (slot
// 13) the first sleep since Calls was cleared: the host time, its own
// processor time, TIMER2, the frames delivered so far.
struct Notice {
    std::atomic<int> Calls;
    std::atomic<uint64_t> At;
    std::atomic<uint64_t> ProcessorNanoseconds;
    std::atomic<uint32_t> Timer2;
    std::atomic<uint32_t> Frames;
};
Notice Entered, Left;
std::atomic<uint32_t> Frames;

uint64_t ThreadProcessorNanoseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

int32_t Note(uint32_t bits)
{
    Notice& notice = bits == SleepEnterNotice ? Entered : Left;
    if (notice.Calls == 0) {
        notice.At = platform::PerformanceCounter();
        notice.ProcessorNanoseconds = ThreadProcessorNanoseconds();
        notice.Timer2 = Timers.Timer2;
        notice.Frames = Frames.load();
    }
    ++notice.Calls;
    return 1;
}

void GiveBack(const uint8_t* frame, uint32_t, uint32_t)
{
    ++Frames;
    KVDiscardFrame(frame);
}

int32_t Drop(uint32_t)
{
    return 0;
}

bool WaitFor(const Notice& notice, std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (notice.Calls == 0) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(200us);
    }
    return true;
}

double Seconds(uint64_t counterTicks)
{
    return double(counterTicks) / double(platform::PerformanceFrequency());
}

double SecondsSince(uint64_t counterValue)
{
    return Seconds(platform::PerformanceCounter() - counterValue);
}

struct SleepInRealTime : ::testing::Test {
    SleepInRealTime()
    {
        Entered.Calls = Left.Calls = 0;
        Frames = 0;
        Timers = {};
        test::ResetKeys();
        KVSetSerialHandler(nullptr);
        SerialRegisters = {};
        M.place(Program(InterruptVector).rti());
        M.load(Program(Idle).label("idle").op("807").goto_("idle")); // SHUTDN
        KVSetInterruptHandler(&Note, SleepEnterNotice | SleepLeaveNotice);
        SleepTickDeadline = 0; // far behind: the sleep starts its schedule afresh
    }
    ~SleepInRealTime() override
    {
        KVStop();
        Timers = {};
        SerialRegisters = {};
        test::ResetKeys();
        KVSetDisplayHandler(nullptr);
        DisplayOn = 0;
    }

    // Runs until the processor sleeps.
    void Asleep()
    {
        KVRun();
        ASSERT_TRUE(WaitFor(Entered, 2000ms));
    }

    test::Machine M;
};

// Nothing here falls due for a second (the display is off, no timer wakes),
// so each wake is heard at once or not for a long time.
TEST_F(SleepInRealTime, EachWakeSourceEndsItAtOnce)
{
    const struct {
        const char* Name;
        void (*Prepare)();
        void (*Wake)();
    } sources[] = {
        {"a key on a driven line", [] { Cpu.OUT = 0x001, Timers.Timer2 = 0x10000, Timers.Timer2Control = TimerRun; },
         [] { KVPressKey(2, 0); }},
        {"ON", [] {}, [] { KVPressKey(9, 9); }},
        {"a byte with receive interrupts", [] { SerialRegisters.RxIntEnable = 1; }, [] { KVSerialSendByte(1, 0x41); }},
        {"KVStop", [] {}, [] { KVStop(); }},
        {"KVReset", [] {}, [] { KVReset(); }},
    };
    for (const auto& s : sources) {
        SCOPED_TRACE(s.Name);
        Entered.Calls = Left.Calls = 0;
        Cpu.PC = Idle;
        Cpu.InterruptService = 0;
        PendingInterrupts = 0;
        s.Prepare();
        Asleep();
        std::this_thread::sleep_for(20ms); // well into the wait
        const uint64_t woken = platform::PerformanceCounter();
        s.Wake();
        ASSERT_TRUE(WaitFor(Left, 2000ms));
        EXPECT_LT(Seconds(Left.At - woken), 0.5);
        KVStop();
        test::ResetKeys();
        Timers = {};
        SerialRegisters = {};
    }
}

// The Parts' rules of what does not wake: a key while TIMER2 stands (no scan
// runs), a byte with receive interrupts off, a request alone.
TEST_F(SleepInRealTime, WhatDoesNotWakeLeavesItAsleep)
{
    Cpu.OUT = 0x001;
    Asleep();
    KVPressKey(2, 0);
    KVSerialSendByte(1, 0x41);
    RequestInterrupt(RequestTimer1);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Left.Calls, 0);
    KVStop();
    EXPECT_GE(Left.Calls, 1) << "the stop ends it";
}

// A timer whose wake bit is set ends the sleep on the tick that runs it
// out, and not a horizon later.
TEST_F(SleepInRealTime, TimersWakeOnTheTickThatRunsThemOut)
{
    const struct {
        const char* Name;
        uint8_t Timer1, Timer1Control, Timer2Control;
        uint32_t Timer2;
        uint32_t Ticks; // to the run-out
    } cases[] = {
        // TIMER2 runs out on the tick that takes it below 0.
        {"TIMER2", 0, 0, TimerRun | TimerWakeEnable, 2047, 2048},
        // TIMER1 counts on the ticks where TIMER2's bit 8 rises: 0x1FF
        // after the first, then every 512th; 2 runs out on the third.
        {"TIMER1", 2, TimerWakeEnable, TimerRun, 0x200, 1 + 2 * 512},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Entered.Calls = Left.Calls = 0;
        Cpu.PC = Idle;
        Timers = {};
        Timers.Timer1 = c.Timer1;
        Timers.Timer1Control = c.Timer1Control;
        Timers.Timer2 = Timers.Timer2LastValue = c.Timer2;
        Timers.Timer2Control = c.Timer2Control;
        Asleep();
        ASSERT_TRUE(WaitFor(Left, 3000ms));
        KVStop();
        const uint32_t ticks = Entered.Timer2 - Left.Timer2;
        EXPECT_GE(ticks, c.Ticks);
        // A thread held up by the host makes up the ticks since, in the
        // same batch: a few hundred at most, against the thousands of a
        // wake missed until the horizon.
        EXPECT_LT(ticks, c.Ticks + 2000);
        EXPECT_GE(Seconds(Left.At - Entered.At), (c.Ticks - 1) * Seconds(SlicePeriod));
        EXPECT_EQ(Timers.Timer1Control & TimerWakeEnable, 0) << "the wake bit is spent";
        EXPECT_EQ(Timers.Timer2Control & TimerWakeEnable, 0);
    }
}

// Over a long sleep the execution thread blocks between frame ends, and
// yet TIMER2 counts 8192 a second and the frames come 64 a second, because
// each wake delivers every tick that fell due. The thread's processor time
// meanwhile is a small part of the time asleep (a thread that polled would
// spend all of it).
TEST_F(SleepInRealTime, ALongSleepKeepsRealTimeAndCostsLittle)
{
    test::Watchdog watchdog(30s, "a long sleep");
    Timers.Timer2 = 0x7FFFFFFF;
    Timers.Timer2Control = TimerRun;
    WriteDisplayRegister(0x00, 8);
    KVSetDisplaySize(131, 64);
    KVSetDisplayHandler(GiveBack);
    Asleep();
    std::this_thread::sleep_for(2500ms);
    KVStop();
    ASSERT_GE(Left.Calls, 1);

    const double asleep = Seconds(Left.At - Entered.At);
    const double ticks = Entered.Timer2 - Left.Timer2;
    EXPECT_NEAR(ticks / asleep, 8192, 82);
    // A frame ends every 128 ticks, two per display line.
    EXPECT_NEAR(Left.Frames - Entered.Frames, ticks / 128, 2);
    const double busy = (Left.ProcessorNanoseconds - Entered.ProcessorNanoseconds) / 1e9;
    EXPECT_LT(busy / asleep, 0.25) << "the sleeping thread ran for " << busy << " s of " << asleep;
}

// The decision after the previous instruction left no request; one found
// when the sleep begins came in while SHUTDN ran, and is not left waiting
// for an unrelated wake.
TEST_F(SleepInRealTime, ARequestFoundAsItBeginsEndsItAtOnce)
{
    static std::atomic<int> returns;
    returns = 0;
    KVSetInterruptHandler(
        [](uint32_t) -> int32_t {
            ++returns;
            return 1;
        },
        RequestRtiNotice);
    PendingInterrupts = RequestSerialReceive;
    const uint64_t start = platform::PerformanceCounter();
    KVRun();
    ASSERT_TRUE(WaitFor(Left, 2000ms));
    EXPECT_LT(SecondsSince(start), 0.5);
    for (int i = 0; i < 2000 && returns == 0; ++i)
        std::this_thread::sleep_for(1ms);
    KVStop();
    EXPECT_EQ(Entered.Calls, Left.Calls);
    EXPECT_EQ(ServiceRequestBits, 0x02) << "the request was taken after SHUTDN";
    EXPECT_GE(returns, 1) << "through the service routine's RTI";
}

// A slice that slept is no overrun: held ON wakes the processor at every
// tick, and its SHUTDN loop sleeps again and again, but the count of
// instructions per slice goes on growing as the host keeps up. Counted as
// overruns, the sleeps would bring it down to 0 within 50 slices.
TEST_F(SleepInRealTime, ASliceThatSleptDoesNotSlowTheMachine)
{
    KVSetInterruptHandler(&Drop, RequestKey | RequestOnKey);
    KVPressKey(9, 9);
    InstructionsPerSlice = 50;
    KVRun();
    std::this_thread::sleep_for(200ms);
    const uint32_t count = InstructionsPerSlice;
    KVStop();
    EXPECT_GT(Left.Calls, 100);
    EXPECT_GE(count, 25u);
}

// A byte that comes while the program is about to sleep must still wake
// it: the program takes each byte in its main loop and sleeps when none
// waits, and the host sends the next byte the moment the last one is taken,
// so bytes keep landing at every point of the loop, SHUTDN included.
TEST_F(SleepInRealTime, NoByteIsLostToTheMomentTheSleepBegins)
{
    test::Watchdog watchdog(60s, "bytes sent to a sleeping program");
    static std::atomic<int> taken;
    taken = 0;
    KVMemoryConfig(Io);
    // The service routine goes back to the top of the loop, which looks
    // again before it sleeps, wherever the request came.
    M.place(Program(InterruptVector).op("07").lc(5, Idle).op("06").rti()); // C=RSTK, RSTK=C
    M.load(Program(Idle)
               .label("loop")
               .d0(Io + 0x11)
               .op("15E0")   // C=DAT0 1: the receiver's state
               .op("808B0")  // ?CBIT=1 0: a byte waits
               .goyes("take")
               .op("807")    // SHUTDN
               .goto_("loop")
               .label("take")
               .d0(Io + 0x14)
               .op("14E") // C=DAT0 B: takes the byte
               .goto_("loop"));
    WriteSerialRegister(0x10, 0xA); // on, receive interrupts
    KVSetSerialHandler([](uint32_t event, uint32_t) {
        if (event == KV_SERIAL_RECEIVE_READ)
            ++taken;
    });
    KVRun();
    constexpr int Bytes = 500;
    for (int sent = 0; sent < Bytes; ++sent) {
        // A pause of 0 to 60 us lands the byte anywhere from the loop's
        // look at the receiver to well into the sleep.
        const uint64_t send = platform::PerformanceCounter() + (sent * 7 % 61) * 1000u;
        while (platform::PerformanceCounter() < send) {
        }
        KVSerialSendByte(1, static_cast<uint32_t>(sent & 0xFF));
        const auto end = std::chrono::steady_clock::now() + 2s;
        while (taken == sent && std::chrono::steady_clock::now() < end)
            std::this_thread::yield();
        ASSERT_EQ(taken, sent + 1) << "byte " << sent << " was not taken";
    }
    KVStop();
    KVSetSerialHandler(nullptr);
}

} // namespace
