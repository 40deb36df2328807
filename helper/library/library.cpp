// The library comes up when it is loaded and goes down when it is unloaded
// or the process ends. Both run from the loader's initialiser and finaliser
// lists, which it walks in dependency order: this library starts after the
// engine it links and stops before it.
#include "helper/breakpoints/breakpoints.h"
#include "helper/disassembler/disassembler.h"
#include "helper/display/renderer.h"
#include "helper/images/images.h"
#include "helper/kermit/kermit.h"
#include "helper/serial/serial_link.h"
#include "korvane.h"
#include "tessock.h"

namespace tessock {

namespace {

using Step = void (*)();

// The disassembler's context, the display renderer, then the serial link,
// whose registration the engine answers at once.
constexpr Step StartSequence[] = {
    CreateDisassemblyContext,
    StartDisplayRenderer,
    StartSerialLink,
};

// Runs once the engine is stopped, so that no handler of this library is
// under way on its execution thread, and removes every handler before the
// code goes. Components with more to release take their place in this
// list: the Kermit sender's copies are freed first, the breakpoint
// handlers removed before the serial link stops.
constexpr Step StopSequence[] = {
    KermitFreeCopies,
    StopBreakpoints,
    StopSerialLink,
    StopDisplayRenderer,
    ReleaseImages,
    ReleaseDisassemblyContext,
};

[[gnu::constructor]] void LibraryAttach()
{
    for (Step step : StartSequence)
        step();
}

[[gnu::destructor]] void LibraryDetach()
{
    KVStop();
    for (Step step : StopSequence)
        step();
}

} // namespace

} // namespace tessock

extern "C" {

// Kept for old clients: there is no server.
uint32_t KHStartServer(uint32_t)
{
    return 0;
}

void KHShutdownServer() {}

} // extern "C"
