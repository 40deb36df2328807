#include "helper/display/renderer.h"

#include <mutex>
#include <new>

#include "helper/display/convert.h"
#include "korvane.h"
#include "platform/clock.h"

namespace tessock {

constinit DisplayRenderer Renderer;

namespace {

constexpr uint32_t DefaultWidth = 131;
constexpr uint32_t DefaultHeight = 64;
constexpr uint32_t IdleClearMs = 1000;
constexpr uint32_t RenderThreadStopMs = 2000;

using Guard = platform::CriticalSectionGuard;

void ClearCounters()
{
    DisplayRenderer& r = Renderer;
    r.RenderedFps.store(0, std::memory_order_relaxed);
    r.DisplayedFps.store(0, std::memory_order_relaxed);
    r.FramesDelivered.store(0, std::memory_order_relaxed);
    r.FramesDisplayed.store(0, std::memory_order_relaxed);
}

// Under RenderLock. The frame goes back to the engine whatever happens to
// it: every frame handed over returns exactly once.
void GiveBackPending()
{
    PendingFrame& pending = Renderer.Pending;
    if (pending.Frame)
        KVDiscardFrame(pending.Frame);
    pending = {};
}

// Under RenderLock: no hand-off, no surface, no window.
void DetachDisplay()
{
    DisplayRenderer& r = Renderer;
    r.RenderFrameEvent.Reset();
    GiveBackPending();
    delete[] r.Surface;
    r.Surface = nullptr;
    r.SurfaceDrawn = false;
    r.Window = nullptr;
    r.DisplayAttached = false;
}

void BlitDisplay()
{
    DisplayRenderer& r = Renderer;
    // Another thread converting or attaching: nothing is drawn now. The
    // render thread holds the lock already and takes it again.
    std::unique_lock lock(r.RenderLock, std::try_to_lock);
    if (!lock || !r.DisplayAttached)
        return;
    const uint32_t scale = static_cast<uint32_t>(r.Scale);
    r.Window->blit(r.Window->context, r.Surface, SurfacePitch(r.Scale), r.X, r.Y, scale * r.Width,
                   scale * r.Height);
}

// Under RenderLock, with a pending frame; true when the surface changed and
// is to be drawn. The frame goes back before the surface is drawn, so the
// engine has it again as soon as possible. A frame that shows what the
// window shows already (a sleeping calculator's LCD, 64 times a second) is
// displayed as it stands: counted, but neither converted nor drawn again.
bool ConvertPending()
{
    DisplayRenderer& r = Renderer;
    const PendingFrame frame = r.Pending;
    bool changed = false;
    if (r.DisplayAttached) {
        r.FramesDisplayed.fetch_add(1, std::memory_order_relaxed);
        changed = !r.SurfaceDrawn || !SurfaceShowsFrame(frame.Frame, frame.LeftOffset, frame.Stride, r.Width,
                                                        r.Height, r.Scale, r.Surface);
        if (changed)
            ConvertFrame(frame.Frame, frame.LeftOffset, frame.Stride, r.Width, r.Height, r.Scale, r.Surface);
    }
    GiveBackPending();
    return changed;
}

uint32_t RenderThreadProc()
{
    DisplayRenderer& r = Renderer;
    for (;;) {
        const int woken = platform::WaitForEitherEvent(r.RenderQuitEvent, r.RenderFrameEvent, IdleClearMs);
        if (woken == platform::WaitTimedOut) {
            ClearCounters(); // a second without frames
            continue;
        }
        if (woken == 0)
            return 0;
        Guard guard(r.RenderLock);
        r.RenderFrameEvent.Reset();
        // KHSetDisplay may have taken the frame back meanwhile.
        if (r.Pending.Frame && ConvertPending()) {
            BlitDisplay();
            r.SurfaceDrawn = true;
        }
    }
}

bool RenderThreadRuns()
{
    const platform::Thread* thread = Renderer.RenderThread;
    return thread && !thread->HasEnded();
}

} // namespace

void DisplayFrameHandler(const uint8_t* frame, uint32_t leftOffset, uint32_t stride)
{
    DisplayRenderer& r = Renderer;
    r.FramesDelivered.fetch_add(1, std::memory_order_relaxed);
    // Latched once a second, counted from the frame that latches. The
    // counts are taken and cleared in one step each: the render thread
    // counts displayed frames meanwhile, and a clear that came between its
    // reading and its writing would carry a whole second into the next.
    const uint64_t now = platform::PerformanceCounter();
    if (now >= r.NextLatch.load(std::memory_order_relaxed)) {
        r.RenderedFps.store(r.FramesDelivered.exchange(0, std::memory_order_relaxed), std::memory_order_relaxed);
        r.DisplayedFps.store(r.FramesDisplayed.exchange(0, std::memory_order_relaxed), std::memory_order_relaxed);
        r.NextLatch.store(now + r.CounterFrequency, std::memory_order_relaxed);
    }
    if (!r.RenderLock.try_lock()) {
        KVDiscardFrame(frame);
        return;
    }
    // A newer frame replaces one the render thread has not taken yet.
    GiveBackPending();
    r.Pending = {frame, leftOffset, stride};
    r.RenderFrameEvent.Set();
    r.RenderLock.unlock();
}

void StartDisplayRenderer()
{
    DisplayRenderer& r = Renderer;
    r.CounterFrequency = platform::PerformanceFrequency();
    r.RenderFrameEvent.Reset();
    r.RenderQuitEvent.Reset();
    auto* thread = new (std::nothrow) platform::Thread;
    if (thread && !thread->Start(&RenderThreadProc)) {
        delete thread;
        thread = nullptr;
    }
    // Without a render thread no display is ever attached.
    r.RenderThread = thread;
}

void StopDisplayRenderer()
{
    DisplayRenderer& r = Renderer;
    {
        Guard guard(r.RenderLock);
        if (r.DisplayAttached)
            KVSetDisplayHandler(nullptr);
        DetachDisplay();
    }
    platform::Thread* thread = r.RenderThread;
    if (!thread)
        return;
    r.RenderThread = nullptr;
    // The lock is not held here, so the thread finishes whatever it draws
    // and ends on its own. Only a window whose blit never returns keeps
    // it; it is then cancelled, and its record left to it.
    r.RenderQuitEvent.Set();
    if (!thread->Join(RenderThreadStopMs)) {
        thread->Terminate(0);
        return;
    }
    delete thread;
}

} // namespace tessock

