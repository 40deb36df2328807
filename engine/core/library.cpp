// The engine comes up when the library is loaded and goes down when it is
// unloaded (or the process ends), in this order.
#include "engine/core/cpu_state.h"
#include "engine/core/engine.h"
#include "engine/core/keyboard.h"
#include "engine/core/lcd.h"
#include "engine/core/memory.h"
#include "engine/core/serial.h"
#include "engine/core/timers.h"
#include "engine/core/trace.h"

namespace korvane {

namespace {

struct EngineLifetime {
    EngineLifetime()
    {
        Cpu.PC = 0;
        InitMemoryController();
        CreateTickers();
        ResetKeyboard();
        InitSerial();
        StartEngine();
    }

    ~EngineLifetime()
    {
        StopEngine();
        TermSerial();
        DestroyTickers();
        FreeDisplayBuffers();
        FreeTraceLog();
    }
};

EngineLifetime Lifetime;

} // namespace

} // namespace korvane
