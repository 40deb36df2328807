// What one emulated instruction costs the host, per workload: host
// instructions (Ir) counted by callgrind, which do not depend on what else
// the machine is doing, and instructions per second by the wall clock.
//
//   instruction_cost            Ir per emulated instruction of every workload,
//                               through KVExecuteRoutine and under KVRun (it
//                               runs itself under callgrind, one workload at a
//                               time)
//   instruction_cost --wall S [SETTLE]
//                               instructions per second of every workload, each
//                               timed for about S seconds in both modes (under
//                               KVRun after SETTLE seconds of settling, 3 by
//                               default); through KVExecuteRoutine also per
//                               second of this thread's processor time, which a
//                               loaded host changes less
//
// Callgrind counts only inside KVExecuteRoutine, or inside the execution
// thread's instruction loop under KVRun, so the figures leave out setting up
// and the slices' waiting. Every workload is a loop whose passes D counts down
// (the benchmark's own program counts them in RAM); how many instructions a
// pass and the routine's entry and exit take is found by stepping them.
#include <atomic>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "korvane.h"
#include "loop_program.h"
#include "tests/support/program.h"

namespace {

using namespace bench;
using Clock = std::chrono::steady_clock;

constexpr uint32_t RegD = KV_REG_A_LOW + 2 * 3;
constexpr uint32_t ListOrigin = 0x30000;

// A loop of ten: field arithmetic on A, B, X and W; D counts the passes.
test::Program ArithmeticLoop()
{
    test::Program p(CodeOrigin);
    p.label("routine")
        .label("run")
        .op("C0")  // A=A+B A
        .op("C2")  // C=C+A A
        .op("E5")  // B=B+1 A
        .op("A62") // C=C+A B
        .op("A30") // A=A+B X
        .op("D8")  // B=A A
        .op("CE")  // C=C-1 A
        .op("C4")  // A=A+A A
        .op("A7F") // D=D-1 W
        .gonc("run")
        .rtn();
    return p;
}

// Data transfers through D0 and D1 on fields A, B and W, field arithmetic,
// status bits, GOYES taken and not, GOSUB/RTN.
test::Program MemoryMix()
{
    test::Program p(CodeOrigin);
    p.label("routine")
        .label("run")
        .d0(RamBase + 0x100)
        .d1(RamBase + 0x200)
        .op("142")  // A=DAT0 A
        .op("14F")  // C=DAT1 B
        .op("1517") // DAT1=A W
        .op("1567") // C=DAT0 W
        .op("CA")   // A=A+C A
        .op("14C")  // DAT0=C B
        .op("B35")  // B=B+1 X
        .op("853")  // ST=1 3
        .op("873")  // ?ST=1 3
        .goyes("set")
        .op("D2") // C=0 A, skipped
        .label("set")
        .op("843") // ST=0 3
        .op("873") // ?ST=1 3
        .goyes("never")
        .gosub("sub")
        .op("A7F") // D=D-1 W
        .gonc("run")
        .rtn();
    p.label("sub").op("E6").rtn(); // C=C+1 A
    p.label("never").goto_("never");
    return p;
}

// Threaded code as an RPL inner loop runs it: D0 walks a list of objects,
// each starting with the address of its code, and every primitive ends with
// A=DAT0 A, D0=D0+5, PC=(A).
test::Program ThreadedLoop()
{
    test::Program p(CodeOrigin);
    auto next = [&p]() -> test::Program& {
        return p.op("142")  // A=DAT0 A
            .op("164")      // D0=D0+ 5
            .op("808C");    // PC=(A)
    };
    p.label("routine").d0(ListOrigin);
    next();
    p.label("count").imm(p.here() + 5, 5).op("E6"); // C=C+1 A
    next();
    p.label("sum").imm(p.here() + 5, 5).op("C0").op("B35"); // A=A+B A, B=B+1 X
    next();
    p.label("again").imm(p.here() + 5, 5).label("run").op("A7F").goc("done").d0(ListOrigin);
    next();
    p.label("done").rtn();
    return p;
}

// The bank switcher in page 0x7E; its address bits 5-6 pick the low bank and
// 1-4 the high one, whatever is written.
constexpr uint32_t SwitcherPage = 0x7E000;
constexpr uint32_t Switcher(uint32_t low, uint32_t high)
{
    return SwitcherPage | low << 5 | high << 1;
}

// A one-nibble write to the bank switcher per pass, each selecting the banks
// already there, or two that change the high bank back and forth. The
// countdown alone is what a pass costs besides the writes.
test::Program BankWrites(unsigned writes)
{
    test::Program p(CodeOrigin);
    p.label("routine").d0(Switcher(0, writes == 2 ? 1 : 0)).d1(Switcher(0, 2)).label("run");
    if (writes >= 1)
        p.op("1580"); // DAT0=A 1
    if (writes >= 2)
        p.op("1590"); // DAT1=A 1
    p.op("A7F").gonc("run").rtn(); // D=D-1 W
    return p;
}

struct Workload {
    const char* Name;
    const char* Title;
    test::Program Code;
    bool CountedInRam;      // the benchmark's own program; the others count in D
    test::Program Data{};   // more nibbles for the ROM
    unsigned BankWrites = 0; // per pass, in HP 49G mode with the bank switcher configured
    bool Banked = false;
};

// The threaded loop's list: count, sum, count, sum, count, again.
test::Program ThreadedList(const test::Program& code)
{
    test::Program list(ListOrigin);
    for (const char* name : {"count", "sum", "count", "sum", "count", "again"})
        list.imm(code.at(name), 5);
    return list;
}

std::vector<Workload> Workloads()
{
    const test::Program threaded = ThreadedLoop();
    return {{"bench", "korvane_bench's program", BuildProgram(), true},
            {"arith", "10-instruction arithmetic loop", ArithmeticLoop(), false},
            {"memory", "D0/D1 transfers, tests, GOSUB, ST", MemoryMix(), false},
            {"threaded", "threaded code (A=DAT0 A; D0=D0+5; PC=(A))", threaded, false, ThreadedList(threaded)}};
}

// The bank switcher's figures: Ir per write, less what the countdown costs.
std::vector<Workload> BankWorkloads()
{
    return {{"countdown", "countdown alone", BankWrites(0), false, test::Program(), 0, true},
            {"bankstay", "bank switcher write, no bank changes", BankWrites(1), false, test::Program(), 1, true},
            {"bankswitch", "bank switcher write, the high bank changes", BankWrites(2), false, test::Program(), 2, true}};
}

// KVStop gives up waiting after a while; on a loaded host the execution
// thread may take longer to see the stop, and the next set-up must not run
// beside it.
void StopForSure()
{
    do {
        KVStop();
    } while (KVIsRunning());
}

class Machine {
public:
    explicit Machine(const Workload& w)
        : Load(w), Rom(KV_ROM_NIBBLES + KV_BUFFER_SLACK, 0), Ram(RamNibbles + KV_BUFFER_SLACK, 0)
    {
        for (const test::Program* program : {&w.Code, &w.Data})
            for (const test::Program::Placed& nibble : program->build())
                Rom[nibble.Address] = nibble.Byte;
        StopForSure();
        KVConfigure(KV_CONFIG_HP49, w.Banked ? 1 : 0);
        KVMemoryReset();
        KVMemoryConfig(IoBase);
        KVMemoryConfig(RamSizeMask);
        KVMemoryConfig(RamBase);
        if (w.Banked) {
            KVMemoryConfig(0xFF000);
            KVMemoryConfig(SwitcherPage);
        }
        KVSetMemoryModule(KV_MODULE_ROM, Rom.data(), KV_ROM_NIBBLES - 1);
        KVSetMemoryModule(KV_MODULE_RAM, Ram.data(), RamNibbles - 1);
        // Hexadecimal mode, whatever the last workload was stopped in.
        KVSetRegister(KV_REG_FLAGS, 0);
        if (w.CountedInRam)
            KVExecuteRoutine(w.Code.at("init"));
    }

