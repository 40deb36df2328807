// A lock that the thread holding it may take again.
#pragma once

#include <mutex>

namespace platform {

using CriticalSection = std::recursive_mutex;
using CriticalSectionGuard = std::lock_guard<std::recursive_mutex>;

} // namespace platform
