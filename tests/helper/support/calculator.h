// The engine as the helper library's tests drive it: stopped, flat addressing, a ROM image of the library's own
// that programs are placed in. Beside it a byte sender and a window that record, from any thread, and the waits.
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <poll.h>
#include <set>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

#include "korvane.h"
#include "tessock.h"
#include "tests/support/program.h"

namespace test {

inline constexpr uint32_t Io = 0xF0000; // where the test programs configure the I/O register window

struct Calculator {
    Calculator()
    {
        KVStop();
        KVConfigure(2, 0);
        uint32_t size = 0;
        if (KHCreateRom(0x100000))
            KHGetRom(&size, &Rom);
        KVMemoryReset();
        ClearSerialLink();
    }
    // The serial link as the library's load leaves it, whatever an earlier test left there: a byte waiting in the
    // calculator's receive register taken, so that the link is ready, its transmitter empty, the pipe drained.
    // The ROM is all zero again afterwards.
    void ClearSerialLink()
    {
        const Program clear = Program(0x0F000).lc(5, Io).op("805").d1(Io + 0x14).op("14F") // C=DAT1 B: RBR
                                  .p(0).lc(1, 0).d1(Io + 0x12).op("1550").rtn();          // DAT1=C P: TCS
        call(clear);
        for (const Program::Placed& nibble : clear.build())
            Rom[nibble.Address] = 0;
        KVMemoryReset();
        pollfd waiting{KHSerialGetHandle(), POLLIN, 0};
        for (uint8_t bytes[4096]; poll(&waiting, 1, 0) > 0 && read(waiting.fd, bytes, sizeof bytes) > 0;) {
        }
    }
    ~Calculator() { KVStop(); }
    void place(const Program& program)
    {
        for (const Program::Placed& nibble : program.build())
            Rom[nibble.Address] = nibble.Byte;
    }
    void load(const Program& program) { place(program); KVSetRegister(KV_REG_PC, program.origin()); }
    void call(const Program& routine) { place(routine); KVExecuteRoutine(routine.origin()); }

    uint8_t* Rom = nullptr;
};

// The display on with 64 lines, then every received byte sent back, for ever.
inline Program DrawAndEcho()
{
    Program p(0x01000);
    p.lc(5, Io).op("805").p(0).d1(Io + 0x00).lc(1, 8).op("1550"); // CONFIG; DAT1=C P: display on
    p.d1(Io + 0x28).lc(2, 63).op("14D");                          // DAT1=C B: line count 63
    p.label("poll").d1(Io + 0x11).op("1570").op("808A0").goyes("poll"); // C=DAT1 P: RCS, until a byte
    p.d1(Io + 0x14).op("14F").d1(Io + 0x16).op("14D").goto_("poll");     // take it, transmit it
    return p;
}

template <typename Condition>
bool WaitUntil(Condition condition, std::chrono::milliseconds timeout)
{
    for (const auto deadline = std::chrono::steady_clock::now() + timeout; !condition();)
        if (std::chrono::steady_clock::now() > deadline)
            return condition();
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
}

// The number of bytes read until count have come or the time is up.
inline size_t ReadFor(int descriptor, uint8_t* into, size_t count, std::chrono::milliseconds timeout)
{
    size_t got = 0;
    pollfd ready{descriptor, POLLIN, 0};
    WaitUntil([&] {
        const ssize_t n = poll(&ready, 1, 1) > 0 ? read(descriptor, into + got, count - got) : 0;
        got += n > 0 ? static_cast<size_t>(n) : 0;
        return got == count;
    }, timeout);
    return got;
}

// The frames the engine lends a consumer that keeps them, each given back: four when every frame came back.
inline size_t FreeFrames()
{
    static std::set<const uint8_t*> held;
    held.clear();
    KVSetDisplayHandler([](const uint8_t* frame, uint32_t, uint32_t) { held.insert(frame); });
    for (int refresh = 0; refresh < 8; ++refresh)
        KVForceRefresh();
    KVSetDisplayHandler(nullptr);
    for (const uint8_t* frame : held)
        KVDiscardFrame(frame);
    return held.size();
}

inline std::mutex RecordedLock;
inline std::vector<uint8_t> Recorded;
inline int32_t Record(uint32_t byte)
{
    std::lock_guard guard(RecordedLock);
    Recorded.push_back(static_cast<uint8_t>(byte));
    return 1;
}
inline std::vector<uint8_t> TakeRecorded()
{
    std::lock_guard guard(RecordedLock);
    return std::exchange(Recorded, {});
}

struct Post {
    uint32_t Message;
    uintptr_t First, Second;
    bool operator==(const Post&) const = default;
};
struct Blit { uint32_t Pitch, Width, Height; int32_t X, Y; std::vector<uint16_t> Pixels; }; // Width x Height pixels

// Keeps every post, and the last blit with its pixels; a blit may be made slow.
struct RecordingWindow {
    std::vector<Post> posts() const { std::lock_guard guard(Lock); return Posts; }
    Blit last() const { std::lock_guard guard(Lock); return Last; }

    mutable std::mutex Lock;
    std::vector<Post> Posts;
    Blit Last{};
    std::atomic<int> Blits{0}, DelayMs{0};
    KHWindow Window{
        this,
        [](void* self, const uint16_t* pixels, uint32_t pitch, int32_t x, int32_t y, uint32_t width, uint32_t height) {
            auto& w = *static_cast<RecordingWindow*>(self);
            std::unique_lock guard(w.Lock);
            w.Last = {pitch, width, height, x, y, {}};
            for (size_t row = 0; row < height; ++row)
                w.Last.Pixels.insert(w.Last.Pixels.end(), pixels + row * pitch, pixels + row * pitch + width);
            guard.unlock();
            ++w.Blits;
            std::this_thread::sleep_for(std::chrono::milliseconds(w.DelayMs.load()));
        },
        [](void* self, uint32_t message, uintptr_t first, uintptr_t second) {
            auto& w = *static_cast<RecordingWindow*>(self);
            std::lock_guard guard(w.Lock);
            w.Posts.push_back({message, first, second});
        }};
};

} // namespace test