    ~Machine()
    {
        StopForSure();
        KVSetMemoryModule(KV_MODULE_RAM, nullptr, 0);
        KVSetMemoryModule(KV_MODULE_ROM, nullptr, 0);
    }

    // Passes made so far: the benchmark's count in RAM, or how far D has
    // come down from where SetPasses or StartEndless put it.
    uint64_t Passes() const
    {
        if (Load.CountedInRam)
            return ReadCell(IterationCell);
        return Start - ReadD();
    }

    // The same read while the execution thread writes what it reads: repeated
    // until two agree, since a value may be read half old, half new.
    uint64_t PassesWhileRunning() const
    {
        uint64_t last = Passes();
        for (;;) {
            const uint64_t again = Passes();
            if (again == last)
                return again;
            last = again;
        }
    }

    void SetPasses(uint64_t passes)
    {
        if (Load.CountedInRam) {
            WriteCell(RoutineCountCell, passes - 1);
        } else {
            WriteD(passes - 1);
            Start = passes - 1;
        }
    }

    void StartEndless()
    {
        if (!Load.CountedInRam) {
            WriteD(~uint64_t{0} >> 1);
            Start = ~uint64_t{0} >> 1;
        }
        KVSetRegister(KV_REG_PC, Load.Code.at("run"));
    }

