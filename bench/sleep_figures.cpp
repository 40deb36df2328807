#include "sleep_figures.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <random>
#include <sys/resource.h>
#include <thread>
#include <vector>

#include "host_probes.h"
#include "korvane.h"

namespace bench {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr uint32_t RamNibbles = 0x80000;
constexpr uint32_t PortNibbles = 0x40000;
constexpr uint32_t LcdWidth = 131;
constexpr uint32_t LcdHeight = 64;
constexpr uint32_t SleepEnterNotice = 0x1000;
constexpr uint32_t SleepLeaveNotice = 0x2000;
constexpr uint32_t Timer2Request = 0x8;
// The ROM adds 8192 counts to TIMER2 whenever it has run out, so its
// interrupts come 8192 ticks apart however late the ROM looks.
constexpr double TicksPerTimerInterrupt = 8192;
// The ROM lights annunciator 0 while it shows a key down.
constexpr uint8_t KeyAnnunciator = 0x01;
// X starts an XModem transfer; every other matrix key only shows.
constexpr int XModemColumn = 4;
constexpr int XModemRow = 2;

// What the engine's handlers report. They run on the execution thread;
// this thread reads.
struct Observed {
    std::atomic<uint64_t> Frames{0};
    std::atomic<bool> Asleep{false};
    std::atomic<int64_t> SleepStart{0};
    std::atomic<int64_t> AsleepNanoseconds{0};
    std::mutex Lock;
    std::vector<Clock::time_point> TimerInterrupts;
};
Observed* Current = nullptr;

int64_t Now()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

void OnFrame(const uint8_t* frame, uint32_t, uint32_t)
{
    Current->Frames.fetch_add(1, std::memory_order_relaxed);
    KVDiscardFrame(frame);
}

int32_t OnInterrupt(uint32_t bits)
{
    if (bits == Timer2Request) {
        std::lock_guard hold(Current->Lock);
        Current->TimerInterrupts.push_back(Clock::now());
    } else if (bits == SleepEnterNotice) {
        Current->SleepStart.store(Now(), std::memory_order_relaxed);
        Current->Asleep.store(true, std::memory_order_release);
    } else if (bits == SleepLeaveNotice) {
        Current->Asleep.store(false, std::memory_order_release);
        Current->AsleepNanoseconds.fetch_add(Now() - Current->SleepStart.load(std::memory_order_relaxed),
                                             std::memory_order_relaxed);
    }
    return 1;
}

double ProcessSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Polls the test, sleeping between looks. The key figure takes short
// naps, not a spin: an observer that spins on the processor where the
// woken execution thread lands keeps it waiting for the scheduler's next
// tick, milliseconds that are the observer's, not the engine's.
template <typename Test>
bool WaitUntil(Test test, std::chrono::milliseconds timeout, std::chrono::microseconds nap = 200us)
{
    const Clock::time_point end = Clock::now() + timeout;
    while (!test()) {
        if (Clock::now() >= end)
            return false;
        std::this_thread::sleep_for(nap);
    }
    return true;
}

double Percentile(std::vector<double> values, double fraction)
{
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, static_cast<size_t>(fraction * values.size()));
    return values[index];
}

// The machine as the program starts it: HP 49G hardware on, the ROM, port
// 0 as RAM and ports 1 and 2, the LCD with a handler that gives every frame
// back at once, KVReset and KVRun.
class DemoRomMachine {
public:
    DemoRomMachine()
        : Rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK, 0), Ram(RamNibbles + KV_BUFFER_SLACK, 0),
          Port1(PortNibbles + KV_BUFFER_SLACK, 0), Port2(PortNibbles + KV_BUFFER_SLACK, 0)
    {
    }

    bool Start(const std::string& romPath)
    {
        std::ifstream image(romPath, std::ios::binary);
        image.read(reinterpret_cast<char*>(Rom.data()), KV_ROM_NIBBLES);
        if (image.gcount() != static_cast<std::streamsize>(KV_ROM_NIBBLES))
            return false;
        KVStop();
        KVConfigure(KV_CONFIG_HP49, 1);
        KVSetMemoryModule(KV_MODULE_ROM, Rom.data(), 0x3FFFF);
        KVSetMemoryModule(KV_MODULE_RAM, Ram.data(), RamNibbles - 1);
        KVSetMemoryModule(KV_MODULE_PORT1, Port1.data(), PortNibbles - 1);
        KVSetMemoryModule(KV_MODULE_PORT2, Port2.data(), PortNibbles - 1);
        KVSetDisplaySize(LcdWidth, LcdHeight);
        KVSetDisplayHandler(OnFrame);
        KVSetInterruptHandler(OnInterrupt, Timer2Request | SleepEnterNotice | SleepLeaveNotice);
        KVReset();
        KVRun();
        return true;
    }

    ~DemoRomMachine()
    {
        KVStop();
        KVSetInterruptHandler(nullptr, 0xFFFF);
        KVSetDisplayHandler(nullptr);
        for (uint32_t id : {KV_MODULE_RAM, KV_MODULE_PORT1, KV_MODULE_PORT2, KV_MODULE_ROM})
            KVSetMemoryModule(id, nullptr, 0);
    }

