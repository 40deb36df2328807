// Handler slots that the host sets through the exports. Each is read once
// per use, so a handler replaced meanwhile is called once more or not at all.
#pragma once

#include <atomic>
#include <cstdint>

#include "korvane.h"

#pragma GCC visibility push(hidden)
namespace korvane {

extern std::atomic<BreakpointHandlerProc> BreakpointHandler;
extern std::atomic<DebuggingHackHandlerProc> DebuggingHackHandler;

// 1 before a return-stack push, 2 before a pop, 0 before PC=(A).
inline void NotifyDebuggingHack(uint32_t code)
{
    if (DebuggingHackHandlerProc handler = DebuggingHackHandler.load(std::memory_order_relaxed))
        handler(code);
}

inline constexpr uint32_t HackPush = 1;
inline constexpr uint32_t HackPop = 2;
inline constexpr uint32_t HackJumpThroughMemory = 0;

} // namespace korvane
#pragma GCC visibility pop
