#include "helper/breakpoints/breakpoints.h"

#include "helper/images/images.h"
#include "korvane.h"

namespace tessock {

constinit BreakpointAction Breakpoints;

namespace {

void RegisterHandlers(bool armed)
{
    KVSetBreakpointHandler(armed ? &BreakpointActionHandler : nullptr);
    KVSetDebuggingHackHandler(armed ? &DebuggingHackActionHandler : nullptr);
}

// Stops the engine and posts (message, first, 0). On the execution thread
// KVStop does not wait: the slice ends after this instruction, so one hit
// posts once.
void StopAndPost(uint32_t first)
{
    std::lock_guard guard(Breakpoints.Lock);
    if (!Breakpoints.Armed)
        return; // the action was withdrawn after the engine picked the handler up
    KVStop();
    KHWindow* window = Breakpoints.BreakpointWindow;
    if (window && window->post)
        window->post(window->context, Breakpoints.BreakpointMessage, first, 0);
}

// The image byte of a banked ROM address: bank in bits 20 to 23, offset in
// the bank in bits 0 to 17; bits 18 and 19 do not count. Null beyond the
// ROM as recorded (a ROM of 0x100000 nibbles has banks 0 to 3) or without
// one.
uint8_t* LocateRomNibble(uint32_t bankedAddress)
{
    const uint32_t offset = ((bankedAddress >> 2) & 0x3C0000) + (bankedAddress & 0x3FFFF);
    if (!RomImage.Buffer || offset >= RomImage.Size)
        return nullptr;
    return RomImage.Buffer + offset;
}

uint8_t* LocateMemoryNibble(uint32_t address)
{
    uint32_t module;
    return LocateImageNibble(address, &module);
}

void Tag(uint8_t* nibble)
{
    if (nibble)
        *nibble |= BreakpointTag;
}

void Untag(uint8_t* nibble)
{
    if (nibble)
        *nibble &= static_cast<uint8_t>(~BreakpointTag);
}

} // namespace

void BreakpointActionHandler()
{
    StopAndPost(0);
}

uint32_t DebuggingHackActionHandler(uint32_t code)
{
    StopAndPost(code);
    return 1;
}

BreakpointHandlersSuspended::BreakpointHandlersSuspended()
{
    RegisterHandlers(false);
}

BreakpointHandlersSuspended::~BreakpointHandlersSuspended()
{
    std::lock_guard guard(Breakpoints.Lock);
    RegisterHandlers(Breakpoints.Armed);
}

void StopBreakpoints()
{
    std::lock_guard guard(Breakpoints.Lock);
    if (Breakpoints.Armed)
        RegisterHandlers(false);
    Breakpoints.Armed = false;
}

} // namespace tessock

using namespace tessock;

extern "C" {

// Through the memory map of the moment: a ROM address lands in the bank
// mapped now. The I/O registers, the bank switcher and modules without an
// image have no byte to tag.
void KHAddBreakpoint(uint32_t address)
{
    Tag(LocateMemoryNibble(address));
}

void KHRemoveBreakpoint(uint32_t address)
{
    Untag(LocateMemoryNibble(address));
}

void KHAddRomBreakpoint(uint32_t bankedAddress)
{
    Tag(LocateRomNibble(bankedAddress));
}

void KHRemoveRomBreakpoint(uint32_t bankedAddress)
{
    Untag(LocateRomNibble(bankedAddress));
}

void KHSetBreakpointAction(int32_t action, KHWindow* window, uint32_t message)
{
    if (action != 0 && action != 1)
        return;
    // The engine's slots change under the lock too, so that a suspension
    // ending meanwhile cannot put back handlers that were just withdrawn.
    std::lock_guard guard(Breakpoints.Lock);
    if (action == 1) {
        // Stored before the handlers go in: a handler never sees them unset.
        Breakpoints.BreakpointWindow = window;
        Breakpoints.BreakpointMessage = message;
    }
    Breakpoints.Armed = action == 1;
    RegisterHandlers(Breakpoints.Armed);
}

} // extern "C"