using namespace tessock;

extern "C" {

void KHSetDisplay(KHWindow* window, int32_t x, int32_t y, uint32_t width, uint32_t height, int32_t scale)
{
    DisplayRenderer& r = Renderer;
    KVSetDisplayHandler(nullptr); // no new frames from here on
    Guard guard(r.RenderLock);
    DetachDisplay();
    if (!window || !window->blit || !IsSurfaceScale(scale))
        return;
    if (width == 0 || height == 0) {
        width = DefaultWidth;
        height = DefaultHeight;
    }
    // An LCD the surface cannot hold, or no thread to draw it, leaves the
    // display detached.
    if (width > SurfaceColumns || height > SurfaceRows || !RenderThreadRuns())
        return;
    const size_t pixels = size_t{SurfacePitch(scale)} * SurfaceRows * static_cast<size_t>(scale);
    r.Surface = new (std::nothrow) uint16_t[pixels]();
    if (!r.Surface)
        return;
    r.Window = window;
    r.X = x;
    r.Y = y;
    r.Width = width;
    r.Height = height;
    r.Scale = scale;
    r.DisplayAttached = true;
    KVSetDisplaySize(width, height);
    r.NextLatch.store(platform::PerformanceCounter() + r.CounterFrequency, std::memory_order_relaxed);
    ClearCounters();
    // Frames that come before the lock is released go straight back.
    KVSetDisplayHandler(&DisplayFrameHandler);
}

void KHRefreshDisplay()
{
    BlitDisplay();
}

uint32_t KHGetRenderedFPS()
{
    return Renderer.RenderedFps.load(std::memory_order_relaxed);
}

uint32_t KHGetDisplayedFPS()
{
    return Renderer.DisplayedFps.load(std::memory_order_relaxed);
}

} // extern "C"
