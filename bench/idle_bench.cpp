// What the whole program costs while the calculator sleeps: the real
// pelrin, started as a person starts it (a working directory with the
// demonstration ROM and the generated skin) on an Xvfb server of this
// benchmark's own, left alone until the ROM sleeps between its clock's
// ticks, and then watched through /proc for --measure seconds:
//
//   - processor time of the whole process, as a share of one core, and of
//     each thread (schedstat, in nanoseconds);
//   - write system calls per second of the GUI thread: its requests to the
//     X server and its own wake-ups;
//   - the X server's processor time over the same window: what the
//     program's drawing costs it.
//
// Several programs given on the command line (a build of an older source
// beside this one) are measured in turn, round after round, so that the
// machine's load falls on all of them alike; the table gives each one's
// median. The threads are named in the order they start: the main (GUI)
// thread, the engine's execution thread and the display renderer's thread
// (started when the two libraries load), then Qt's and the serial reader.
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "figures.h"
#include "tests/support/xvfb_server.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

struct Options : bench::RoundOptions {
    Options() : RoundOptions{3, 20, 1} {}
    std::vector<std::string> Programs;
};

bool ParseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        if (name == "--help" || name == "-h") {
            std::printf("usage: %s [--settle S] [--measure S] [--rounds N] [PROGRAM...]\n"
                        "  --settle S   seconds after the window shows before measuring (default 3)\n"
                        "  --measure S  seconds measured (default 20)\n"
                        "  --rounds N   rounds over the programs, in turn (default 1)\n"
                        "  PROGRAM      pelrin executables to compare (default: this build's)\n",
                        argv[0]);
            std::exit(0);
        }
        if (name.rfind("--", 0) != 0) {
            // The program runs in a directory of its own.
            options.Programs.push_back(fs::absolute(name).string());
            continue;
        }
        if (i + 1 >= argc || !ReadRoundOption(name, argv[++i], options))
            return false;
    }
    if (options.Programs.empty())
        options.Programs.push_back(PELRIN_PROGRAM);
    return options.Rounds >= 1;
}

// One thread as /proc shows it.
struct ThreadSample {
    std::string Name;
    double RunNanoseconds = 0;
    double Writes = 0;
};

