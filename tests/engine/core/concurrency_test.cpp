// The engine used from several host threads at once while it runs: keys,
// serial bytes, frames handed back, state saved and restored, run and stop.
// Meant for the ThreadSanitizer tree as much as for its own assertions.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>

#include "tests/support/machine.h"
#include "tests/support/watchdog.h"

using test::Machine;
using test::Program;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t Io = 0xF0000;

// Configures the I/O window at Io, turns on the display, TIMER2 and the
// serial port with its receive interrupt, then scans the keyboard and reads
// the serial receive register in a loop. The interrupt routine at 0x0000F
// reads the causes and returns.
void LoadWorkload(Machine& m)
{
    Program vector(0x0000F);
    vector.d1(Io + 0x18).op("14F").rti(); // C=DAT1 B: causes read and cleared
    m.place(vector);

    Program p(0x00100);
    p.lc(5, Io).op("805");                      // CONFIG: the I/O window
    p.p(0);
    p.d1(Io + 0x00).lc(1, 8).op("1550");        // DAT1=C P: display on
    p.d1(Io + 0x2F).lc(1, 1).op("1550");        // TIMER2 runs
    p.d1(Io + 0x10).lc(1, 0xA).op("1550");      // serial port on, receive interrupt
    p.op("8080");                               // INTON
    p.label("loop");
    p.lc(3, 0x1FF).op("801").op("803");         // OUT=C, C=IN
    p.d1(Io + 0x14).op("14F");                  // C=DAT1 B: the received byte
    p.goto_("loop");
    m.load(p);
}

std::atomic<const uint8_t*> HeldFrame{nullptr};
std::atomic<int> Frames{0};
std::atomic<int> SerialEvents{0};

void HoldFrame(const uint8_t* frame, uint32_t, uint32_t)
{
    ++Frames;
    HeldFrame.store(frame);
}

void CountSerialEvent(uint32_t, uint32_t)
{
    ++SerialEvents;
}

TEST(Concurrency, HostThreadsDriveARunningEngineWithoutRacesOrDeadlock)
{
    Machine m;
    LoadWorkload(m);
    KVSetDisplaySize(131, 64);
    KVSetDisplayHandler(&HoldFrame);
    KVSetSerialHandler(&CountSerialEvent);
    KVRun();

    std::atomic<bool> done{false};
    auto keys = [&] {
        std::mt19937 random(1);
        while (!done) {
            const int column = static_cast<int>(random() % 10);
            const int row = static_cast<int>(random() % 10);
            KVPressKey(column, row);
            std::this_thread::sleep_for(100us);
            KVReleaseKey(column, row);
        }
    };
    auto serial = [&] {
        uint32_t byte = 0;
        while (!done) {
            KVSerialSendByte(1, byte++ & 0xFF);
            std::this_thread::sleep_for(50us);
        }
    };
    auto frames = [&] {
        while (!done) {
            if (const uint8_t* frame = HeldFrame.exchange(nullptr))
                KVDiscardFrame(frame);
            std::this_thread::sleep_for(100us);
        }
    };
    auto control = [&] {
        uint8_t state[512];
        for (int round = 0; round < 40; ++round) {
            std::this_thread::sleep_for(5ms);
            KVSaveState(state, sizeof state);
            KVRun();
            std::this_thread::sleep_for(5ms);
            KVRestoreState(state, sizeof state);
            KVStep();
            KVRun();
            KVStop();
            KVRun();
        }
    };

    {
        test::Watchdog watchdog(60s, "host calls while the engine runs");
        std::thread a(keys), b(serial), c(frames);
        control();
        done = true;
        a.join();
        b.join();
        c.join();
    }
    KVStop();
    KVSetDisplayHandler(nullptr);
    KVSetSerialHandler(nullptr);
    EXPECT_EQ(KVIsRunning(), 0u);
    EXPECT_GT(Frames.load(), 0) << "frames were delivered and given back";
    EXPECT_GT(SerialEvents.load(), 0) << "the calculator read received bytes";
}

TEST(Concurrency, SerialBytesWhileSteppingNeverDeadlock)
{
    Machine m;
    LoadWorkload(m);
    KVSetSerialHandler(&CountSerialEvent);
    std::atomic<bool> done{false};
    {
        test::Watchdog watchdog(60s, "serial bytes while stepping");
        std::thread sender([&] {
            uint32_t byte = 0;
            while (!done)
                KVSerialSendByte(1, byte++ & 0xFF);
        });
        for (int i = 0; i < 200000; ++i)
            KVStep();
        done = true;
        sender.join();
    }
    KVSetSerialHandler(nullptr);
}

} // namespace
