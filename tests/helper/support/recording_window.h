// A window that records what is posted to it, from whichever thread posts.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "tessock.h"

namespace test {

struct Post {
    uint32_t Message;
    uintptr_t First;
    uintptr_t Second;
    bool operator==(const Post&) const = default;
};

class RecordingWindow {
public:
    RecordingWindow() : Window{this, nullptr, &Record} {}
    RecordingWindow(const RecordingWindow&) = delete;
    RecordingWindow& operator=(const RecordingWindow&) = delete;

    KHWindow* window() { return &Window; }
    std::vector<Post> posts() const
    {
        std::lock_guard guard(Lock);
        return Posts;
    }
    size_t count() const
    {
        std::lock_guard guard(Lock);
        return Posts.size();
    }

private:
    static void Record(void* context, uint32_t message, uintptr_t first, uintptr_t second)
    {
        auto* self = static_cast<RecordingWindow*>(context);
        std::lock_guard guard(self->Lock);
        self->Posts.push_back({message, first, second});
    }

    mutable std::mutex Lock;
    std::vector<Post> Posts;
    KHWindow Window;
};

} // namespace test