std::string ReadFirstLine(const std::string& path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// Every thread of the process, by thread id (creation order).
std::map<long, ThreadSample> SampleThreads(pid_t pid)
{
    std::map<long, ThreadSample> threads;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task/";
    DIR* dir = opendir(tasks.c_str());
    if (!dir)
        return threads;
    while (const dirent* entry = readdir(dir)) {
        const long id = std::strtol(entry->d_name, nullptr, 10);
        if (id <= 0)
            continue;
        const std::string path = tasks + entry->d_name;
        ThreadSample& sample = threads[id];
        sample.Name = ReadFirstLine(path + "/comm");
        std::ifstream schedstat(path + "/schedstat");
        schedstat >> sample.RunNanoseconds;
        std::ifstream io(path + "/io");
        for (std::string key; io >> key;) {
            if (key == "syscw:")
                io >> sample.Writes;
        }
    }
    closedir(dir);
    return threads;
}

double ProcessNanoseconds(pid_t pid)
{
    double total = 0;
    for (const auto& [id, sample] : SampleThreads(pid))
        total += sample.RunNanoseconds;
    return total;
}

// A child that ends with this benchmark's end at the latest.
class Child {
public:
    ~Child() { Stop(); }
    // The child inherits every descriptor not marked close-on-exec (the
    // server its pipe).
    bool Start(const std::vector<std::string>& arguments, const std::string& directory = {})
    {
        Pid = fork();
        if (Pid == 0) {
            if (!directory.empty() && chdir(directory.c_str()) != 0)
                _exit(127);
            std::vector<char*> argv;
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            // Quiet: Qt's and the server's notices would fill the table.
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            execvp(argv[0], argv.data());
            _exit(127);
        }
        return Pid > 0;
    }
    void Stop()
    {
        if (Pid <= 0)
            return;
        kill(Pid, SIGTERM);
        for (int i = 0; i < 500; ++i) {
            if (waitpid(Pid, nullptr, WNOHANG) == Pid) {
                Pid = -1;
                return;
            }
            std::this_thread::sleep_for(10ms);
        }
        kill(Pid, SIGKILL);
        waitpid(Pid, nullptr, 0);
        Pid = -1;
    }
    pid_t Id() const { return Pid; }

private:
    pid_t Pid = -1;
};

bool WindowShows()
{
    // xdotool waits for the window itself; the limit is for a program that
    // never shows one.
    const int status = std::system("timeout 60 xdotool search --sync --onlyvisible --name "
                                   "'^Korvane User Interface$' >/dev/null 2>&1");
    return status == 0;
}

struct Figures {
    double ProcessPercent = 0;
    double ServerPercent = 0;
    double GuiWritesPerSecond = 0;
    std::vector<std::pair<std::string, double>> Threads; // label, % of a core
};

bool MeasureProgram(const std::string& program, const Options& options, pid_t server, Figures& figures)
{
    const fs::path dir = fs::temp_directory_path() / ("pelrin-idle-" + std::to_string(getpid()));
    std::error_code error;
    fs::remove_all(dir, error);
    fs::create_directories(dir);
    fs::copy_file(DEMO_ROM_IMAGE, dir / "ROM.E49");
    fs::copy_file(PELRIN_SKIN_PATH, dir / "HP49.BMP");

    Child pelrin;
    const bool shown = pelrin.Start({program}, dir.string()) && WindowShows();
    if (shown) {
        std::this_thread::sleep_for(std::chrono::duration<double>(options.SettleSeconds));
        const auto before = SampleThreads(pelrin.Id());
        const double serverBefore = ProcessNanoseconds(server);
        const Clock::time_point start = Clock::now();
        std::this_thread::sleep_for(std::chrono::duration<double>(options.MeasureSeconds));
        const auto after = SampleThreads(pelrin.Id());
        const double serverAfter = ProcessNanoseconds(server);
        const double window = std::chrono::duration<double>(Clock::now() - start).count();
        const auto percent = [&](double nanoseconds) { return 100 * nanoseconds / 1e9 / window; };

        const char* labels[] = {"main (GUI)", "execution", "display renderer"};
        size_t ours = 0;
        for (const auto& [id, sample] : after) {
            const auto earlier = before.find(id);
            const ThreadSample first = earlier == before.end() ? ThreadSample{} : earlier->second;
            const double run = sample.RunNanoseconds - first.RunNanoseconds;
            figures.ProcessPercent += percent(run);
            std::string label = sample.Name;
            if (id == pelrin.Id()) {
                label = labels[0];
                figures.GuiWritesPerSecond = (sample.Writes - first.Writes) / window;
            } else if (sample.Name == fs::path(program).filename().string().substr(0, 15) && ++ours < 3) {
                label = labels[ours];
            }
            figures.Threads.emplace_back(label, percent(run));
        }
        figures.ServerPercent = percent(serverAfter - serverBefore);
    }
    pelrin.Stop();
    fs::remove_all(dir, error);
    return shown;
}

} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr, "bad option; --help lists them\n");
        return 2;
    }
    const test::XvfbServer server;
    const std::string& display = server.Display();
    if (display.empty()) {
        std::fprintf(stderr, "Xvfb did not start (tools/install-deps.sh --tests installs it)\n");
        return 1;
    }
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);

    std::printf("pelrin asleep: %.0f s measured after %.0f s, %d round(s), on Xvfb %s\n", options.MeasureSeconds,
                options.SettleSeconds, options.Rounds, display.c_str());
    std::vector<std::vector<Figures>> runs(options.Programs.size());
    for (int round = 0; round < options.Rounds; ++round) {
        for (size_t p = 0; p < options.Programs.size(); ++p) {
            Figures figures;
            if (!MeasureProgram(options.Programs[p], options, server.Id(), figures)) {
                std::fprintf(stderr, "%s showed no window (xdotool looks for it)\n", options.Programs[p].c_str());
                return 1;
            }
            std::printf("  round %d, program %zu: process %.2f%%, X server %.2f%%, GUI writes %.1f/s; threads:",
                        round + 1, p + 1, figures.ProcessPercent, figures.ServerPercent, figures.GuiWritesPerSecond);
            for (const auto& [label, share] : figures.Threads)
                if (share >= 0.005)
                    std::printf(" %s %.2f%%", label.c_str(), share);
            std::printf("\n");
            runs[p].push_back(figures);
        }
    }

    std::printf("\n%-8s %10s %8s %9s %11s %13s  %s\n", "program", "process %", "GUI %", "engine %", "X server %",
                "GUI writes/s", "path");
    std::string bench;
    for (size_t p = 0; p < options.Programs.size(); ++p) {
        std::vector<double> process, gui, engine, server, writes;
        for (const Figures& f : runs[p]) {
            process.push_back(f.ProcessPercent);
            server.push_back(f.ServerPercent);
            writes.push_back(f.GuiWritesPerSecond);
            for (const auto& [label, share] : f.Threads) {
                if (label == "main (GUI)")
                    gui.push_back(share);
                else if (label == "execution")
                    engine.push_back(share);
            }
        }
        const double median[] = {bench::Median(process), bench::Median(gui), bench::Median(engine),
                                 bench::Median(server), bench::Median(writes)};
        std::printf("%-8zu %10.2f %8.2f %9.2f %11.2f %13.1f  %s\n", p + 1, median[0], median[1], median[2], median[3],
                    median[4], options.Programs[p].c_str());
        const std::string key = options.Programs.size() == 1 ? "" : "_" + std::to_string(p + 1);
        char lines[512];
        std::snprintf(lines, sizeof lines,
                      "BENCH idle_process_percent%s=%.3f\nBENCH idle_gui_thread_percent%s=%.3f\n"
                      "BENCH idle_engine_thread_percent%s=%.3f\nBENCH idle_x_server_percent%s=%.3f\n"
                      "BENCH idle_gui_writes_per_second%s=%.1f\n",
                      key.c_str(), median[0], key.c_str(), median[1], key.c_str(), median[2], key.c_str(), median[3],
                      key.c_str(), median[4]);
        bench += lines;
    }
    std::printf("\n%s", bench.c_str());
    return 0;
}
