#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/core/engine.h"
#include "engine/core/interrupts.h"
#include "engine/core/serial.h"
#include "engine/core/timers.h"
#include "platform/clock.h"
#include "tests/support/single_step.h"

using namespace korvane;
using test::Program;

namespace {

// What each handler slot heard, on the thread that called it.
struct Heard {
    std::atomic<int> Calls;
    std::atomic<uint32_t> Bits;
    std::atomic<bool> CpuLockFree; // whether another thread could take CpuLock meanwhile
    std::atomic<uint64_t> At;
};
Heard Slots[16];
std::atomic<int32_t> Answer;

template <unsigned Slot>
int32_t Record(uint32_t bits)
{
    std::thread probe([] {
        Slots[Slot].CpuLockFree = CpuLock->try_lock();
        if (Slots[Slot].CpuLockFree)
            CpuLock->unlock();
    });
    probe.join();
    Slots[Slot].Bits = bits;
    Slots[Slot].At = platform::PerformanceCounter();
    ++Slots[Slot].Calls;
    return Answer;
}

bool WaitFor(unsigned slot)
{
    for (int i = 0; i < 2000 && Slots[slot].Calls == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return Slots[slot].Calls != 0;
}

constexpr uint32_t Idle = 0x00100;

struct Interrupts : ::testing::Test {
    Interrupts()
    {
        for (Heard& slot : Slots)
            slot.Calls = slot.Bits = 0;
        Answer = 1;
        Timers.Timer1 = Timers.Timer1Control = Timers.Timer2Control = 0;
        Timers.Timer2 = Timers.Timer2LastValue = 0;
        test::ResetKeys();
        KVSetSerialHandler(nullptr);
        SerialRegisters = {};
        M.place(Program(InterruptVector).op("0C").rti()); // P=P+1, RTI
        M.load(Program(Idle).label("idle").goto_("idle"));
        KVSetInterruptHandler(&Record<14>, 0x4000); // the RTI notice
    }
    ~Interrupts() override
    {
        KVStop();
        Timers.Timer2Control = Timers.Timer1Control = 0;
        SerialRegisters = {};
        test::ResetKeys();
    }
    test::Machine M;
};

TEST_F(Interrupts, DecisionTakesAtMostOneEntryAndKeepsTheCauses)
{
    const struct {
        uint16_t Pending;
        bool InService;
        int32_t Answer; // of TIMER2's handler; -1: no handler
        uint8_t Causes;
        bool Entry;
    } cases[] = {
        {0x0008, false, -1, 0x40, true},  // TIMER2
        {0x0005, false, -1, 0xC0, true},  // key and TIMER1: one entry
        {0x0060, false, -1, 0x02, true},  // both serial requests
        {0x0008, true, -1, 0x00, false},  // in service: dropped
        {0x0008, false, 0, 0x00, false},  // the handler drops it
        {0x0008, false, 7, 0x40, true},   // the handler keeps it
        {0x0009, false, 0, 0x80, true},   // the key survives a dropped TIMER2
        {0x4000, false, -1, 0x00, false}, // the RTI notice never interrupts
    };
    static std::atomic<int> pushes;
    KVSetDebuggingHackHandler([](uint32_t code) {
        pushes += code == 1;
        return 0u;
    });
    KVSetInterruptHandler(nullptr, 0x4000);
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "pending " << c.Pending << " answer " << c.Answer);
        KVSetInterruptHandler(c.Answer < 0 ? nullptr : &Record<3>, 0x8);
        Answer = c.Answer;
        Slots[3].Calls = pushes = ServiceRequestBits = 0;
        Cpu.RstkIndex = Cpu.RSTK[0] = 0;
        Cpu.InterruptService = c.InService;
        Cpu.PC = 0x12345;
        PendingInterrupts = c.Pending;
        DecideInterrupts();
        EXPECT_EQ(ServiceRequestBits, c.Causes);
        EXPECT_EQ(PendingInterrupts.load(), 0u);
        EXPECT_EQ(Cpu.PC, c.Entry ? InterruptVector : 0x12345u);
        EXPECT_EQ(Cpu.RSTK[0], c.Entry ? 0x12345u : 0u);
        EXPECT_EQ(Cpu.InterruptService, c.Entry || c.InService);
        EXPECT_EQ(pushes, c.Entry ? 1 : 0) << "an entry pushes once";
        EXPECT_EQ(Slots[3].Calls, c.Answer >= 0 && !c.InService ? 1 : 0);
        EXPECT_FALSE(Slots[3].CpuLockFree) << "handlers decide under CpuLock";
    }
}

