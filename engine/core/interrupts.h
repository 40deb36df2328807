// Interrupt requests, the decision after each instruction, and the SHUTDN
// sleep with its wake.
#pragma once

#include <atomic>
#include <cstdint>

#include "korvane.h"

#pragma GCC visibility push(hidden)
namespace korvane {

// The request bits the devices post. Bit 14 never interrupts: it lets the
// handler in slot 14 see every RTI.
inline constexpr uint16_t RequestKey = 0x0001;
inline constexpr uint16_t RequestOnKey = 0x0002;
inline constexpr uint16_t RequestTimer1 = 0x0004;
inline constexpr uint16_t RequestTimer2 = 0x0008;
inline constexpr uint16_t RequestSerialTransmit = 0x0020;
inline constexpr uint16_t RequestSerialReceive = 0x0040;
inline constexpr uint16_t RequestRtiNotice = 0x4000;
// Slots 12 and 13 hear of a SHUTDN sleep, with values that are no request
// bits: 0x1000 on entering it, 0x2000 on leaving it.
inline constexpr unsigned SleepEnterSlot = 12;
inline constexpr unsigned SleepLeaveSlot = 13;
inline constexpr uint32_t SleepEnterNotice = 0x1000;
inline constexpr uint32_t SleepLeaveNotice = 0x2000;
inline constexpr uint32_t InterruptVector = 0x0000F;

// Posted request bits not yet decided; read without the lock after every
// instruction, written under CpuLock.
extern std::atomic<uint16_t> PendingInterrupts;
extern uint8_t ServiceRequestBits;
extern std::atomic<uint8_t> Sleeping;
extern std::atomic<InterruptHandlerProc> InterruptHandlers[16];

// Whether a request is pending: the run loop asks after the instructions
// that may have made one. On x86 one compare of the word in memory, where a
// relaxed load and a test would be two instructions; an aligned 16-bit read
// is atomic there. The thread sanitizer sees the load itself.
#if defined(__SANITIZE_THREAD__)
#define KORVANE_THREAD_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KORVANE_THREAD_SANITIZER 1
#endif
#endif

inline bool RequestsPending(const std::atomic<uint16_t>& requests)
{
#if defined(__x86_64__) && defined(__GCC_ASM_FLAG_OUTPUTS__) && !defined(KORVANE_THREAD_SANITIZER)
    bool pending;
    __asm__ volatile("cmpw $0, %1" : "=@ccne"(pending) : "m"(requests));
    return pending;
#else
    return requests.load(std::memory_order_relaxed) != 0;
#endif
}

inline bool InterruptPending()
{
    return RequestsPending(PendingInterrupts);
}

void RequestInterrupt(uint16_t bits);
// The decision made after an instruction while a request is pending.
void DecideInterrupts();
void ReturnFromInterrupt();
void CpuShutdown();
void WakeCpu();
// A device's request from another thread, with the wake of a sleeping
// processor, as one step under CpuLock (bits 0: the wake alone). A SHUTDN
// that begins meanwhile either finds the request or is woken.
void WakeCpuAndRequest(uint16_t bits);
void SetInterruptHandler(InterruptHandlerProc handler, uint32_t mask);
void ClearInterruptHandlers();

} // namespace korvane
#pragma GCC visibility pop
