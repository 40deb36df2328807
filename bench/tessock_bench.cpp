// What the helper library's display costs, measured as a client sees it.
//
//   1. one frame's conversion into the scale-2 surface and its blit into a
//      window-sized buffer, per frame (the render thread's work);
//   2. the engine's instruction rate under KVRun with the LCD on, with the
//      renderer attached against the same program without a display
//      handler, in alternating rounds;
//   3. KHGetRenderedFPS and KHGetDisplayedFPS while attached.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/figures.h"
#include "helper/display/convert.h"
#include "korvane.h"
#include "tessock.h"
#include "tests/support/program.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr uint32_t IoBase = 0xF0000;
constexpr uint32_t RamBase = 0x80000;
constexpr uint32_t RamSizeMask = 0xC0000; // 256K nibbles
constexpr uint32_t RamNibbles = 0x40000;
constexpr uint32_t CodeOrigin = 0x10000;
constexpr uint32_t PictureAddress = 0x20000;
constexpr uint32_t IterationCell = RamBase; // 16 nibbles, +1 per pass
constexpr uint32_t ScratchCell = RamBase + 0x40;
// Instructions of one pass of the loop, counted by hand.
constexpr uint64_t PassInstructions = 15;

// The front end's side of a blit: the pixels copied into its own image of
// the calculator's face.
struct FaceWindow {
    static constexpr uint32_t Width = 347, Height = 740;
    std::vector<uint16_t> Face = std::vector<uint16_t>(size_t{Width} * Height);
    std::atomic<uint32_t> Blits{0};

    static void Blit(void* context, const uint16_t* pixels, uint32_t pitch, int32_t x, int32_t y, uint32_t width,
                     uint32_t height)
    {
        auto* self = static_cast<FaceWindow*>(context);
        for (uint32_t row = 0; row < height; ++row)
            std::memcpy(&self->Face[size_t{y + row} * Width + x], pixels + size_t{row} * pitch, width * sizeof(uint16_t));
        self->Blits.fetch_add(1, std::memory_order_relaxed);
    }
    static void Post(void*, uint32_t, uintptr_t, uintptr_t) {}

    KHWindow Record{this, &Blit, &Post};
};

struct Options : bench::RoundOptions {
    Options() : RoundOptions{2.5, 2.5, 2} {}
    int Frames = 20000;
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h" || i + 1 >= argc) {
            std::printf("usage: %s [--settle S] [--measure S] [--rounds N] [--frames N]\n"
                        "  --settle S   seconds under KVRun before each measuring window (default 2.5)\n"
                        "  --measure S  seconds of each measuring window (default 2.5)\n"
                        "  --rounds N   rounds of each configuration, alternating (default 2)\n"
                        "  --frames N   frames converted and blitted for figure 1 (default 20000)\n",
                        argv[0]);
            std::exit(name == "--help" || name == "-h" ? 0 : 2);
        }
        double frames = 0;
        if (name == "--frames" ? !bench::ReadOptionValue(argv[++i], frames) : !ReadRoundOption(name, argv[++i], options))
            return false;
        if (frames > 0)
            options.Frames = static_cast<int>(frames);
    }
    return options.Rounds >= 1 && options.Frames >= 1;
}

// Figure 1: microseconds per frame, the best of ten batches; the blit
// alone is left out when asked, to tell the two apart.
double ConversionMicroseconds(int frames, bool blit)
{
    constexpr uint32_t stride = 144;
    std::vector<uint8_t> frame(size_t{stride} * 64);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>((i * 37) ^ (i >> 5));
    std::vector<uint16_t> surface(size_t{tessock::SurfacePitch(2)} * 128);
    FaceWindow window;
    double best = 1e9;
    for (int batch = 0; batch < 10; ++batch) {
        const int count = std::max(1, frames / 10);
        const Clock::time_point start = Clock::now();
        for (int i = 0; i < count; ++i) {
            frame[static_cast<size_t>(i) % frame.size()] ^= 0x80;
            tessock::ConvertFrame(frame.data(), 0, stride, 131, 64, 2, surface.data());
            if (blit)
                window.Record.blit(window.Record.context, surface.data(), tessock::SurfacePitch(2), 42, 77, 262, 128);
        }
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        best = std::min(best, seconds / count * 1e6);
    }
    return best;
}

// The display on over a picture, then a loop that counts its passes in RAM
// with a little arithmetic and a memory round trip.
test::Program BuildProgram()
{
    test::Program p(CodeOrigin);
    p.label("init").p(0);
    p.d1(IoBase + 0x20).lc(5, PictureAddress).op("145"); // DAT1=C A: display address
    p.d1(IoBase + 0x28).lc(2, 63).op("14D");             // DAT1=C B: 64 main lines
    p.d1(IoBase + 0x00).lc(1, 8).op("1550");             // DAT1=C P: display on
    p.label("run");
    p.d1(IterationCell).op("1537");                       // A=DAT1 W
    p.op("B74").op("1517");                               // A=A+1 W, DAT1=A W
    p.lc(5, 0x1F3A7).op("D5").op("C0").op("C2");           // LC, B=C A, A=A+B A, C=C+A A
    p.d0(ScratchCell).op("140").op("146");                 // DAT0=A A, C=DAT0 A
    p.op("8A2").goyes("same");                             // ?C=A A
    p.op("D2");                                            // C=0 A, skipped
    p.label("same").op("CE").op("E5");                     // C=C-1 A, B=B+1 A
    p.goto_("run");
    return p;
}

