#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <poll.h>
#include <pty.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/helper/support/transfer_peers.h"

extern char** environ;

namespace test {

namespace {

std::atomic<int> Master{-1};
std::atomic<bool> Ended{true};

// Whether the peer sleeps in a read of its standard input, as the kernel shows it.
bool IsReading(pid_t peer)
{
    std::ifstream in("/proc/" + std::to_string(peer) + "/syscall");
    long number = -1;
    std::string descriptor;
    return in >> number >> descriptor && number == SYS_read && descriptor == "0x0";
}

// Reads until the first quiet poll after the peer's end, so that what it wrote last is delivered too.
void ReadAll(pid_t peer, const std::function<void(uint8_t)>& deliver, bool answerWhenReading)
{
    uint8_t bytes[4096];
    for (bool ended = false; !ended;) {
        ended = Ended.load();
        pollfd ready{Master.load(), POLLIN, 0};
        const ssize_t got = poll(&ready, 1, 10) > 0 ? read(ready.fd, bytes, sizeof bytes) : 0;
        ended = ended && got <= 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(200);
        while (got > 0 && answerWhenReading && !Ended.load() && !IsReading(peer) &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::microseconds(20));
        for (ssize_t i = 0; i < got; ++i)
            deliver(bytes[i]);
    }
}

} // namespace

bool WriteToPeer(const uint8_t* bytes, size_t count)
{
    // The line stays open after the peer has gone, and nobody would drain it.
    while (count > 0 && !Ended.load()) {
        pollfd ready{Master.load(), POLLOUT, 0};
        const ssize_t written = poll(&ready, 1, 10) > 0 ? write(ready.fd, bytes, count) : 0;
        if (written < 0 && errno != EINTR && errno != EAGAIN)
            return false;
        bytes += std::max<ssize_t>(written, 0);
        count -= static_cast<size_t>(std::max<ssize_t>(written, 0));
    }
    return count == 0;
}

PeerRun RunPeer(const std::vector<std::string>& command, const std::function<void(uint8_t)>& deliver,
                const std::function<void()>& begin, bool beginFirst, bool answerWhenReading,
                std::chrono::seconds timeout)
{
    PeerRun run;
    char directory[] = "/tmp/tessock-peer-XXXXXX", terminal[128];
    int master = -1, slave = -1;
    termios raw{};
    // The slave stays open here too, so that the peer's end does not hang up the line and drop what it wrote
    // last; raw before the peer runs, so that early bytes are neither echoed nor translated.
    if (openpty(&master, &slave, terminal, nullptr, nullptr) != 0 || !mkdtemp(directory) ||
        tcgetattr(slave, &raw) != 0) {
        close(master);
        close(slave);
        run.Error = "no pseudo-terminal";
        return run;
    }
    cfmakeraw(&raw);
    tcsetattr(slave, TCSANOW, &raw);
    fcntl(master, F_SETFL, O_NONBLOCK);
    fcntl(master, F_SETFD, FD_CLOEXEC);
    fcntl(slave, F_SETFD, FD_CLOEXEC);
    Master = master;
    Ended = false;
    // A session of its own, whose controlling terminal is its standard input and output.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, terminal, O_RDWR, 0);
    posix_spawn_file_actions_adddup2(&actions, 0, 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, directory);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::vector<char*> arguments;
    for (const std::string& argument : command)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    if (beginFirst)
        begin();
    pid_t peer = -1;
    const int spawned = posix_spawnp(&peer, arguments[0], &actions, &attributes, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    run.Started = spawned == 0;
    run.Error = command[0] + " does not start: " + std::strerror(spawned) + " (tools/install-deps.sh installs it)";
    if (run.Started) {
        std::thread reader(ReadAll, peer, std::cref(deliver), answerWhenReading);
        if (!beginFirst)
            begin();
        int status = 0;
        pid_t ended = 0;
        while ((ended = waitpid(peer, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < start + timeout)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (ended == 0 && kill(-peer, SIGKILL) == 0)
            waitpid(peer, nullptr, 0);
        run.ExitStatus = ended > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        run.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        Ended = true;
        reader.join();
        std::ifstream in(std::string(directory) + "/FOO", std::ios::binary);
        run.File.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        run.Error = in ? "" : "the peer left no file FOO";
    }
    Ended = true;
    close(master);
    close(slave);
    std::error_code ignored;
    std::filesystem::remove_all(directory, ignored);
    return run;
}

} // namespace test
