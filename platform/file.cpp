#include "platform/file.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

ReadOnlyFile::ReadOnlyFile(const char* path)
    : Descriptor(path ? open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK) : -1)
{
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (Descriptor >= 0)
        close(Descriptor);
}

bool ReadOnlyFile::Size(uint64_t& size) const
{
    struct stat status;
    if (Descriptor < 0 || fstat(Descriptor, &status) != 0 || !S_ISREG(status.st_mode) || status.st_size < 0)
        return false;
    size = static_cast<uint64_t>(status.st_size);
    return true;
}

bool ReadOnlyFile::ReadAt(void* into, uint64_t count, uint64_t offset) const
{
    auto* to = static_cast<uint8_t*>(into);
    while (count) {
        if (Descriptor < 0 || offset > static_cast<uint64_t>(LLONG_MAX))
            return false;
        const ssize_t got = pread(Descriptor, to, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        to += got;
        offset += static_cast<uint64_t>(got);
        count -= static_cast<uint64_t>(got);
    }
    return true;
}

} // namespace platform
