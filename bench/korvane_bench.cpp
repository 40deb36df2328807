// How fast the engine runs, measured as a client sees it: through the
// exports of libkorvane.so only.
//
// A Saturn loop with a mix of field arithmetic in both modes, memory
// transfers through D0 and D1, tests with GOYES, GOSUB/RTN, LC and P=n
// counts its iterations in RAM and copies TIMER2 there on every pass, so
// the instructions executed follow from the iteration count, and the
// machine's clock can be compared with the host's.
//
//   1. instructions per second through KVExecuteRoutine on this thread;
//   2. instructions per second under KVRun once the instructions-per-slice
//      count has settled;
//   3. TIMER2 ticks per host second during 2 (the machine's clock: 8192);
//   4. the ratio of 2 to 1, what the time slices cost.
//
// Then the demonstration ROM, asleep in SHUTDN between its clock's ticks
// (sleep_figures.h):
//   5. processor time of the process while it sleeps, and TIMER2's rate and
//      the LCD frames meanwhile;
//   6. how soon the sleeping ROM shows a key pressed with KVPressKey.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <sched.h>
#include <string>
#include <thread>
#include <vector>

#include "host_probes.h"
#include "loop_program.h"
#include "korvane.h"
#include "sleep_figures.h"
#include "tests/support/program.h"

namespace {

using namespace bench;
using Clock = std::chrono::steady_clock;

constexpr double MachineTickRate = 8192.0;

// Instructions of one pass of the body (with its RTN), counted by hand;
// the benchmark checks the count by single-stepping a pass.
constexpr uint64_t BodyInstructions = 42;
// The run loop adds its GOSUB and GOTO; the routine's loop its GOSUB, the
// decrement and the GONC, and the routine itself three before and a RTN.
constexpr uint64_t RunLoopInstructions = BodyInstructions + 2;
constexpr uint64_t RoutineLoopInstructions = BodyInstructions + 3;
constexpr uint64_t RoutineFixedInstructions = 4;

struct Options {
    double SettleSeconds = 3.0;
    double MeasureSeconds = 3.0;
    double RoutineSeconds = 1.0;
    int RoutineRepeats = 3;
    double IdleSeconds = 5.0;
    int Presses = 200;
    int BusyPerProcessor = 0;
    bool Running = true;  // figures 1 to 4
    bool Sleeping = true; // figures 5 and 6
};

void Usage(const char* program)
{
    std::fprintf(stdout,
                 "usage: %s [--settle S] [--measure S] [--routine S] [--repeat N] [--idle S] [--presses N]\n"
                 "          [--busy N] [--only run|sleep]\n"
                 "  --settle S   seconds under KVRun before the measuring window (default 3)\n"
                 "  --measure S  seconds of the measuring window under KVRun (default 3)\n"
                 "  --routine S  seconds of each KVExecuteRoutine run (default 1)\n"
                 "  --repeat N   KVExecuteRoutine runs, the best one counts (default 3)\n"
                 "  --idle S     seconds the demonstration ROM sleeps untouched, at least 2 (default 5)\n"
                 "  --presses N  key presses made to the sleeping ROM (default 200)\n"
                 "  --busy N     N busy host threads per processor run throughout (default 0)\n"
                 "  --only X     only the running figures (run) or the sleeping ones (sleep)\n",
                 program);
}

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            Usage(argv[0]);
            std::exit(0);
        }
        if (i + 1 >= argc) {
            Usage(argv[0]);
            return false;
        }
        if (name == "--only") {
            const std::string part = argv[++i];
            if (part != "run" && part != "sleep") {
                Usage(argv[0]);
                return false;
            }
            options.Running = part == "run";
            options.Sleeping = part == "sleep";
            continue;
        }
        char* end = nullptr;
        const double value = std::strtod(argv[++i], &end);
        if (end == argv[i] || *end != '\0' || !(value >= 0) || value > 3600) {
            Usage(argv[0]);
            return false;
        }
        if (name == "--settle")
            options.SettleSeconds = value;
        else if (name == "--measure")
            options.MeasureSeconds = value;
        else if (name == "--routine")
            options.RoutineSeconds = value;
        else if (name == "--repeat")
            options.RoutineRepeats = value < 1 ? 1 : static_cast<int>(value);
        else if (name == "--idle")
            options.IdleSeconds = value;
        else if (name == "--presses")
            options.Presses = static_cast<int>(value);
        else if (name == "--busy" && value <= 16)
            options.BusyPerProcessor = static_cast<int>(value);
        else {
            Usage(argv[0]);
            return false;
        }
    }
    if (options.MeasureSeconds < 0.01)
        options.MeasureSeconds = 0.01;
    if (options.RoutineSeconds < 0.01)
        options.RoutineSeconds = 0.01;
    // Two of the ROM's clock interrupts give TIMER2's rate.
    if (options.IdleSeconds < 2)
        options.IdleSeconds = 2;
    return true;
}