class Machine {
public:
    bool Setup()
    {
        KVStop();
        KVConfigure(2, 0);
        if (!KHCreateRom(0x100000) || !KHCreatePort0(RamNibbles))
            return false;
        uint32_t size = 0;
        KHGetRom(&size, &Rom);
        KHGetPort0(&size, &Ram);
        Code = BuildProgram();
        for (const test::Program::Placed& nibble : Code.build())
            Rom[nibble.Address] = nibble.Byte;
        for (uint32_t nibble = 0; nibble < 64 * 34; ++nibble)
            Rom[PictureAddress + nibble] = static_cast<uint8_t>(nibble * 7 % 16);
        KVMemoryReset();
        KVMemoryConfig(IoBase);
        KVMemoryConfig(RamSizeMask);
        KVMemoryConfig(RamBase);
        KVSetRegister(KV_REG_PC, Code.at("init"));
        // The initialisation turns the display on; the loop must then count
        // one pass in as many steps as counted by hand.
        for (int step = 0; step < 100 && KVGetRegister(KV_REG_PC) != Code.at("run"); ++step)
            KVStep();
        const uint64_t before = Iterations();
        uint64_t steps = 0;
        do {
            KVStep();
            ++steps;
        } while (KVGetRegister(KV_REG_PC) != Code.at("run") && steps < 1000);
        if (steps != PassInstructions || Iterations() != before + 1) {
            std::fprintf(stderr, "one pass took %" PRIu64 " steps and counted %" PRIu64 "\n", steps,
                         Iterations() - before);
            return false;
        }
        return true;
    }

    // Instructions per second in the window after settling, under KVRun.
    double RunRate(const Options& options)
    {
        KVRun();
        std::this_thread::sleep_for(std::chrono::duration<double>(options.SettleSeconds));
        const uint64_t first = Iterations();
        const Clock::time_point start = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(options.MeasureSeconds));
        const uint64_t last = Iterations();
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        Fps[0] = KHGetRenderedFPS();
        Fps[1] = KHGetDisplayedFPS();
        KVStop();
        return static_cast<double>(last - first) * PassInstructions / seconds;
    }

    uint32_t Fps[2] = {};

private:
    // The execution thread writes the count while this thread reads it, a
    // nibble at a time: a read is repeated until two agree.
    uint64_t Iterations() const
    {
        uint64_t last = ReadCell();
        for (;;) {
            const uint64_t again = ReadCell();
            if (again == last)
                return again;
            last = again;
        }
    }
    uint64_t ReadCell() const
    {
        uint64_t value = 0;
        uint8_t* cell = Ram + (IterationCell - RamBase);
        for (unsigned k = 16; k-- > 0;)
            value = value << 4 | (std::atomic_ref<uint8_t>(cell[k]).load(std::memory_order_relaxed) & 15);
        return value;
    }

    uint8_t* Rom = nullptr;
    uint8_t* Ram = nullptr;
    test::Program Code;
};

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "bad option; --help lists them\n");
        return 2;
    }
    std::printf("tessock benchmark\n");
    const double convert = ConversionMicroseconds(options.Frames, true);
    const double convertOnly = ConversionMicroseconds(options.Frames, false);
    std::printf("  1 conversion and blit at scale 2: %.2f us per frame (conversion alone %.2f us)\n", convert,
                convertOnly);

    Machine machine;
    if (!machine.Setup()) {
        std::fprintf(stderr, "the benchmark program does not run as written\n");
        return 1;
    }
    FaceWindow window;
    std::vector<double> attached, detached;
    uint32_t renderedFps = 0, displayedFps = 0;
    for (int round = 0; round < options.Rounds; ++round) {
        KHSetDisplay(&window.Record, 42, 77, 131, 64, 2);
        attached.push_back(machine.RunRate(options));
        renderedFps = machine.Fps[0];
        displayedFps = machine.Fps[1];
        KHSetDisplay(nullptr, 0, 0, 0, 0, 0);
        detached.push_back(machine.RunRate(options));
        std::printf("  round %d: %.1f M instructions/s attached, %.1f M/s without a display handler\n", round + 1,
                    attached.back() / 1e6, detached.back() / 1e6);
    }
    const double withDisplay = bench::Median(attached), without = bench::Median(detached);
    std::printf("  2 KVRun with the renderer attached: %.1f M/s, without: %.1f M/s, ratio %.3f\n", withDisplay / 1e6,
                without / 1e6, withDisplay / without);
    std::printf("  3 KHGetRenderedFPS %u, KHGetDisplayedFPS %u (the engine delivers 64 a second)\n", renderedFps,
                displayedFps);
    std::printf("\n");
    std::printf("BENCH convert_blit_us=%.2f\n", convert);
    std::printf("BENCH convert_us=%.2f\n", convertOnly);
    std::printf("BENCH run_ips_attached=%.0f\n", withDisplay);
    std::printf("BENCH run_ips_detached=%.0f\n", without);
    std::printf("BENCH attached_ratio=%.4f\n", withDisplay / without);
    std::printf("BENCH rendered_fps=%u\n", renderedFps);
    std::printf("BENCH displayed_fps=%u\n", displayedFps);
    return window.Blits.load() > 0 ? 0 : 1;
}
