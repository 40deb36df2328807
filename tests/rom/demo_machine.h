// The demonstration ROM started as the program starts it, through both
// libraries' exports: HP 49G hardware on, KHLoadRom with the built image,
// ports 0 to 2 of 0x80000, 0x40000 and 0x40000 nibbles, a test window at
// (42, 77) that takes the display at scale 2, an interrupt handler that
// counts SHUTDN sleeps, KVRun from reset.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>
#include <vector>

#include "korvane.h"
#include "saturn_asm/lcd_font.h"
#include "tessock.h"
#include "tests/rom/screen.h"

namespace test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class DemoMachine {
public:
    static inline std::atomic<unsigned> Sleeps{0}; // SHUTDN sleeps that ended

    DemoMachine()
    {
        KVStop();
        KVConfigure(2, 1);
        if (KHLoadRom(DEMO_ROM_PATH) != 1 || KHCreatePort0(0x80000) != 1 || KHCreatePort1(0x40000) != 1 ||
            KHCreatePort2(0x40000) != 1)
            throw std::runtime_error("cannot load " DEMO_ROM_PATH);
        KHSetDisplay(&Window, X, Y, saturn::LcdWidth, saturn::LcdHeight, Scale);
        KVSetInterruptHandler([](uint32_t) -> int32_t { ++Sleeps; return 1; }, 0x2000); // as each SHUTDN ends
        KVReset();
        KVRun();
    }

    ~DemoMachine()
    {
        KVStop();
        for (int key = 0; key < 82; ++key) // the matrix and the ON key
            KVReleaseKey(key / 9, key % 9);
        KVSetInterruptHandler(nullptr, 0xFFFF);
        KHSetDisplay(nullptr, 0, 0, 0, 0, 0);
    }

    // True once the window shows a screen that satisfies test, read from
    // each pixel of every dot's 2 by 2 block in turn.
    bool waitForScreen(const std::function<bool(const DotReader&)>& test, std::chrono::milliseconds timeout)
    {
        const auto everyPixel = [&] {
            for (unsigned corner = 0; corner < Scale * Scale; ++corner)
                if (!test([&](unsigned x, unsigned y) { return dark(Scale * x + corner % Scale, Scale * y + corner / Scale); }))
                    return false;
            return true;
        };
        std::unique_lock<std::mutex> hold(Lock);
        return Changed.wait_for(hold, timeout, [&] { return Blits > 0 && everyPixel(); });
    }

    // True once text line n, trailing blanks dropped, reads text.
    bool waitForLine(unsigned n, std::string_view text, std::chrono::milliseconds timeout = 5000ms)
    {
        return waitForScreen([&](const DotReader& dark) { return ShownLine(dark, n) == text; }, timeout);
    }

    std::string line(unsigned n)
    {
        std::lock_guard<std::mutex> hold(Lock);
        return ShownLine([this](unsigned x, unsigned y) { return dark(Scale * x, Scale * y); }, n);
    }

    // The next byte from the serial pipe.
    std::optional<uint8_t> nextByte(std::chrono::milliseconds timeout = 5000ms)
    {
        pollfd ready{KHSerialGetHandle(), POLLIN, 0};
        uint8_t byte;
        if (poll(&ready, 1, static_cast<int>(timeout.count())) == 1 && read(ready.fd, &byte, 1) == 1)
            return byte;
        return std::nullopt;
    }

private:
    static constexpr unsigned X = 42, Y = 77, Scale = 2, WindowWidth = 347, WindowHeight = 740;

    static void Blit(void* context, const uint16_t* pixels, uint32_t pitch, int32_t x, int32_t y, uint32_t width,
                     uint32_t height)
    {
        auto* self = static_cast<DemoMachine*>(context);
        {
            std::lock_guard<std::mutex> hold(self->Lock);
            for (uint32_t row = 0; row < height; ++row)
                for (uint32_t column = 0; column < width; ++column)
                    if (x + column < WindowWidth && y + row < WindowHeight) // negatives wrap past the bounds too
                        self->Pixels[(y + row) * WindowWidth + x + column] = pixels[row * pitch + column];
            ++self->Blits;
        }
        self->Changed.notify_all();
    }

    // A dot is dark when its gray level (the green channel, bits 5 to 9) is
    // below half; x and y count pixels from the display's corner.
    bool dark(unsigned x, unsigned y) const { return (Pixels[(Y + y) * WindowWidth + X + x] >> 5 & 31) < 16; }

    KHWindow Window{this, Blit, [](void*, uint32_t, uintptr_t, uintptr_t) {}};
    std::mutex Lock;
    std::condition_variable Changed;
    std::vector<uint16_t> Pixels = std::vector<uint16_t>(WindowWidth * WindowHeight, 0x7FFF);
    unsigned Blits = 0;
};

} // namespace test
