#include "platform/pipe.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {

bool Pipe::Open()
{
    if (IsOpen())
        return true;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0)
        return false;
    const int flags = fcntl(ends[1], F_GETFL);
    if (flags < 0 || fcntl(ends[1], F_SETFL, flags | O_NONBLOCK) != 0) {
        close(ends[1]);
        close(ends[0]);
        return false;
    }
    ReadEnd = ends[0];
    WriteEnd = ends[1];
    return true;
}

void Pipe::Close()
{
    if (WriteEnd >= 0)
        close(WriteEnd);
    if (ReadEnd >= 0)
        close(ReadEnd);
    WriteEnd = ReadEnd = -1;
}

bool Pipe::TryWrite(const void* data, size_t count)
{
    if (WriteEnd < 0)
        return false;
    for (;;) {
        const ssize_t written = write(WriteEnd, data, count);
        if (written >= 0)
            return static_cast<size_t>(written) == count;
        if (errno != EINTR)
            return false;
    }
}

} // namespace platform
