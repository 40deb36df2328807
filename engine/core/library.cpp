// The engine comes up when the library is loaded and goes down when it is
// unloaded (or the process ends), in this order. Both run from the loader's
// initialiser and finaliser lists, not from a static object: exit() runs
// static destructors registered while a library was being loaded before it
// walks the finalisers, which it does in dependency order. A library that
// links this one (the helper library) still calls the engine while it
// stops, so the engine must go last.
#include "engine/core/library.h"

#include "engine/core/code_cache.h"
#include "engine/core/cpu_state.h"
#include "engine/core/engine.h"
#include "engine/core/keyboard.h"
#include "engine/core/lcd.h"
#include "engine/core/memory.h"
#include "engine/core/serial.h"
#include "engine/core/timers.h"
#include "engine/core/trace.h"

namespace korvane {

void LibraryAttach()
{
    Cpu.PC = 0;
    InitCodeCache();
    InitMemoryController();
    CreateTickers();
    ResetKeyboard();
    InitSerial();
    StartEngine();
}

void LibraryDetach()
{
    StopEngine();
    DestroyTickers();
    FreeDisplayBuffers();
    FreeTraceLog();
}

namespace {

[[gnu::constructor]] void OnLoad()
{
    LibraryAttach();
}

[[gnu::destructor]] void OnUnload()
{
    LibraryDetach();
}

} // namespace

} // namespace korvane
