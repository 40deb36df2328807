#include "engine/core/hooks.h"

namespace korvane {

std::atomic<BreakpointHandlerProc> BreakpointHandler;
std::atomic<DebuggingHackHandlerProc> DebuggingHackHandler;

} // namespace korvane

using namespace korvane;

extern "C" {

void KVSetBreakpointHandler(BreakpointHandlerProc handler)
{
    BreakpointHandler.store(handler, std::memory_order_relaxed);
}

void KVSetDebuggingHackHandler(DebuggingHackHandlerProc handler)
{
    DebuggingHackHandler.store(handler, std::memory_order_relaxed);
}

// The hook chain of old clients. Nothing installs a hook, so the chain is
// always empty and there is never a next hook to pass on to; the exports are
// kept so that such clients still load.
uint32_t KVAddHook(uintptr_t, uintptr_t)
{
    return 0;
}

void KVRemoveHook(uintptr_t) {}

uint32_t KVChainNextHook()
{
    return 0;
}

} // extern "C"
