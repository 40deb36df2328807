#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/core/engine.h"
#include "engine/core/interrupts.h"
#include "engine/core/timers.h"
#include "tests/support/machine.h"

using namespace korvane;
using test::Program;

namespace {

std::atomic<int> Calls, Pushes;
std::atomic<bool> CpuLockFree;
std::atomic<int32_t> Answer;
std::atomic<uint32_t> RtiBits;

int32_t Timer2Handler(uint32_t)
{
    std::thread([] {
        CpuLockFree = CpuLock->try_lock();
        if (CpuLockFree)
            CpuLock->unlock();
    }).join();
    ++Calls;
    return Answer;
}

struct Interrupts : ::testing::Test {
    Interrupts() { Timers = {}; }
    ~Interrupts() override { Timers = {}; }
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
    KVSetDebuggingHackHandler([](uint32_t code) {
        Pushes += code == 1;
        return 0u;
    });
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "pending " << c.Pending << " answer " << c.Answer);
        KVSetInterruptHandler(c.Answer < 0 ? nullptr : &Timer2Handler, RequestTimer2);
        Answer = c.Answer;
        Calls = Pushes = ServiceRequestBits = 0;
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
        EXPECT_EQ(Pushes, c.Entry ? 1 : 0) << "an entry pushes once";
        EXPECT_EQ(Calls, c.Answer >= 0 && !c.InService ? 1 : 0);
        EXPECT_FALSE(Calls && CpuLockFree) << "handlers decide under CpuLock";
    }
}

TEST_F(Interrupts, RtiReraisesATimerStillDue)
{
    KVSetInterruptHandler(
        [](uint32_t bits) -> int32_t {
            RtiBits = bits;
            return 1;
        },
        RequestRtiNotice);
    M.load(Program(0x00300).rti());
    Cpu.InterruptService = 1;
    Cpu.RSTK[0] = 0x00200;
    Cpu.RstkIndex = 1;
    Timers.Timer2 = 0xFFFFFF00;
    Timers.Timer2Control = TimerInterruptEnable;
    M.step();
    EXPECT_EQ(Cpu.PC, 0x00200u);
    EXPECT_EQ(Cpu.InterruptService, 0u);
    EXPECT_EQ(Timers.Timer2Control, 0xAu);
    EXPECT_EQ(PendingInterrupts.load(), 0x4008u);
    DecideInterrupts();
    EXPECT_EQ(RtiBits, 0x4000u);
    EXPECT_EQ(ServiceRequestBits, 0x40u);
    EXPECT_EQ(Cpu.PC, InterruptVector);
    EXPECT_EQ(Cpu.RSTK[0], 0x00200u);
}

} // namespace
