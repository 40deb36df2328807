// The execution thread: time slices of 1/8192 s, run and stop, single steps
// and routines run on the caller's thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/event.h"
#include "platform/lock.h"

#pragma GCC visibility push(hidden)
namespace korvane {

// Locks and events exist from StartEngine on and are never destroyed.
extern platform::CriticalSection* CpuLock;
extern platform::CriticalSection* StopLock;
extern platform::CriticalSection* RunLock;
extern platform::Event* WakeEvent;
extern platform::Event* StopEvent;
// Auto-reset, set by every key press: a sleeping processor looks at the
// keyboard at once rather than at its next scan.
extern platform::Event* KeyEvent;

extern std::atomic<uint32_t> InstructionsPerSlice;
extern std::atomic<uint32_t> TargetSliceCycles;
extern uint64_t SlicePeriod;
extern uint64_t YieldThreshold;
// When the next slice tick falls due, on the execution thread: one schedule
// for the slices and the SHUTDN sleep, advanced by SlicePeriod per tick and
// started afresh only when the engine starts running. Neither a slice that
// overruns nor a sleep, its notices included, costs the machine's clock.
extern uint64_t SliceDeadline;
// When the work of the slice under way began, on the execution thread: the
// count of instructions per slice grows while that work fits in a period.
// A SHUTDN sleep moves it to the wake: the time asleep was no work of the
// slice, and counted as an overrun it would slow the awakened machine down.
extern uint64_t SliceStart;

// Delivers every slice tick due by now, on the execution thread. A backlog
// longer than SliceTickHorizon (the host suspended, or the thread kept from
// running) is dropped but for its last second.
void DeliverDueTicks(uint64_t now);

void StartEngine();
void StopEngine();

// 1 while the execution thread is in its running state.
bool IsRunning();
bool IsExecutionThread();

// Stops a running engine; on the execution thread it does not wait but ends
// the current slice after the current instruction.
void StopEmulation();
void RunEmulation();
// Runs count instructions as a slice does (the execution thread's loop, or a
// test's), deciding each request after the instruction that finds it pending.
[[gnu::noinline]] void RunInstructions(uint32_t count, bool tracing);
void StepInstruction();
void ExecuteRoutine(uint32_t address);
void ResetEngine();
uint32_t Configure(int32_t option, uint32_t value);

} // namespace korvane
#pragma GCC visibility pop
