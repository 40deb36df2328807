#include "host_probes.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <csignal>
#include <sstream>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace bench {

EngineThreadStats::EngineThreadStats()
{
    const long self = syscall(SYS_gettid);
    if (DIR* tasks = opendir("/proc/self/task")) {
        while (const dirent* entry = readdir(tasks)) {
            const long id = std::strtol(entry->d_name, nullptr, 10);
            if (id > 0 && id != self)
                Path = "/proc/self/task/" + std::to_string(id);
        }
        closedir(tasks);
    }
}

namespace {

// The first two fields of schedstat: time on a processor and time waiting
// for one, in nanoseconds.
bool ReadSchedstat(const std::string& path, double& running, double& waiting)
{
    std::ifstream file(path + "/schedstat");
    return !path.empty() && (file >> running >> waiting);
}

} // namespace

double EngineThreadStats::WaitNanoseconds() const
{
    double running = 0;
    double waiting = 0;
    return ReadSchedstat(Path, running, waiting) ? waiting : -1;
}

double EngineThreadStats::RunNanoseconds() const
{
    double running = 0;
    double waiting = 0;
    return ReadSchedstat(Path, running, waiting) ? running : -1;
}

int EngineThreadStats::Processor() const
{
    // The processor is field 39 of stat, counted after the command name,
    // which ends at the last parenthesis.
    std::ifstream file(Path + "/stat");
    std::string line;
    if (Path.empty() || !std::getline(file, line))
        return -1;
    const size_t close = line.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    for (int index = 3; index <= 39 && fields >> field; ++index) {
        if (index == 39)
            return std::atoi(field.c_str());
    }
    return -1;
}

namespace {

[[noreturn]] void Spin()
{
    volatile uint64_t x = 1;
    for (;;)
        x = x * 6364136223846793005ull + 1442695040888963407ull;
}

} // namespace

HostLoad::HostLoad(int threadsPerProcessor)
{
    Count = threadsPerProcessor * static_cast<int>(std::thread::hardware_concurrency());
    if (Count <= 0)
        return;
    const pid_t parent = getpid();
    Child = fork();
    if (Child != 0)
        return;
    // The child: it dies with the benchmark, however that ends.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(0);
    for (int i = 1; i < Count; ++i)
        std::thread(Spin).detach();
    Spin();
}

HostLoad::~HostLoad()
{
    if (Child <= 0)
        return;
    kill(Child, SIGKILL);
    waitpid(Child, nullptr, 0);
}

HostSteadiness MeasureHostSteadiness(double seconds, double tickRate)
{
    using Clock = std::chrono::steady_clock;
    // The step count passes through a volatile, so the work is done at run
    // time whatever the compiler knows.
    volatile uint64_t sink = 0;
    auto work = [&sink](uint64_t steps) {
        uint64_t x = sink;
        for (uint64_t i = 0; i < steps; ++i)
            x = x * 6364136223846793005ull + 1442695040888963407ull;
        sink = x;
    };
    volatile uint64_t calibration = 1000000;
    const Clock::time_point probeStart = Clock::now();
    work(calibration);
    const double perStep = std::chrono::duration<double>(Clock::now() - probeStart).count() / calibration;
    const uint64_t steps = static_cast<uint64_t>(1.0 / tickRate / perStep);
    std::vector<double> pieces;
    const Clock::time_point end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    do {
        const Clock::time_point start = Clock::now();
        work(steps);
        pieces.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    } while (Clock::now() < end);
    std::sort(pieces.begin(), pieces.end());
    const double median = pieces[pieces.size() / 2];
    return {median, pieces[pieces.size() * 9 / 10] / median - 1, pieces[pieces.size() * 99 / 100] / median - 1};
}

} // namespace bench