class Bench {
public:
    Bench() : Rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK, 0), Ram(RamNibbles + KV_BUFFER_SLACK, 0) {}

    ~Bench()
    {
        KVStop();
        KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
        KVSetMemoryModule(KV_MODULE_ROM, nullptr, 0);
    }

    bool Setup()
    {
        Code = BuildProgram();
        for (const test::Program::Placed& nibble : Code.build())
            Rom[nibble.Address] = nibble.Byte;
        KVStop();
        KVMemoryReset();
        KVMemoryConfig(IoBase);
        KVMemoryConfig(RamSizeMask);
        KVMemoryConfig(RamBase);
        KVSetMemoryModule(KV_MODULE_ROM, Rom.data(), KV_ROM_NIBBLES - 1);
        KVSetMemoryModule(KV_MODULE_RAM, Ram.data(), RamNibbles - 1);
        KVExecuteRoutine(Code.at("init"));
        return CheckOnePass();
    }

    // Instructions per second of the best routine run.
    double RoutineRate(const Options& options)
    {
        // A short run first tells how many iterations fill the time asked for.
        const double probe = TimeRoutine(20000);
        const double perIteration = probe / 20000;
        uint64_t iterations = static_cast<uint64_t>(options.RoutineSeconds / perIteration);
        if (iterations < 1000)
            iterations = 1000;
        double best = 0;
        for (int run = 0; run < options.RoutineRepeats; ++run) {
            const double seconds = TimeRoutine(iterations);
            const double rate = (RoutineFixedInstructions + iterations * RoutineLoopInstructions) / seconds;
            if (rate > best)
                best = rate;
        }
        return best;
    }

    struct RunFigures {
        double InstructionsPerSecond;
        double Timer2PerSecond;
        double WaitFraction; // of the window, or negative when unknown
        int Processor;       // where the execution thread ran last, or -1
        bool Ok;
    };

    // Runs the loop under KVRun, prints the rate of every half second, and
    // measures over the window after the settling time.
    RunFigures RunRate(const Options& options)
    {
        KVSetRegister(KV_REG_PC, Code.at("run"));
        KVRun();
        const Clock::time_point start = Clock::now();
        // Samples every half second, and at the window's start and end.
        const double total = options.SettleSeconds + options.MeasureSeconds;
        std::vector<double> marks{options.SettleSeconds, total};
        for (double mark = 0.5; mark < total; mark += 0.5)
            marks.push_back(mark);
        std::sort(marks.begin(), marks.end());
        marks.erase(std::unique(marks.begin(), marks.end()), marks.end());
        std::printf("  under KVRun, M instructions/s by interval:");
        Sample previous = Take(start);
        Sample windowStart = previous;
        Sample windowEnd = previous;
        const bench::EngineThreadStats engineThread;
        double waitAtStart = -1;
        for (const double mark : marks) {
            SleepUntil(start, mark);
            const Sample now = Take(start);
            if (mark == options.SettleSeconds) {
                windowStart = now;
                waitAtStart = engineThread.WaitNanoseconds();
            }
            if (now.Seconds > previous.Seconds + 0.05) {
                std::printf(" %.0f", (now.Iterations - previous.Iterations) * RunLoopInstructions /
                                         (now.Seconds - previous.Seconds) / 1e6);
                std::fflush(stdout);
                previous = now;
            }
            windowEnd = now;
        }
        std::printf("\n");
        const double waitAtEnd = engineThread.WaitNanoseconds();
        const int processor = engineThread.Processor();
        KVStop();

        RunFigures figures{};
        const double seconds = windowEnd.Seconds - windowStart.Seconds;
        const uint64_t iterations = windowEnd.Iterations - windowStart.Iterations;
        // TIMER2 counts down.
        const uint32_t ticks = windowStart.Timer2 - windowEnd.Timer2;
        figures.InstructionsPerSecond = iterations * RunLoopInstructions / seconds;
        figures.Timer2PerSecond = ticks / seconds;
        figures.Processor = processor;
        figures.WaitFraction = waitAtStart >= 0 && waitAtEnd >= 0 ? (waitAtEnd - waitAtStart) / 1e9 / seconds : -1;
        // Read exactly now that the engine stands: no pass was lost.
        figures.Ok = ReadCell(IterationCell, 16) >= windowEnd.Iterations && iterations > 0;
        return figures;
    }

