#include "ui/file_io.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file.h"

namespace pelrin {

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, uint64_t limit)
{
    const platform::ReadOnlyFile file(path.c_str());
    uint64_t size = 0;
    if (!file.Size(size) || size > limit)
        return std::nullopt;
    std::vector<uint8_t> bytes(size);
    if (!file.ReadAt(bytes.data(), size, 0))
        return std::nullopt;
    return bytes;
}

ReplacingFile::~ReplacingFile()
{
    Discard();
}

bool ReplacingFile::Open(const std::string& path)
{
    Discard();
    if (path.empty())
        return false;
    // A link is followed: the file it names gets the new content, as a write
    // through the link would give it.
    Target = path;
    struct stat status;
    bool exists = lstat(path.c_str(), &status) == 0;
    if (exists && S_ISLNK(status.st_mode)) {
        if (char* resolved = realpath(path.c_str(), nullptr)) {
            Target = resolved;
            std::free(resolved);
        }
        exists = stat(Target.c_str(), &status) == 0;
    }
    if (exists && !S_ISREG(status.st_mode))
        return false;

    // The name is made unique by hand rather than by mkstemp, so that the
    // new file gets the ordinary permissions (0666 less the umask).
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = Target + ".tmp" + std::to_string(getpid()) + "." + std::to_string(counter++);
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0)
            return false;
        Descriptor = fd;
        Temporary = name;
        Failed = false;
        // Replacing a file keeps who may read it.
        if (exists)
            fchmod(fd, status.st_mode & 07777);
        return true;
    }
    return false;
}

bool ReplacingFile::Write(const void* data, size_t count)
{
    if (Descriptor < 0 || Failed)
        return false;
    const auto* from = static_cast<const uint8_t*>(data);
    while (count > 0) {
        const ssize_t written = write(Descriptor, from, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            Failed = true;
            return false;
        }
        from += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

bool ReplacingFile::Commit()
{
    if (Descriptor < 0)
        return false;
    bool ok = !Failed && fdatasync(Descriptor) == 0;
    ok = close(Descriptor) == 0 && ok;
    Descriptor = -1;
    if (!ok || rename(Temporary.c_str(), Target.c_str()) != 0) {
        Discard();
        return false;
    }
    Temporary.clear();
    // The rename itself reaches the disk with the directory.
    const size_t slash = Target.find_last_of('/');
    const std::string directory = slash == std::string::npos ? "." : slash == 0 ? "/" : Target.substr(0, slash);
    const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    return true;
}

void ReplacingFile::Discard()
{
    if (Descriptor >= 0) {
        close(Descriptor);
        Descriptor = -1;
    }
    if (!Temporary.empty()) {
        unlink(Temporary.c_str());
        Temporary.clear();
    }
}

} // namespace pelrin
