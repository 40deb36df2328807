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

struct RecordingWindow {
    std::vector<Post> posts() const
    {
        std::lock_guard guard(Lock);
        return Posts;
    }
    size_t count() const { return posts().size(); }

    mutable std::mutex Lock;
    std::vector<Post> Posts;
    KHWindow Window{this, nullptr, [](void* self, uint32_t message, uintptr_t first, uintptr_t second) {
                        auto* window = static_cast<RecordingWindow*>(self);
                        std::lock_guard guard(window->Lock);
                        window->Posts.push_back({message, first, second});
                    }};
};

} // namespace test
