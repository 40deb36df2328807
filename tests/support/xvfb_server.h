// An X server of the caller's own, for the program's window test and the
// idle benchmark. It picks a free display number itself and says which
// (-displayfd), so that runs side by side, here or in another checkout,
// never find themselves on one display: xvfb-run's choice of a number races
// with another xvfb-run's, and two programs on one screen see each other's
// windows and pointer. Plain POSIX, so that a client without Qt uses it too.
#pragma once

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace test {

class XvfbServer {
public:
    XvfbServer()
    {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, fds[1], 3);
        // Quiet: the server's notices would fill a test's or a table's output.
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        const char* argv[] = {"Xvfb", "-displayfd", "3", "-screen", "0", "1024x768x24", "-nolisten", "tcp", nullptr};
        if (posix_spawnp(&Pid, "Xvfb", &actions, nullptr, const_cast<char**>(argv), environ) != 0)
            Pid = 0;
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        // The number and a line end once the server takes clients.
        std::string number;
        pollfd ready{fds[0], POLLIN, 0};
        char c = 0;
        while (Pid && poll(&ready, 1, 60000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        close(fds[0]);
        if (c == '\n' && !number.empty())
            Name = ":" + number;
    }
    ~XvfbServer()
    {
        if (Pid) {
            kill(Pid, SIGTERM);
            waitpid(Pid, nullptr, 0);
        }
    }
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    // The display, as DISPLAY names it; empty when the server did not start.
    const std::string& Display() const { return Name; }
    pid_t Id() const { return Pid; }

private:
    pid_t Pid = 0;
    std::string Name;
};

} // namespace test
