#include "tests/helper/support/pty_peer.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <poll.h>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

extern char** environ;

namespace test {

std::string FindProgram(const std::string& name)
{
    const char* path = std::getenv("PATH");
    std::string directories = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= directories.size()) {
        const size_t end = std::min(directories.find(':', start), directories.size());
        const std::string candidate = directories.substr(start, end - start) + "/" + name;
        if (end > start && access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

bool PtyPeer::start(const std::vector<std::string>& command, std::function<void(uint8_t)> deliver)
{
    const std::string program = FindProgram(command.at(0));
    if (program.empty()) {
        Error = command[0] + " is not installed (tools/install-deps.sh installs it)";
        return false;
    }
    char directory[] = "/tmp/tessock-peer-XXXXXX";
    if (!mkdtemp(directory)) {
        Error = "no temporary directory";
        return false;
    }
    Directory = directory;

    // Non-blocking: the reader and the writers poll, and stop once the
    // peer has ended.
    Master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    char slaveName[128];
    if (Master < 0 || grantpt(Master) != 0 || unlockpt(Master) != 0 || ptsname_r(Master, slaveName, sizeof slaveName) != 0) {
        Error = "no pseudo-terminal";
        return false;
    }
    // Raw before the peer runs: bytes that come before it sets the line up
    // itself are neither echoed nor translated.
    Slave = open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    if (Slave < 0 || tcgetattr(Slave, &raw) != 0) {
        Error = "the pseudo-terminal's slave does not open";
        return false;
    }
    cfmakeraw(&raw);
    tcsetattr(Slave, TCSANOW, &raw);

    // A session of its own whose controlling terminal is the slave, which
    // is its standard input and output.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, slaveName, O_RDWR, 0);
    posix_spawn_file_actions_adddup2(&actions, 0, 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addchdir_np(&actions, Directory.c_str());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    std::vector<char*> arguments;
    for (const std::string& argument : command)
        arguments.push_back(const_cast<char*>(argument.c_str()));
    arguments.push_back(nullptr);
    const int spawned = posix_spawn(&Child, program.c_str(), &actions, &attributes, arguments.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        Child = -1;
        Error = program + " does not start";
        return false;
    }
    Spawned = Child;
    Reader = std::thread([this, deliver = std::move(deliver)] { readAll(deliver); });
    return true;
}

// Whether the peer sleeps in a read of its standard input: the kernel
// shows the system call a blocked task is in, with its arguments.
bool PtyPeer::peerIsReading() const
{
    std::ifstream in("/proc/" + std::to_string(Spawned) + "/syscall");
    long number = -1;
    std::string descriptor;
    return in >> number >> descriptor && number == SYS_read && descriptor == "0x0";
}

void PtyPeer::readAll(std::function<void(uint8_t)> deliver)
{
    uint8_t bytes[4096];
    for (;;) {
        // Once the peer has ended, what it wrote last is read before the
        // reader stops: it stops at the first quiet poll after the end.
        const bool ended = Exited.load();
        pollfd ready{Master, POLLIN, 0};
        const int polled = poll(&ready, 1, 10);
        if (polled < 0 && errno != EINTR)
            return;
        if (polled <= 0) {
            if (ended)
                return;
            continue;
        }
        const ssize_t got = read(Master, bytes, sizeof bytes);
        if (got < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (got <= 0)
            return;
        if (AnswerWhenReading && !ended) {
            // The peer wrote this, so any read it sleeps in from now on
            // comes after whatever it did in between (rx: the flush).
            const auto deadline = std::chrono::steady_clock::now() + ReadingWait;
            while (!peerIsReading() && !Exited.load() && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::microseconds(20));
        }
        for (ssize_t i = 0; i < got; ++i)
            deliver(bytes[i]);
    }
}

bool PtyPeer::write(const uint8_t* bytes, size_t count)
{
    while (count > 0) {
        // The line stays open after the peer has gone: nobody would ever
        // drain it, so a write then fails rather than wait.
        if (Exited.load())
            return false;
        pollfd ready{Master, POLLOUT, 0};
        if (poll(&ready, 1, 10) <= 0)
            continue;
        const ssize_t written = ::write(Master, bytes, count);
        if (written < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

int PtyPeer::wait(std::chrono::milliseconds timeout)
{
    if (Child < 0)
        return -1;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(Child, &status, WNOHANG);
        if (ended == Child)
            break;
        if (ended < 0 || std::chrono::steady_clock::now() > deadline) {
            kill();
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Child = -1;
    Exited.store(true);
    if (Reader.joinable())
        Reader.join();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void PtyPeer::kill()
{
    if (Child > 0) {
        ::kill(-Child, SIGKILL);
        ::kill(Child, SIGKILL);
        waitpid(Child, nullptr, 0);
        Child = -1;
    }
    Exited.store(true);
    if (Reader.joinable())
        Reader.join();
}

bool PtyPeer::hasFile(const std::string& name) const
{
    return !Directory.empty() && std::filesystem::exists(Directory + "/" + name);
}

std::vector<uint8_t> PtyPeer::file(const std::string& name)
{
    std::ifstream in(Directory + "/" + name, std::ios::binary);
    if (!in) {
        Error = "the peer left no file " + name;
        return {};
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

PtyPeer::~PtyPeer()
{
    kill();
    if (Master >= 0)
        close(Master);
    if (Slave >= 0)
        close(Slave);
    if (!Directory.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(Directory, ignored);
    }
}

} // namespace test