    void Routine() { KVExecuteRoutine(Load.Code.at("routine")); }

    // Instructions of a routine run of the given passes, by stepping it to
    // its return.
    uint64_t SteppedRoutine(uint64_t passes)
    {
        constexpr uint32_t Return = 0x7FFF0;
        SetPasses(passes);
        KVRstkPush(Return);
        KVSetRegister(KV_REG_PC, Load.Code.at("routine"));
        uint64_t steps = 0;
        while (KVGetRegister(KV_REG_PC) != Return && steps < 100000) {
            KVStep();
            ++steps;
        }
        return steps;
    }

    // Instructions of one pass of the endless loop.
    uint64_t SteppedPass()
    {
        StartEndless();
        const uint32_t run = Load.Code.at("run");
        uint64_t steps = 0;
        do {
            KVStep();
            ++steps;
        } while (KVGetRegister(KV_REG_PC) != run && steps < 100000);
        return steps;
    }

private:
    uint64_t ReadD() const { return uint64_t{KVGetRegister(RegD + 1)} << 32 | KVGetRegister(RegD); }

    void WriteD(uint64_t value)
    {
        KVSetRegister(RegD, static_cast<uint32_t>(value));
        KVSetRegister(RegD + 1, static_cast<uint32_t>(value >> 32));
    }

    uint64_t ReadCell(uint32_t address) const
    {
        uint64_t value = 0;
        for (unsigned k = 16; k-- > 0;)
            value = value << 4 | (std::atomic_ref<const uint8_t>(Ram[address - RamBase + k]).load(std::memory_order_relaxed) & 15);
        return value;
    }

    void WriteCell(uint32_t address, uint64_t value)
    {
        for (unsigned k = 0; k < 16; ++k)
            Ram[address - RamBase + k] = static_cast<uint8_t>((value >> (4 * k)) & 15);
    }

