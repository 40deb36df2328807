#include "ui/file_io.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "platform/file.h"

namespace pelrin {

namespace {

// The system's words for an error, as a sentence.
std::string Sentence(int error)
{
    return std::error_code(error, std::generic_category()).message() + ".";
}

std::string Directory(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

} // namespace

std::string WhyUnreadable(const std::string& path)
{
    // Opened as the readers open it: a named pipe must not wait for a writer.
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return Sentence(errno);
    struct stat status;
    const bool known = fstat(fd, &status) == 0;
    const int error = errno;
    close(fd);
    if (!known)
        return Sentence(error);
    if (S_ISDIR(status.st_mode))
        return "It is a directory.";
    if (S_ISFIFO(status.st_mode))
        return "It is a named pipe, not a file.";
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode))
        return "It is a device, not a file.";
    if (!S_ISREG(status.st_mode))
        return "It is not a regular file.";
    return {};
}

std::optional<std::vector<uint8_t>> ReadWholeFile(const std::string& path, uint64_t limit, std::string& why)
{
    const platform::ReadOnlyFile file(path.c_str());
    uint64_t size = 0;
    if (!file.Size(size)) {
        why = WhyUnreadable(path);
        if (why.empty())
            why = "It could not be read.";
        return std::nullopt;
    }
    if (size > limit) {
        why = "It is " + std::to_string(size) + " bytes long, more than the " + std::to_string(limit) +
              " bytes such a file may have.";
        return std::nullopt;
    }
    std::vector<uint8_t> bytes(size);
    if (!file.ReadAt(bytes.data(), size, 0)) {
        why = "It could not be read in full.";
        return std::nullopt;
    }
    return bytes;
}

ReplacingFile::~ReplacingFile()
{
    Discard();
}

bool ReplacingFile::Open(const std::string& path)
{
    Discard();
    Reason.clear();
    if (path.empty())
        return Fail("No file was named.");
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
        return Fail(S_ISDIR(status.st_mode) ? "It is a directory." : "It is not a regular file.");

    // The name is made unique by hand rather than by mkstemp, so that the
    // new file gets the ordinary permissions (0666 less the umask).
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = Target + ".tmp" + std::to_string(getpid()) + "." + std::to_string(counter++);
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno == EEXIST)
            continue;
        if (fd < 0) {
            const std::string error = Sentence(errno);
            return Fail("No file can be made in " + Directory(Target) + ": " + error);
        }
        Descriptor = fd;
        Temporary = name;
        Failed = false;
        // Replacing a file keeps who may read it.
        if (exists)
            fchmod(fd, status.st_mode & 07777);
        return true;
    }
    return Fail("No file can be made in " + Directory(Target) + ".");
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
            return Fail(written < 0 ? Sentence(errno) : "The disk took no more bytes.");
        }
        from += written;
        count -= static_cast<size_t>(written);
    }
    return true;
}

bool ReplacingFile::Commit()
{
    if (Descriptor < 0)
        return Reason.empty() ? Fail("No file was made.") : false;
    bool ok = !Failed;
    if (ok && fdatasync(Descriptor) != 0)
        ok = Fail(Sentence(errno));
    if (close(Descriptor) != 0 && ok)
        ok = Fail(Sentence(errno));
    Descriptor = -1;
    if (ok && rename(Temporary.c_str(), Target.c_str()) != 0)
        ok = Fail(Sentence(errno));
    if (!ok) {
        Discard();
        return false;
    }
    Temporary.clear();
    // The rename itself reaches the disk with the directory.
    const int fd = open(Directory(Target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
    return true;
}

bool ReplacingFile::Fail(const std::string& reason)
{
    // The first failure is the one to tell; what follows from it is not news.
    if (Reason.empty())
        Reason = reason;
    return false;
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
