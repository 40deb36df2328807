// The SHUTDN sleep against the host's clock: what ends it and how soon, what
// does not, and how the ticks keep real time while the execution thread
// blocks. Bounds on host time are generous, the machine being loaded; the
// counts of ticks and frames follow real time exactly.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <string_view>
#include <thread>
#include <tuple>

#include "engine/core/engine.h"
#include "engine/core/interrupts.h"
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

// What the execution thread noted at the first entry to the sleep (slot 12),
// exit from it (13) and RTI (14) since Calls was cleared.
struct Notice {
    std::atomic<int> Calls;
    std::atomic<bool> CpuLockFree; // whether another thread could take CpuLock meanwhile
    std::atomic<uint64_t> At, Deadline, ProcessorNanoseconds;
    std::atomic<uint32_t> Timer2, Frames;
};
Notice Entered, Left, Returned;
std::atomic<uint32_t> Frames;

int32_t Note(uint32_t bits)
{
    Notice& n = bits == SleepEnterNotice ? Entered : bits == SleepLeaveNotice ? Left : Returned;
    if (n.Calls == 0) {
        timespec processor{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &processor);
        n.At = platform::PerformanceCounter();
        n.Deadline = SliceDeadline;
        n.ProcessorNanoseconds = uint64_t(processor.tv_sec) * 1000000000u + uint64_t(processor.tv_nsec);
        n.Timer2 = Timers.Timer2;
        n.Frames = Frames.load();
        // Whether a sleep notice comes without CpuLock (an RTI's comes with
        // it). The thread that woke the sleep may still hold the lock for a
        // moment; the execution thread, waiting here, would hold it
        // throughout.
        if (&n != &Returned)
            std::thread([&n] {
                const auto end = std::chrono::steady_clock::now() + 2s;
                while (!(n.CpuLockFree = CpuLock->try_lock()) && std::chrono::steady_clock::now() < end)
                    std::this_thread::sleep_for(100us);
                if (n.CpuLockFree)
                    CpuLock->unlock();
            }).join();
    }
    ++n.Calls;
    return 1;
}

