// Breakpoints and the action taken when one is reached. A breakpoint is no
// entry in a table: it is the tag bit of the image byte that holds the
// first nibble of an instruction, which the engine's dispatch recognises.
// The action (stop the engine and post to a window) is attached to the
// engine's breakpoint slot and to its return-stack hook alike.
#pragma once

#include <cstdint>
#include <mutex>

#include "tessock.h"

namespace tessock {

inline constexpr uint8_t BreakpointTag = 0x10;

struct BreakpointAction {
    // Held by a handler while it posts and by every change of the action,
    // so that once action 0 has returned the window is no longer used.
    std::mutex Lock;
    KHWindow* BreakpointWindow = nullptr;
    uint32_t BreakpointMessage = 0;
    // Action 1 is chosen: the library's handlers belong in the engine.
    bool Armed = false;
};

extern BreakpointAction Breakpoints;

// Entered by the engine in place of a tagged instruction, PC unchanged.
void BreakpointActionHandler();
// 1 before a return-stack push, 2 before a pop, 0 before PC=(A).
uint32_t DebuggingHackActionHandler(uint32_t code);

// Keeps the engine's breakpoint and return-stack slots empty while the
// library runs calculator code on its own behalf: a trap leaves PC where it
// is, so a tag in that code would keep the routine from ever returning,
// and its pushes and pops are no one's business. The library's own
// handlers come back afterwards if action 1 is on; a handler that a front
// end set straight in the engine is not known here and is not put back.
class BreakpointHandlersSuspended {
public:
    BreakpointHandlersSuspended();
    ~BreakpointHandlersSuspended();
    BreakpointHandlersSuspended(const BreakpointHandlersSuspended&) = delete;
    BreakpointHandlersSuspended& operator=(const BreakpointHandlersSuspended&) = delete;
};

// Library unload: the engine must not call into the library once it is
// gone. Handlers that the library did not register are left alone.
void StopBreakpoints();

} // namespace tessock
