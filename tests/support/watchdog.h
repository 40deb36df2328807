// Ends the process with a message when the work under it has not finished in
// time: a deadlock fails, and says what hung, before ctest's own limit.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace test {

class Watchdog {
public:
    Watchdog(std::chrono::seconds limit, std::string what)
        : Thread([this, limit, what = std::move(what)] {
              std::unique_lock lock(Mutex);
              if (!Done.wait_for(lock, limit, [this] { return Finished; })) {
                  std::fprintf(stderr, "%s: not finished after %lld s\n", what.c_str(),
                               static_cast<long long>(limit.count()));
                  std::fflush(stderr);
                  std::_Exit(EXIT_FAILURE);
              }
          })
    {
    }

    ~Watchdog()
    {
        {
            std::lock_guard lock(Mutex);
            Finished = true;
        }
        Done.notify_all();
        Thread.join();
    }

    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex Mutex;
    std::condition_variable Done;
    bool Finished = false;
    std::thread Thread; // last: it starts once the members above exist
};

} // namespace test