bool WaitFor(const Notice& notice, std::chrono::milliseconds limit = 3000ms)
{
    for (const auto end = std::chrono::steady_clock::now() + limit; notice.Calls == 0;) {
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

// SHUTDN once, then a loop; the service routine counts in P.
struct Sleep : ::testing::Test {
    Sleep()
    {
        clear();
        M.place(Program(InterruptVector).op("0C").rti()); // P=P+1, RTI
        M.load(Program(Idle).op("807").label("idle").goto_("idle"));
        KVSetInterruptHandler(&Note, SleepEnterNotice | SleepLeaveNotice | RequestRtiNotice);
    }
    ~Sleep() override
    {
        KVStop();
        clear();
        KVSetDisplayHandler(nullptr);
        DisplayOn = 0;
    }
    void clear()
    {
        Entered.Calls = Left.Calls = Returned.Calls = 0, Frames = 0;
        Timers = {};
        SerialRegisters = {};
        test::ResetKeys();
        KVSetSerialHandler(nullptr);
    }
    void asleep()
    {
        KVRun();
        ASSERT_TRUE(WaitFor(Entered));
    }
    test::Machine M;
};

// A timer ends the sleep on the tick that runs it out, not a horizon later;
// any other source, at once (nothing else falls due for a second). The ON
// key, TIMER2 and a received byte then enter the service routine.
TEST_F(Sleep, EachWakeSourceEndsItPromptly)
{
    const struct {
        const char* Name;
        void (*Prepare)();
        void (*Wake)(); // from this thread, 20 ms into the sleep; null: none
        uint32_t Ticks; // from sleep to wake, for a timer
        uint8_t Cause;  // of the interrupt that follows; 0: none
    } sources[] = {
        // TIMER2 runs out on the tick that takes it below 0.
        {"TIMER2", [] { Timers.Timer2 = 2047, Timers.Timer2Control = TimerRun | TimerWakeEnable | TimerInterruptEnable; },
         nullptr, 2048, 0x40},
        // TIMER1 counts on the ticks where TIMER2's bit 8 rises: 0x1FF after
        // the first, then every 512th; 2 runs out on the third.
        {"TIMER1",
         [] {
             Timers.Timer1 = 2, Timers.Timer1Control = TimerWakeEnable;
             Timers.Timer2 = Timers.Timer2LastValue = 0x200, Timers.Timer2Control = TimerRun;
         },
         nullptr, 1 + 2 * 512, 0},
        {"a key the scan finds", [] { Cpu.OUT = 1, Timers.Timer2 = 0x10000, Timers.Timer2Control = TimerRun; },
         [] { KVPressKey(2, 0); }, 0, 0},
        {"ON", [] {}, [] { KVPressKey(9, 9); }, 0, 0x80},
        {"a byte with receive interrupts", [] { WriteSerialRegister(0x10, 0x2); }, [] { KVSerialSendByte(1, 0x41); },
         0, 0x02},
        {"KVStop", [] {}, [] { KVStop(); }, 0, 0},
        // The decision after the previous instruction left no request; one
        // found as the sleep begins came in while SHUTDN ran, and must not
        // wait for an unrelated wake.
        {"a request as it begins", [] { PendingInterrupts = RequestSerialReceive; }, nullptr, 0, 0x02},
        {"KVReset", [] {}, [] { KVReset(); }, 0, 0},
    };
    for (const auto& s : sources) {
        SCOPED_TRACE(s.Name);
        clear();
        Cpu.PC = Idle, Cpu.InterruptService = Cpu.IN = ServiceRequestBits = PendingInterrupts = 0;
        s.Prepare();
        asleep();
        uint64_t woken = Entered.At;
        if (s.Wake) {
            std::this_thread::sleep_for(20ms); // well into the wait
            woken = platform::PerformanceCounter();
            s.Wake();
        }
        ASSERT_TRUE(WaitFor(s.Cause ? Returned : Left));
        EXPECT_LT(Seconds(Left.At - woken), s.Ticks ? 3.0 : 0.5);
        KVStop();
        EXPECT_EQ(Entered.Calls + Left.Calls, 2);
        EXPECT_TRUE(Entered.CpuLockFree && Left.CpuLockFree) << "sleep notices come without CpuLock";
        EXPECT_EQ(std::tuple(Sleeping.load(), ServiceRequestBits), std::tuple(0u, s.Cause));
        EXPECT_EQ(Cpu.PC == 0, std::string_view(s.Name) == "KVReset") << "only a reset leaves the program";
        if (s.Ticks) {
            // A thread held up by the host makes up the ticks since in the
            // same batch: a few hundred, against the thousands of a wake
            // missed until the horizon.
            const uint32_t ticks = Entered.Timer2 - Left.Timer2;
            EXPECT_GE(ticks, s.Ticks);
            EXPECT_LT(ticks, s.Ticks + 2000);
            EXPECT_GE(Left.At, Entered.Deadline + (s.Ticks - 1) * SlicePeriod) << "not before its tick was due";
            EXPECT_EQ((Timers.Timer1Control | Timers.Timer2Control) & TimerWakeEnable, 0) << "the wake bit is spent";
        }
    }
}

// A key while TIMER2 stands (no scan runs), a byte with receive interrupts
// off and a request alone leave it asleep; the request is taken after
// SHUTDN once something wakes it.
TEST_F(Sleep, WhatDoesNotWakeLeavesItAsleepAndARequestWaits)
{
    Cpu.OUT = 0x001;
    asleep();
    KVPressKey(2, 0);
    KVSerialSendByte(1, 0x41);
    RequestInterrupt(RequestTimer1);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(Left.Calls, 0);
    WakeCpu();
    ASSERT_TRUE(WaitFor(Returned));
    KVStop();
    EXPECT_EQ(std::tuple(Cpu.P, ServiceRequestBits, Cpu.PC), std::tuple(1u, 0x40u, Idle + 3));
}

// Over a long sleep the thread blocks until each frame end, and yet TIMER2
// counts 8192 a second and the frames come 64 a second, because each wake
// delivers every tick that fell due. Its processor time is a small part of
// the time asleep (a thread that polled would spend all of it).
TEST_F(Sleep, ALongSleepKeepsRealTimeAndCostsLittle)
{
    test::Watchdog watchdog(30s, "a long sleep");
    Timers.Timer2 = 0x7FFFFFFF, Timers.Timer2Control = TimerRun;
    WriteDisplayRegister(0x00, 8);
    KVSetDisplaySize(131, 64);
    static std::atomic<uint64_t> lastFrame, longestGap;
    KVSetDisplayHandler([](const uint8_t* frame, uint32_t, uint32_t) {
        const uint64_t now = platform::PerformanceCounter();
        if (Frames++)
            longestGap = std::max<uint64_t>(longestGap, now - lastFrame);
        lastFrame = now;
        KVDiscardFrame(frame);
    });
    asleep();
    std::this_thread::sleep_for(2500ms);
    KVStop();
    ASSERT_GE(Left.Calls, 1);
    const double asleep = Seconds(Left.At - Entered.At);
    const double ticks = Entered.Timer2 - Left.Timer2;
    EXPECT_NEAR(ticks / asleep, 8192, 82);
    EXPECT_NEAR(Left.Frames - Entered.Frames, ticks / 128, 2) << "a frame ends every 128 ticks";
    EXPECT_LT(Seconds(longestGap), 0.5) << "each frame comes as it ends, not in a batch";
    const double busy = (Left.ProcessorNanoseconds - Entered.ProcessorNanoseconds) / 1e9;
    EXPECT_LT(busy / asleep, 0.25) << "the sleeping thread ran for " << busy << " s of " << asleep;
}

// A slice that slept is no overrun: held ON wakes the processor at every
// tick and its SHUTDN loop sleeps again and again, but the count of
// instructions per slice goes on growing. Counted as overruns, the sleeps
// would bring it down to 0 within 50 slices, some 650 sleeps.
TEST_F(Sleep, ASliceThatSleptDoesNotSlowTheMachine)
{
    M.load(Program(Idle).label("idle").op("807").goto_("idle"));
    KVSetInterruptHandler([](uint32_t) -> int32_t { return 0; }, RequestKey | RequestOnKey);
    KVPressKey(9, 9);
    InstructionsPerSlice = 50;
    KVRun();
    for (const auto end = std::chrono::steady_clock::now() + 10s;
         Left.Calls <= 1000 && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(1ms);
    const uint32_t count = InstructionsPerSlice;
    KVStop();
    EXPECT_GT(Left.Calls, 1000);
    EXPECT_GE(count, 25u);
}

// The program takes each byte in its main loop and sleeps when none waits;
// the host sends the next byte the moment the last one is taken, so bytes
// land at every point of the loop, SHUTDN included, and each must wake it.
TEST_F(Sleep, NoByteIsLostToTheMomentTheSleepBegins)
{
    test::Watchdog watchdog(60s, "bytes sent to a sleeping program");
    constexpr uint32_t Io = 0x00100;
    static std::atomic<int> taken;
    taken = 0;
    KVMemoryConfig(Io);
    // The service routine goes back to the top of the loop, which looks
    // again before it sleeps, wherever the request came.
    M.place(Program(InterruptVector).op("07").lc(5, Idle).op("06").rti()); // C=RSTK, RSTK=C
    M.load(Program(Idle)
               .label("loop")
               .d0(Io + 0x11)
               .op("15E0")  // C=DAT0 1: the receiver's state
               .op("808B0") // ?CBIT=1 0: a byte waits
               .goyes("take")
               .op("807") // SHUTDN
               .goto_("loop")
               .label("take")
               .d0(Io + 0x14)
               .op("14E") // C=DAT0 B: takes the byte
               .goto_("loop"));
    WriteSerialRegister(0x10, 0xA); // on, receive interrupts
    KVSetSerialHandler([](uint32_t event, uint32_t) { taken += event == KV_SERIAL_RECEIVE_READ; return 1u; });
    KVRun();
    for (int sent = 0; sent < 500; ++sent) {
        // A pause of 0 to 60 us lands the byte anywhere from the loop's look
        // at the receiver to well into the sleep.
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
}

} // namespace