TEST_F(Interrupts, RtiReraisesATimerStillDue)
{
    M.load(Program(0x00300).rti());
    Cpu.InterruptService = 1;
    Cpu.RSTK[0] = 0x00200;
    Cpu.RstkIndex = 1;
    Timers.Timer2 = 0xFFFFFF00;
    Timers.Timer2Control = 0x2;
    M.step();
    EXPECT_EQ(Cpu.PC, 0x00200u);
    EXPECT_EQ(Cpu.InterruptService, 0u);
    EXPECT_EQ(Timers.Timer2Control, 0xAu);
    EXPECT_EQ(PendingInterrupts.load(), 0x4008u);
    DecideInterrupts();
    EXPECT_EQ(Slots[14].Bits, 0x4000u);
    EXPECT_EQ(ServiceRequestBits, 0x40u);
    EXPECT_EQ(Cpu.PC, InterruptVector);
    EXPECT_EQ(Cpu.RSTK[0], 0x00200u);
}

// --- SHUTDN ------------------------------------------------------------------------

struct Sleep : Interrupts {
    Sleep()
    {
        M.load(Program(Idle).op("807").label("idle").goto_("idle")); // SHUTDN
        KVSetInterruptHandler(&Record<12>, 0x1000);
        KVSetInterruptHandler(&Record<13>, 0x2000);
    }
};

// Each source ends the sleep; the timers and the key scan go on ticking
// meanwhile, TIMER2 at its schedule. The ON key, TIMER2 and a serial byte
// then enter the service routine at 0x0000F, whose RTI is the only one
// the machine runs.
TEST_F(Sleep, EachSourceEndsTheSleepAndSomeInterrupt)
{
    const struct {
        const char* Name;
        void (*Prepare)();
        void (*Wake)(); // from this thread, once asleep
        uint32_t Ticks; // at least, from sleep to wake
        uint8_t Cause;  // of the interrupt that follows; 0: none
    } sources[] = {
        {"TIMER1",
         [] { Timers.Timer2 = Timers.Timer2LastValue = 0x200, Timers.Timer2Control = 0x1, Timers.Timer1Control = 0x4; },
         [] {}, 0, 0},
        {"TIMER2", [] { Timers.Timer2 = 20, Timers.Timer2Control = 0x7; }, [] {}, 20, 0x40},
        {"a key the scan finds", [] { Cpu.OUT = 1, Timers.Timer2 = 0x10000, Timers.Timer2Control = 0x1; },
         [] { KVPressKey(2, 0); }, 0, 0},
        {"ON key", [] {}, [] { KVPressKey(9, 9); }, 0, 0x80},
        {"serial byte", [] { WriteSerialRegister(0x10, 0x2); }, [] { KVSerialSendByte(1, 0x41); }, 0, 0x02},
    };
    for (const auto& s : sources) {
        SCOPED_TRACE(s.Name);
        for (unsigned slot : {12, 13, 14})
            Slots[slot].Calls = 0;
        Cpu.PC = Idle;
        Cpu.InterruptService = Cpu.IN = Timers.Timer1 = ServiceRequestBits = PendingInterrupts = 0;
        s.Prepare();
        SleepTickDeadline = 0; // far behind: those ticks are not owed
        KVRun();
        ASSERT_TRUE(WaitFor(12));
        s.Wake();
        ASSERT_TRUE(WaitFor(s.Cause ? 14 : 13));
        KVStop();
        test::ResetKeys();
        Timers.Timer2Control = Timers.Timer1Control = 0;
        EXPECT_EQ(Slots[12].Calls + Slots[13].Calls, 2);
        EXPECT_EQ(Slots[12].Bits + Slots[13].Bits, 0x3000u);
        EXPECT_TRUE(Slots[12].CpuLockFree && Slots[13].CpuLockFree) << "sleep notices come without CpuLock";
        EXPECT_GE(Slots[13].At - Slots[12].At, s.Ticks * SlicePeriod);
        EXPECT_EQ(Sleeping.load(), 0u);
        EXPECT_EQ(ServiceRequestBits, s.Cause);
    }
}

TEST_F(Sleep, ARequestWaitsForTheWakeAndResetEndsTheSleep)
{
    KVRun();
    ASSERT_TRUE(WaitFor(12));
    RequestInterrupt(RequestTimer1);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(Slots[13].Calls, 0) << "a request alone does not wake";
    WakeCpu();
    ASSERT_TRUE(WaitFor(14));
    KVStop();
    EXPECT_EQ(Cpu.P, 1u) << "the pending request was taken after SHUTDN";
    EXPECT_EQ(ServiceRequestBits, 0x40u);
    EXPECT_EQ(Cpu.PC, Idle + 3);

    Slots[12].Calls = Slots[13].Calls = 0;
    Cpu.PC = Idle;
    KVRun();
    ASSERT_TRUE(WaitFor(12));
    KVReset();
    EXPECT_EQ(Slots[13].Calls, 1);
    EXPECT_EQ(KVIsRunning() + Sleeping.load() + Cpu.PC, 0u);
}

} // namespace