    const Workload& Load;
    std::vector<uint8_t> Rom;
    std::vector<uint8_t> Ram;
    uint64_t Start = 0;
};

struct Shape {
    uint64_t PerPass;      // instructions of one routine pass
    uint64_t RoutineFixed; // the routine's entry and exit
    uint64_t RunPerPass;   // instructions of one pass of the endless loop
};

Shape Measure(Machine& m)
{
    const uint64_t one = m.SteppedRoutine(1);
    const uint64_t two = m.SteppedRoutine(2);
    return {two - one, one - (two - one), m.SteppedPass()};
}

const Workload* Find(const std::vector<Workload>& all, const std::string& name)
{
    for (const Workload& w : all)
        if (name == w.Name)
            return &w;
    return nullptr;
}

// The counted child: runs one workload in one mode and prints how many
// instructions it ran.
int RunCounted(const Workload& w, const std::string& mode)
{
    Machine m(w);
    const Shape shape = Measure(m);
    if (mode == "routine") {
        constexpr uint64_t Passes = 100000;
        m.SetPasses(Passes);
        m.Routine();
        std::printf("instructions %" PRIu64 "\npasses %" PRIu64 "\n", shape.RoutineFixed + Passes * shape.PerPass,
                    Passes);
        return 0;
    }
    m.StartEndless();
    const uint64_t before = m.Passes();
    KVRun();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    StopForSure();
    std::printf("instructions %" PRIu64 "\n", (m.Passes() - before) * shape.RunPerPass);
    return 0;
}

// Runs this program under callgrind for one workload and mode and returns
// the Ir counted, with the instructions the child reports.
struct Count {
    double PerInstruction;
    double PerPass;
};

bool CountUnderCallgrind(const char* self, const Workload& w, const char* mode, Count& count)
{
    char outFile[] = "/tmp/instruction_cost.XXXXXX";
    const int fd = mkstemp(outFile);
    if (fd < 0)
        return false;
    close(fd);
    const std::string command = std::string("valgrind --tool=callgrind --callgrind-out-file=") + outFile +
                                (std::strcmp(mode, "routine") == 0 ? " --toggle-collect=KVExecuteRoutine"
                                                                   : " '--toggle-collect=*RunInstructions*'") +
                                " " + self + " --count " + w.Name + " " + mode + " 2>/dev/null";
    FILE* child = popen(command.c_str(), "r");
    if (!child)
        return false;
    uint64_t instructions = 0, passes = 0;
    char line[256];
    while (std::fgets(line, sizeof line, child)) {
        std::sscanf(line, "instructions %" SCNu64, &instructions);
        std::sscanf(line, "passes %" SCNu64, &passes);
    }
    const int status = pclose(child);
    uint64_t ir = 0;
    std::ifstream out(outFile);
    std::string text;
    while (std::getline(out, text))
        if (text.rfind("summary:", 0) == 0 || text.rfind("totals:", 0) == 0)
            ir = std::strtoull(text.c_str() + text.find(':') + 1, nullptr, 10);
    std::remove(outFile);
    if (status != 0 || instructions == 0 || ir == 0)
        return false;
    count.PerInstruction = static_cast<double>(ir) / static_cast<double>(instructions);
    count.PerPass = passes ? static_cast<double>(ir) / static_cast<double>(passes) : 0;
    return true;
}

int PrintIr(const char* self)
{
    if (std::system("valgrind --version >/dev/null 2>&1") != 0) {
        std::fprintf(stderr, "valgrind is not installed\n");
        return 1;
    }
    std::printf("host instructions (Ir, callgrind) per emulated instruction\n\n");
    std::printf("  %-44s %10s %10s\n", "workload", "routine", "KVRun");
    for (const Workload& w : Workloads()) {
        Count routine{}, run{};
        if (!CountUnderCallgrind(self, w, "routine", routine) || !CountUnderCallgrind(self, w, "run", run)) {
            std::fprintf(stderr, "callgrind did not count %s\n", w.Name);
            return 1;
        }
        std::printf("  %-44s %10.1f %10.1f\n", w.Title, routine.PerInstruction, run.PerInstruction);
        std::printf("BENCH ir_%s_routine=%.2f\nBENCH ir_%s_run=%.2f\n", w.Name, routine.PerInstruction, w.Name,
                    run.PerInstruction);
        std::fflush(stdout);
    }
    std::printf("\nIr per bank switcher write (HP 49G mode, KVExecuteRoutine)\n\n");
    double countdown = 0;
    for (const Workload& w : BankWorkloads()) {
        Count routine{};
        if (!CountUnderCallgrind(self, w, "routine", routine)) {
            std::fprintf(stderr, "callgrind did not count %s\n", w.Name);
            return 1;
        }
        if (w.BankWrites == 0) {
            countdown = routine.PerPass;
            continue;
        }
        const double perWrite = (routine.PerPass - countdown) / w.BankWrites;
        std::printf("  %-44s %10.0f\n", w.Title, perWrite);
        std::printf("BENCH ir_%s_write=%.0f\n", w.Name, perWrite);
    }
    return 0;
}

double ThreadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

int PrintWall(double seconds, double settle)
{
    std::printf("emulated instructions per second (M/s)\n\n");
    std::printf("  %-44s %10s %10s %10s\n", "workload", "routine", "(by CPU)", "KVRun");
    for (const Workload& w : Workloads()) {
        Machine m(w);
        const Shape shape = Measure(m);
        // A short run tells how many passes fill the time; the best of three counts.
        m.SetPasses(20000);
        Clock::time_point start = Clock::now();
        m.Routine();
        const double probe = std::chrono::duration<double>(Clock::now() - start).count();
        const uint64_t passes = static_cast<uint64_t>(seconds / 3 / (probe / 20000)) + 1000;
        double routine = 0, routineCpu = 0;
        for (int round = 0; round < 3; ++round) {
            m.SetPasses(passes);
            start = Clock::now();
            const double cpuStart = ThreadSeconds();
            m.Routine();
            const double cpu = ThreadSeconds() - cpuStart;
            const double took = std::chrono::duration<double>(Clock::now() - start).count();
            const double instructions = static_cast<double>(shape.RoutineFixed + passes * shape.PerPass);
            routine = instructions / took > routine ? instructions / took : routine;
            routineCpu = instructions / cpu > routineCpu ? instructions / cpu : routineCpu;
        }
        // Under KVRun the instructions per slice grow by one a slice from a
        // stop on: the window starts once they have grown for settle seconds.
        m.StartEndless();
        KVRun();
        std::this_thread::sleep_for(std::chrono::duration<double>(settle));
        const uint64_t before = m.PassesWhileRunning();
        start = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const uint64_t after = m.PassesWhileRunning();
        const double took = std::chrono::duration<double>(Clock::now() - start).count();
        StopForSure();
        const double run = static_cast<double>((after - before) * shape.RunPerPass) / took;
        std::printf("  %-44s %10.1f %10.1f %10.1f\n", w.Title, routine / 1e6, routineCpu / 1e6, run / 1e6);
        std::printf("BENCH ips_%s_routine=%.0f\nBENCH ips_%s_routine_cpu=%.0f\nBENCH ips_%s_run=%.0f\n", w.Name,
                    routine, w.Name, routineCpu, w.Name, run);
        std::fflush(stdout);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<Workload> all = Workloads();
    for (Workload& w : BankWorkloads())
        all.push_back(std::move(w));
    if (argc == 4 && std::strcmp(argv[1], "--count") == 0) {
        const Workload* w = Find(all, argv[2]);
        const std::string mode = argv[3];
        if (!w || (mode != "routine" && mode != "run"))
            return 2;
        return RunCounted(*w, mode);
    }
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--wall") == 0) {
        double values[2] = {0, 3};
        for (int i = 2; i < argc; ++i) {
            char* end = nullptr;
            values[i - 2] = std::strtod(argv[i], &end);
            if (end == argv[i] || *end != '\0' || !(values[i - 2] >= 0) || values[i - 2] > 600)
                return 2;
        }
        if (!(values[0] > 0))
            return 2;
        return PrintWall(values[0], values[1]);
    }
    if (argc != 1) {
        std::fprintf(stdout, "usage: %s [--wall SECONDS [SETTLE]]\n", argv[0]);
        return argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) ? 0 : 2;
    }
    // The shell that starts callgrind would read /proc/self/exe as itself.
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0)
        return 1;
    self[length] = '\0';
    return PrintIr(self);
}
