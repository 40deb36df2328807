#include "engine/core/engine.h"

#include "engine/core/banks.h"
#include "engine/core/code_cache.h"
#include "engine/core/cpu_state.h"
#include "engine/core/dispatch.h"
#include "engine/core/hooks.h"
#include "engine/core/interrupts.h"
#include "engine/core/memory.h"
#include "engine/core/serial.h"
#include "engine/core/threaded.h"
#include "engine/core/timers.h"
#include "engine/core/trace.h"
#include "korvane.h"
#include "platform/clock.h"
#include "platform/thread.h"

namespace korvane {

platform::CriticalSection* CpuLock;
platform::CriticalSection* StopLock;
platform::CriticalSection* RunLock;
platform::Event* WakeEvent;
platform::Event* StopEvent;
platform::Event* KeyEvent;

std::atomic<uint32_t> InstructionsPerSlice{128};
std::atomic<uint32_t> TargetSliceCycles{0xFFFFFFFF};
uint64_t SlicePeriod;
uint64_t YieldThreshold;
uint64_t SliceDeadline;
uint64_t SliceStart;

namespace {

constexpr uint32_t AcknowledgeTimeoutMs = 2000;
constexpr uint32_t ThreadKilledCode = 0xDEADDEAD;

platform::Event* RunEvent;
platform::Event* QuitEvent;
platform::Event* RunningAck;
platform::Event* StoppedAck;
platform::Thread* ExecutionThread;

// The locks and events live in static storage and outlive StopEngine: an
// export called after the teardown (by a thread still running while the
// process ends) takes a lock or sets an event that is still there, and
// finds no thread to talk to. Nothing of them needs destroying.
constinit platform::CriticalSection CpuLockStorage;
constinit platform::CriticalSection StopLockStorage;
constinit platform::CriticalSection RunLockStorage;
constinit platform::Event RunEventStorage{false};
constinit platform::Event StopEventStorage{true};
constinit platform::Event WakeEventStorage{true};
constinit platform::Event QuitEventStorage{true};
constinit platform::Event RunningAckStorage{true};
constinit platform::Event StoppedAckStorage{true};
constinit platform::Event KeyEventStorage{false};
std::atomic<uint8_t> Running;

void SetRunning(uint8_t value)
{
    Running.store(value, std::memory_order_release);
}

// Adapts the count by one, never below zero.
void AdjustInstructionsPerSlice(bool grow)
{
    uint32_t count = InstructionsPerSlice.load(std::memory_order_relaxed);
    if (grow)
        InstructionsPerSlice.store(count + 1, std::memory_order_relaxed);
    else if (count > 0)
        InstructionsPerSlice.store(count - 1, std::memory_order_relaxed);
}

void RunSlice()
{
    SliceStart = platform::PerformanceCounter();
    Cpu.TotalCycles += Cpu.SliceCycles;
    Cpu.SliceCycles = 0;
    // The count is read once per slice.
    RunInstructions(InstructionsPerSlice.load(std::memory_order_relaxed),
                    TraceMode.load(std::memory_order_relaxed) != 0);

    // The count follows what the slice's own work took; the ticks follow
    // the schedule, one period after the last deadline however late the
    // slice began. A slice that ends past its deadline, because its work
    // overran or the host kept the thread waiting before it, delivers
    // every tick that fell due rather than losing them to the machine's
    // clock, and does not wait.
    const uint64_t deadline = SliceDeadline;
    const uint64_t now = platform::PerformanceCounter();
    const bool overran = now - SliceStart > SlicePeriod;
    const bool withinBudget = Cpu.SliceCycles <= TargetSliceCycles.load(std::memory_order_relaxed);
    if (overran || now >= deadline) {
        AdjustInstructionsPerSlice(!overran && withinBudget);
        DeliverDueTicks(now);
        return;
    }
    // A slice is far below the scheduler's resolution: poll the counter,
    // yielding once a hundredth of the slice has passed. The end is tested
    // before each yield, and the last hundredth is only polled: a yield
    // costs about that much here (a system call), and one that ran past the
    // end would leave the next slice that much less time.
    const int64_t start = static_cast<int64_t>(SliceStart);
    const int64_t end = static_cast<int64_t>(deadline);
    const int64_t threshold = static_cast<int64_t>(YieldThreshold);
    for (;;) {
        const int64_t at = static_cast<int64_t>(platform::PerformanceCounter());
        if (at >= end)
            break;
        if (at - start > threshold && end - at > threshold)
            platform::YieldThread();
    }
    AdjustInstructionsPerSlice(withinBudget);
    SliceDeadline = deadline + SlicePeriod;
    SliceTick();
}

uint32_t EmulationThreadProc()
{
    for (;;) {
        {
            platform::CriticalSectionGuard guard(*CpuLock);
            SetRunning(0);
            RunEvent->Reset();
            StoppedAck->Set();
        }
        const int woken = platform::WaitForEitherEvent(*RunEvent, *QuitEvent, platform::WaitForever);
        if (woken == 1)
            return 0;
        if (woken != 0)
            continue;
        {
            platform::CriticalSectionGuard guard(*CpuLock);
            SetRunning(1);
            StopEvent->Reset();
            // A stopped machine's timers stand: the schedule starts afresh.
            SliceDeadline = platform::PerformanceCounter() + SlicePeriod;
            RunningAck->Set();
        }
        for (;;) {
            const int request = platform::WaitForEitherEvent(*QuitEvent, *StopEvent, 0);
            if (request == 0)
                return 0;
            if (request == 1)
                break;
            RunSlice();
        }
    }
}

bool ThreadAlive()
{
    return ExecutionThread && ExecutionThread->IsStarted() && !ExecutionThread->HasEnded();
}

} // namespace

// Kept out of RunSlice so that a profile can count the instructions' own
// cost apart from the slice's waiting. Tracing records every instruction, which only the reference path does; so
// does a request pending before an instruction (from between the slices, or
// from another thread), so that it is decided after exactly one more, as
// after every instruction the threaded loop returns from with one pending.
void RunInstructions(uint32_t count, bool tracing)
{
    SliceInstructionsLeft = count;
    while (SliceInstructionsLeft != 0) {
        if (!tracing && !InterruptPending()) {
            RunThreaded(false);
        } else {
            if (tracing)
                RecordTrace();
            ExecuteInstruction();
        }
        if (InterruptPending()) [[unlikely]]
            DecideInterrupts();
        // The threaded loop counts what it runs but the instruction after
        // which it found a request.
        if (SliceInstructionsLeft != 0)
            --SliceInstructionsLeft;
    }
}

void DeliverDueTicks(uint64_t now)
{
    if (now < SliceDeadline)
        return;
    uint64_t due = (now - SliceDeadline) / SlicePeriod + 1;
    if (due > SliceTickHorizon) {
        SliceDeadline += (due - SliceTickHorizon) * SlicePeriod;
        due = SliceTickHorizon;
    }
    for (; due; --due) {
        SliceDeadline += SlicePeriod;
        SliceTick();
    }
}

bool IsRunning()
{
    return Running.load(std::memory_order_acquire) != 0;
}

bool IsExecutionThread()
{
    return ExecutionThread && ExecutionThread->IsCurrent();
}

void StartEngine()
{
    CpuLock = &CpuLockStorage;
    StopLock = &StopLockStorage;
    RunLock = &RunLockStorage;
    RunEvent = &RunEventStorage;
    StopEvent = &StopEventStorage;
    WakeEvent = &WakeEventStorage;
    QuitEvent = &QuitEventStorage;
    RunningAck = &RunningAckStorage;
    StoppedAck = &StoppedAckStorage;
    KeyEvent = &KeyEventStorage;
    // The events outlive a teardown, which leaves QuitEvent set: an engine
    // brought up again in the same process starts from unsignalled events,
    // or its new thread would end at once.
    for (platform::Event* event : {RunEvent, StopEvent, WakeEvent, QuitEvent, RunningAck, StoppedAck, KeyEvent})
        event->Reset();

    SlicePeriod = platform::PerformanceFrequency() / 8192;
    YieldThreshold = SlicePeriod / 100;
    SliceDeadline = platform::PerformanceCounter() + SlicePeriod;
    ClearInterruptHandlers();
    ActiveDispatchTable = HexDispatchTable.data();
    ActiveDecodedPages = DecodedPages[0];
    BreakpointHandler.store(nullptr, std::memory_order_relaxed);

    ExecutionThread = new platform::Thread;
    if (ExecutionThread->Start(&EmulationThreadProc)) {
        ExecutionThread->LowerPriority();
        // A KVRun issued right after load must find the thread idle, or the
        // thread's first step would reset the run request away.
        platform::WaitForEvent(*StoppedAck, platform::WaitForever);
    }
}

void StopEngine()
{
    if (ThreadAlive()) {
        if (IsRunning())
            StopEmulation();
        QuitEvent->Set();
        if (!ExecutionThread->Join(AcknowledgeTimeoutMs))
            ExecutionThread->Terminate(ThreadKilledCode);
    }
    delete ExecutionThread;
    ExecutionThread = nullptr;
    SetRunning(0);
}

void StopEmulation()
{
    platform::CriticalSectionGuard guard(*StopLock);
    if (!ThreadAlive() || !IsRunning())
        return;
    StoppedAck->Reset();
    StopEvent->Set();
    if (!IsExecutionThread())
        platform::WaitForEvent(*StoppedAck, AcknowledgeTimeoutMs);
    else if (SliceInstructionsLeft > 1)
        SliceInstructionsLeft = 1;
    InstructionsPerSlice.store(1, std::memory_order_relaxed);
}

void RunEmulation()
{
    platform::CriticalSectionGuard guard(*RunLock);
    if (!ThreadAlive() || IsRunning())
        return;
    RunningAck->Reset();
    RunEvent->Set();
    platform::WaitForEvent(*RunningAck, AcknowledgeTimeoutMs);
}

void StepInstruction()
{
    // The serial lock first, as on every other path: a stepped instruction
    // may reach the serial registers while CpuLock is held.
    platform::CriticalSectionGuard serialGuard(*SerialLock);
    platform::CriticalSectionGuard guard(*CpuLock);
    if (IsRunning())
        return;
    const uint8_t* fetch = LocateInstruction(Cpu.PC);
    Cpu.FetchPointer = fetch;
    const uint32_t mode = TraceMode.load(std::memory_order_relaxed);
    if (mode == 1 || mode == 2)
        RecordTrace();
    const DispatchTable& table = Cpu.DecimalMode ? DecimalDispatchTable : HexDispatchTable;
    table[DispatchIndex(fetch[0] & 0x0F, fetch[1], fetch[2])]();
}

// The routine's count runs out only after some four thousand million
// instructions; the loop then takes a new one.
void ExecuteRoutine(uint32_t address)
{
    const uint32_t heldEntry = PopReturnStack();
    const uint32_t heldPc = Cpu.PC;
    PushReturnStack(StartSentinel);
    Cpu.PC = address;
    while (Cpu.PC != StartSentinel) {
        SliceInstructionsLeft = ~uint32_t{0};
        RunThreaded(true);
    }
    Cpu.PC = heldPc;
    PushReturnStack(heldEntry);
}

void ResetEngine()
{
    StopEmulation();
    Cpu.PC = 0;
    StoreRelaxed(Cpu.InterruptService, uint8_t{0});
    ResetMemoryConfig();
    SetLowBank(0);
    SetHighBank(0);
    if (Sleeping.load(std::memory_order_relaxed))
        WakeCpu();
}

uint32_t Configure(int32_t option, uint32_t value)
{
    if (option == KV_CONFIG_SLICE_CYCLES) {
        TargetSliceCycles.store(value, std::memory_order_relaxed);
        return 0;
    }
    if (option == KV_CONFIG_HP49) {
        Hp49Mode = value != 0;
        // A ROM attached before the mode changed gets its banks now.
        if (Hp49Mode)
            ResetBankPointers();
        InstallRomAccess();
        RebuildAccessTables();
        return Hp49Mode;
    }
    return 0;
}

} // namespace korvane

using namespace korvane;

extern "C" {

void KVRun()
{
    RunEmulation();
}

void KVStop()
{
    StopEmulation();
}

uint32_t KVIsRunning()
{
    return IsRunning() ? 1 : 0;
}

void KVStep()
{
    StepInstruction();
}

void KVReset()
{
    ResetEngine();
}

uint32_t KVConfigure(int32_t option, uint32_t value)
{
    return Configure(option, value);
}

void KVExecuteRoutine(uint32_t address)
{
    ExecuteRoutine(address);
}

} // extern "C"
