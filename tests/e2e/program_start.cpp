#include "tests/e2e/program_start.h"

#include <poll.h>
#include <unistd.h>

#include "korvane.h"
#include "tests/rom/demo_machine.h"
#include "saturn_asm/lcd_font.h"

namespace test {

ProgramStart::ProgramStart() : Window{this, Blit, Post}, Pixels(WindowWidth * WindowHeight, 0x7FFF)
{
    KVStop();
    KVConfigure(2, 1);
    Loaded = KHLoadRom(DEMO_ROM_PATH) == 1 && KHCreatePort0(0x80000) == 1 && KHCreatePort1(0x40000) == 1 &&
             KHCreatePort2(0x40000) == 1;
    KHSetDisplay(&Window, X, Y, saturn::LcdWidth, saturn::LcdHeight, Scale);
    Reader = std::thread([this] { readSerial(); });
    KVReset();
    KVRun();
}

ProgramStart::~ProgramStart()
{
    KVStop();
    ReleaseEveryKey();
    KHSetDisplay(nullptr, 0, 0, 0, 0, 0);
    Stopping = true;
    Reader.join();
}

void ProgramStart::Blit(void* context, const uint16_t* pixels, uint32_t pitch, int32_t x, int32_t y, uint32_t width,
                        uint32_t height)
{
    auto* self = static_cast<ProgramStart*>(context);
    {
        std::lock_guard<std::mutex> hold(self->Lock);
        for (uint32_t row = 0; row < height; ++row)
            for (uint32_t column = 0; column < width; ++column) {
                const int64_t wx = x + column, wy = y + row;
                if (wx >= 0 && wy >= 0 && wx < WindowWidth && wy < WindowHeight)
                    self->Pixels[wy * WindowWidth + wx] = pixels[row * pitch + column];
            }
        ++self->Blits;
    }
    self->Changed.notify_all();
}

void ProgramStart::readSerial()
{
    const int fd = KHSerialGetHandle();
    while (!Stopping) {
        pollfd ready{fd, POLLIN, 0};
        if (fd < 0 || poll(&ready, 1, 20) <= 0)
            continue;
        uint8_t byte;
        if (read(fd, &byte, 1) != 1)
            continue;
        std::function<void(uint8_t)> sink;
        {
            std::lock_guard<std::mutex> hold(Lock);
            sink = Sink;
            if (!sink)
                Received.push_back(byte);
        }
        if (sink)
            sink(byte);
        else
            Changed.notify_all();
    }
}

// A dot is dark when its gray level (the green channel, bits 5 to 9) is
// below half.
bool ProgramStart::dark(unsigned x, unsigned y) const
{
    const uint16_t pixel = Pixels[(Y + Scale * y) * WindowWidth + X + Scale * x];
    return (pixel >> 5 & 31) < 16;
}

bool ProgramStart::waitForScreen(const std::function<bool(const DotReader&)>& test, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> hold(Lock);
    const DotReader reader = [this](unsigned x, unsigned y) { return dark(x, y); };
    return Changed.wait_for(hold, timeout, [&] { return Blits > 0 && test(reader); });
}

bool ProgramStart::waitForLine(unsigned n, std::string_view text, std::chrono::milliseconds timeout)
{
    return waitForScreen([&](const DotReader& reader) { return ShownLine(reader, n) == text; }, timeout);
}

std::string ProgramStart::line(unsigned n)
{
    std::lock_guard<std::mutex> hold(Lock);
    return ShownLine([this](unsigned x, unsigned y) { return dark(x, y); }, n);
}

bool ProgramStart::blocksAreWhole()
{
    std::lock_guard<std::mutex> hold(Lock);
    for (unsigned y = 0; y < saturn::LcdHeight * Scale; ++y)
        for (unsigned x = 0; x < saturn::LcdWidth * Scale; ++x)
            if (Pixels[(Y + y) * WindowWidth + X + x] != Pixels[(Y + y / Scale * Scale) * WindowWidth + X + x / Scale * Scale])
                return false;
    return true;
}

void ProgramStart::routeBytes(std::function<void(uint8_t)> sink)
{
    std::lock_guard<std::mutex> hold(Lock);
    Sink = std::move(sink);
}

std::optional<uint8_t> ProgramStart::nextByte(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> hold(Lock);
    if (!Changed.wait_for(hold, timeout, [this] { return !Received.empty(); }))
        return std::nullopt;
    const uint8_t byte = Received.front();
    Received.pop_front();
    return byte;
}

} // namespace test