private:
    struct Sample {
        double Seconds;
        uint64_t Iterations;
        uint32_t Timer2;
    };

    // The engine's thread writes these cells while this one reads them, one
    // nibble at a time, so a read is repeated until two agree.
    uint64_t ReadCellRacily(uint32_t address, unsigned nibbles)
    {
        uint64_t last = ReadCell(address, nibbles);
        for (;;) {
            const uint64_t again = ReadCell(address, nibbles);
            if (again == last)
                return again;
            last = again;
        }
    }

    uint64_t ReadCell(uint32_t address, unsigned nibbles)
    {
        uint64_t value = 0;
        uint8_t* cell = Ram.data() + (address - RamBase);
        for (unsigned k = nibbles; k-- > 0;)
            value = value << 4 | (std::atomic_ref<uint8_t>(cell[k]).load(std::memory_order_relaxed) & 15);
        return value;
    }

    void WriteCell(uint32_t address, unsigned nibbles, uint64_t value)
    {
        for (unsigned k = 0; k < nibbles; ++k)
            Ram[address - RamBase + k] = static_cast<uint8_t>((value >> (4 * k)) & 15);
    }

    Sample Take(Clock::time_point start)
    {
        const uint64_t iterations = ReadCellRacily(IterationCell, 16);
        const uint32_t timer = static_cast<uint32_t>(ReadCellRacily(TimerCopyCell, 8));
        return {std::chrono::duration<double>(Clock::now() - start).count(), iterations, timer};
    }

    static void SleepUntil(Clock::time_point start, double seconds)
    {
        std::this_thread::sleep_until(start + std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(seconds)));
    }

    double TimeRoutine(uint64_t iterations)
    {
        WriteCell(RoutineCountCell, 16, iterations - 1);
        const uint64_t before = ReadCell(IterationCell, 16);
        const Clock::time_point start = Clock::now();
        KVExecuteRoutine(Code.at("routine"));
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (ReadCell(IterationCell, 16) - before != iterations)
            std::fprintf(stderr, "the routine ran %" PRIu64 " passes, not %" PRIu64 "\n",
                         ReadCell(IterationCell, 16) - before, iterations);
        return seconds;
    }

    // Steps one pass of the run loop: it must take the instructions counted
    // by hand, come back to its start and count itself once.
    bool CheckOnePass()
    {
        const uint32_t run = Code.at("run");
        KVSetRegister(KV_REG_PC, run);
        const uint64_t before = ReadCell(IterationCell, 16);
        uint64_t steps = 0;
        do {
            KVStep();
            ++steps;
        } while (KVGetRegister(KV_REG_PC) != run && steps < 1000);
        const uint64_t counted = ReadCell(IterationCell, 16) - before;
        if (steps != RunLoopInstructions || counted != 1 || (KVGetRegister(KV_REG_FLAGS) & 0x400)) {
            std::fprintf(stderr, "one pass took %" PRIu64 " steps (expected %" PRIu64 ") and counted %" PRIu64 "\n",
                         steps, RunLoopInstructions, counted);
            return false;
        }
        return true;
    }

    std::vector<uint8_t> Rom;
    std::vector<uint8_t> Ram;
    test::Program Code;
};

// Figures 1 to 4: the benchmark loop through KVExecuteRoutine and under KVRun.
int PrintRunningFigures(const Options& options)
{
    Bench machine;
    if (!machine.Setup()) {
        std::fprintf(stderr, "the benchmark program does not run as written\n");
        return 1;
    }

    std::printf("korvane benchmark: %" PRIu64 " instructions per loop pass\n", RunLoopInstructions);
    const bench::HostSteadiness host = bench::MeasureHostSteadiness(0.5, MachineTickRate);
    const double routine = machine.RoutineRate(options);
    const int routineProcessor = sched_getcpu();
    const Bench::RunFigures run = machine.RunRate(options);
    if (!run.Ok) {
        std::fprintf(stderr, "the loop did not run under KVRun\n");
        return 1;
    }
    const double ratio = run.InstructionsPerSecond / routine;
    const double clockError = (run.Timer2PerSecond - MachineTickRate) / MachineTickRate;

    std::printf("\n");
    std::printf("  %-44s %14s\n", "figure", "value");
    std::printf("  %-44s %10.1f M/s\n", "1 KVExecuteRoutine instructions per second", routine / 1e6);
    std::printf("  %-44s %10.1f M/s\n", "2 KVRun instructions per second (settled)", run.InstructionsPerSecond / 1e6);
    std::printf("  %-44s %10.1f /s  (%+.3f%% of 8192)\n", "3 TIMER2 ticks per second during 2", run.Timer2PerSecond,
                100 * clockError);
    std::printf("  %-44s %14.3f\n", "4 ratio of 2 to 1", ratio);
    if (run.WaitFraction >= 0)
        std::printf("  %-44s %12.2f %%\n", "engine thread waiting for a processor in 2", 100 * run.WaitFraction);
    std::printf("  %-44s %8d / %d\n", "processor of 1 / of the execution thread", routineProcessor, run.Processor);
    std::printf("  %-44s %+8.1f %% / %+.1f %% (median %.1f us)\n", "host: slice-sized work, 90th / 99th pct", 100 * host.P90Excess,
                100 * host.P99Excess, host.MedianMicroseconds);
    std::printf("\n");
    std::printf("BENCH routine_ips=%.0f\n", routine);
    std::printf("BENCH run_ips=%.0f\n", run.InstructionsPerSecond);
    std::printf("BENCH timer2_hz=%.1f\n", run.Timer2PerSecond);
    std::printf("BENCH timer2_error_pct=%.3f\n", 100 * clockError);
    std::printf("BENCH run_routine_ratio=%.4f\n", ratio);
    if (run.WaitFraction >= 0)
        std::printf("BENCH engine_wait_pct=%.2f\n", 100 * run.WaitFraction);
    std::printf("BENCH host_p90_excess_pct=%.1f\n", 100 * host.P90Excess);
    return 0;
}

