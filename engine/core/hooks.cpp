#include "engine/core/hooks.h"

namespace korvane {

std::atomic<BreakpointHandlerProc> BreakpointHandler;
std::atomic<DebuggingHackHandlerProc> DebuggingHackHandler;

namespace {

// The hook chain of old clients. Nothing installs a record, so the chain is
// always empty; the exports are kept so that such clients still load.
struct HookRecord {
    HookRecord* Next;
    uint32_t (*Function)();
};

HookRecord* CurrentHook = nullptr;

} // namespace

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

uint32_t KVAddHook(uintptr_t, uintptr_t)
{
    return 0;
}

void KVRemoveHook(uintptr_t) {}

uint32_t KVChainNextHook()
{
    if (!CurrentHook)
        return 0;
    CurrentHook = CurrentHook->Next;
    if (!CurrentHook || !CurrentHook->Function)
        return 0;
    return CurrentHook->Function();
}

} // extern "C"