private:
    std::vector<uint8_t> Rom, Ram, Port1, Port2;
};

bool MeasureIdle(double seconds, SleepFigures& figures)
{
    const EngineThreadStats engineThread;
    {
        std::lock_guard hold(Current->Lock);
        Current->TimerInterrupts.clear();
    }
    const uint64_t framesBefore = Current->Frames.load();
    const int64_t asleepBefore = Current->AsleepNanoseconds.load();
    const double threadBefore = engineThread.RunNanoseconds();
    const double processBefore = ProcessSeconds();
    const Clock::time_point start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double processAfter = ProcessSeconds();
    const double threadAfter = engineThread.RunNanoseconds();
    const double window = std::chrono::duration<double>(Clock::now() - start).count();

    figures.ProcessPercent = 100 * (processAfter - processBefore) / window;
    figures.EngineThreadPercent =
        threadBefore >= 0 && threadAfter >= 0 ? 100 * (threadAfter - threadBefore) / 1e9 / window : -1;
    figures.FramesPerSecond = (Current->Frames.load() - framesBefore) / window;
    // A sleep still under way at the end is not counted yet: the share is
    // a lower bound, short by at most one second.
    figures.AsleepPercent = 100 * (Current->AsleepNanoseconds.load() - asleepBefore) / 1e9 / window;

    std::lock_guard hold(Current->Lock);
    const std::vector<Clock::time_point>& times = Current->TimerInterrupts;
    if (times.size() < 2) {
        figures.Failure = "fewer than two TIMER2 interrupts in the idle window";
        return false;
    }
    figures.Timer2PerSecond =
        TicksPerTimerInterrupt * (times.size() - 1) / std::chrono::duration<double>(times.back() - times.front()).count();
    return true;
}

bool MeasureKeys(int presses, SleepFigures& figures)
{
    std::mt19937 random(15);
    std::uniform_int_distribution<int> pauseMicroseconds(0, 15000);
    std::vector<double> latencies;
    const auto sleeping = [] { return Current->Asleep.load(std::memory_order_acquire); };
    const auto lit = [] { return (KVGetAnnunciators() & KeyAnnunciator) != 0; };
    for (int press = 0; press < presses; ++press) {
        // Every matrix key in turn but X; a press lands at a random moment
        // of the sleep.
        int column = press % 9;
        int row = (press / 9) % 9;
        if (column == XModemColumn && row == XModemRow)
            column = 0;
        if (!WaitUntil(sleeping, 2000ms)) {
            figures.Failure = "the ROM did not go to sleep";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(pauseMicroseconds(random)));
        const Clock::time_point pressed = Clock::now();
        KVPressKey(column, row);
        const bool seen = WaitUntil(lit, 1000ms, 10us);
        const Clock::time_point shown = Clock::now();
        KVReleaseKey(column, row);
        if (!seen) {
            figures.Failure = "the ROM did not show a key within 1 s";
            return false;
        }
        latencies.push_back(std::chrono::duration<double, std::micro>(shown - pressed).count());
        // The ROM looks for the release 16 times a second.
        if (!WaitUntil([&] { return !lit(); }, 1000ms)) {
            figures.Failure = "the ROM did not show the release within 1 s";
            return false;
        }
    }
    figures.Presses = presses;
    if (!latencies.empty()) {
        figures.KeyMedianMicroseconds = Percentile(latencies, 0.5);
        figures.KeyP99Microseconds = Percentile(latencies, 0.99);
        figures.KeyMaxMicroseconds = Percentile(latencies, 1.0);
    }
    return true;
}

} // namespace

SleepFigures MeasureSleep(const std::string& romPath, double idleSeconds, int presses)
{
    SleepFigures figures{};
    Observed observed;
    Current = &observed;
    {
        DemoRomMachine machine;
        if (!machine.Start(romPath)) {
            figures.Failure = "cannot read the ROM image " + romPath;
        } else if (!WaitUntil([] { return Current->Asleep.load(); }, 3000ms)) {
            figures.Failure = "the ROM never went to sleep";
        } else {
            // The start-up's drawing is over once it first sleeps; a second
            // more lets the clock's first tick pass too.
            std::this_thread::sleep_for(1s);
            figures.Ok = MeasureIdle(idleSeconds, figures) && MeasureKeys(presses, figures);
        }
    }
    Current = nullptr;
    return figures;
}

} // namespace bench