// Figures 5 and 6: the demonstration ROM asleep, then woken by keys.
int PrintSleepingFigures(const Options& options)
{
    std::printf("\nthe demonstration ROM asleep: %.0f s untouched, then %d key presses\n", options.IdleSeconds,
                options.Presses);
    const bench::SleepFigures sleep = bench::MeasureSleep(DEMO_ROM_IMAGE, options.IdleSeconds, options.Presses);
    if (!sleep.Ok) {
        std::fprintf(stderr, "the demonstration ROM: %s\n", sleep.Failure.c_str());
        return 1;
    }
    std::printf("\n");
    std::printf("  %-44s %14s\n", "figure", "value");
    std::printf("  %-44s %12.2f %%\n", "5 processor time of the process, asleep", sleep.ProcessPercent);
    if (sleep.EngineThreadPercent >= 0)
        std::printf("  %-44s %12.2f %%\n", "  of it the execution thread", sleep.EngineThreadPercent);
    std::printf("  %-44s %10.1f /s  (%+.3f%% of 8192)\n", "  TIMER2 ticks per second, asleep", sleep.Timer2PerSecond,
                100 * (sleep.Timer2PerSecond - MachineTickRate) / MachineTickRate);
    std::printf("  %-44s %10.1f /s\n", "  LCD frames delivered, asleep", sleep.FramesPerSecond);
    std::printf("  %-44s %12.2f %%\n", "  host time in SHUTDN (at least)", sleep.AsleepPercent);
    if (sleep.Presses > 0) {
        std::printf("  %-44s %10.0f us\n", "6 key press to the ROM's annunciator, median", sleep.KeyMedianMicroseconds);
        std::printf("  %-44s %10.0f us\n", "  99th percentile", sleep.KeyP99Microseconds);
        std::printf("  %-44s %10.0f us\n", "  longest", sleep.KeyMaxMicroseconds);
    }
    std::printf("\n");
    std::printf("BENCH sleep_process_cpu_pct=%.2f\n", sleep.ProcessPercent);
    if (sleep.EngineThreadPercent >= 0)
        std::printf("BENCH sleep_engine_cpu_pct=%.2f\n", sleep.EngineThreadPercent);
    std::printf("BENCH sleep_timer2_hz=%.1f\n", sleep.Timer2PerSecond);
    std::printf("BENCH sleep_timer2_error_pct=%.3f\n", 100 * (sleep.Timer2PerSecond - MachineTickRate) / MachineTickRate);
    std::printf("BENCH sleep_frames_per_s=%.1f\n", sleep.FramesPerSecond);
    if (sleep.Presses > 0) {
        std::printf("BENCH key_median_us=%.0f\n", sleep.KeyMedianMicroseconds);
        std::printf("BENCH key_p99_us=%.0f\n", sleep.KeyP99Microseconds);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options))
        return 2;
    const bench::HostLoad load(options.BusyPerProcessor);
    if (options.BusyPerProcessor) {
        std::printf("host loaded: %d busy threads (%d per processor)\n", load.Threads(), options.BusyPerProcessor);
        std::printf("BENCH busy_threads=%d\n", load.Threads());
    }
    if (options.Running) {
        if (const int failed = PrintRunningFigures(options))
            return failed;
    }
    if (options.Sleeping)
        return PrintSleepingFigures(options);
    return 0;
}
