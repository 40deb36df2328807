// The display renderer: the engine's finished frames are handed to a render
// thread of the library's own, which converts them into the display surface,
// gives them back to the engine and draws the surface into the window.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/event.h"
#include "platform/lock.h"
#include "platform/thread.h"
#include "tessock.h"

namespace tessock {

// A frame handed over by the engine and not yet converted.
struct PendingFrame {
    const uint8_t* Frame; // null when there is none
    uint32_t LeftOffset;
    uint32_t Stride;
};

struct DisplayRenderer {
    // Re-entrant: the render thread holds it while it draws, and drawing
    // takes it again. Guards everything up to the counters.
    platform::CriticalSection RenderLock;
    platform::Event RenderFrameEvent{true};
    platform::Event RenderQuitEvent{true};
    platform::Thread* RenderThread = nullptr;

    KHWindow* Window = nullptr;
    int32_t X = 0;
    int32_t Y = 0;
    uint32_t Width = 0;
    uint32_t Height = 0;
    int32_t Scale = 0;
    // True while a window, its surface and the frame handler are in place.
    bool DisplayAttached = false;
    uint16_t* Surface = nullptr;
    // The surface holds a converted frame and went to the window with it;
    // false from attaching until the first frame is drawn.
    bool SurfaceDrawn = false;
    PendingFrame Pending{};

    // Statistics: written without the lock by the execution thread and the
    // render thread, once a frame, not once an instruction.
    std::atomic<uint32_t> FramesDelivered{0};
    std::atomic<uint32_t> FramesDisplayed{0};
    std::atomic<uint32_t> RenderedFps{0};
    std::atomic<uint32_t> DisplayedFps{0};
    std::atomic<uint64_t> NextLatch{0};
    uint64_t CounterFrequency = 0;
};

extern DisplayRenderer Renderer;

// The engine's display handler, on the execution thread (or the caller's,
// inside KVForceRefresh): it only tries the lock, and a frame that finds it
// busy goes straight back.
void DisplayFrameHandler(const uint8_t* frame, uint32_t leftOffset, uint32_t stride);

void StartDisplayRenderer();
void StopDisplayRenderer();

} // namespace tessock
